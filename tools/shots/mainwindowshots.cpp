// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "app/mainwindow/datafolderfixture.h"
#include "app/mainwindow/fakedevicelayer.h"
#include "common/contactbuilders.h"
#include "app/itemmodelcontacts.h"
#include "model/localdb.h"
#include "app/mainwindow.h"
#include "kit/messagebox.h"
#include "ui_mainwindow.h"

#include <QItemSelectionModel>

namespace {

const char* const kFirst[] = { "Ann", "Bob", "Carla", "David", "Eve", "Frank", "Grace", "Hugo", "Ines", "Jonas" };
const char* const kLast[] = { "Adams", "Berg", "Costa", "Dahl", "Evans", "Fischer", "Garcia", "Horvat", "Ito",
                              "Jensen", "Keller", "Lund", "Moreau", "Novak", "Olsen", "Petrov", "Quist", "Rossi",
                              "Silva", "Tanaka" };

// A contact with something in most sections of the card.
pim::_Contact richContact()
{
    pim::_Contact c;
    c.fullName = QStringLiteral("Amelia Zimmermann");
    c.entities[pim::ENTITY_NAME] << testkit::entityOf({ { "data1", c.fullName }, { "data2", QStringLiteral("Amelia") },
                                             { "data3", QStringLiteral("Zimmermann") } });
    c.entities[pim::ENTITY_PHONE] << testkit::entityOf({ { "data1", QStringLiteral("+49 30 1234567") }, { "data2", 2 } })
                                  << testkit::entityOf({ { "data1", QStringLiteral("+49 30 7654321") }, { "data2", 3 } });
    c.entities[pim::ENTITY_EMAIL] << testkit::entityOf({ { "data1", QStringLiteral("amelia@zimmermann.example") }, { "data2", 1 } });
    c.entities[pim::ENTITY_NICKNAME] << testkit::entityOf({ { "data1", QStringLiteral("Mia") }, { "data2", 1 } });
    c.entities[pim::ENTITY_ORG] << testkit::entityOf({ { "data1", QStringLiteral("Lindenholz GmbH") }, { "data2", 1 },
                                            { "data4", QStringLiteral("Head of Design") } });
    c.entities[pim::ENTITY_ADDR] << testkit::entityOf({ { "data1", QStringLiteral("Lindenstrasse 12\n10969 Berlin\nGermany") },
                                             { "data2", 1 }, { "data4", QStringLiteral("Lindenstrasse 12") },
                                             { "data7", QStringLiteral("Berlin") }, { "data9", QStringLiteral("10969") },
                                             { "data10", QStringLiteral("Germany") } });
    c.entities[pim::ENTITY_EVENT] << testkit::entityOf({ { "data1", QStringLiteral("1988-04-17") }, { "data2", 3 } });
    c.entities[pim::ENTITY_URL] << testkit::entityOf({ { "data1", QStringLiteral("https://zimmermann.example") }, { "data2", 1 } });
    c.entities[pim::ENTITY_NOTES] << testkit::entityOf({ { "data1", QStringLiteral("Met at the spring fair.") } });
    return c;
}

// A header that must wrap, values that cannot wrap at a space.
pim::_Contact longContact()
{
    pim::_Contact c;
    c.fullName = QStringLiteral("Maximiliane Alexandra von Hohenberg-Castellanos");
    c.entities[pim::ENTITY_NAME] << testkit::entityOf({ { "data1", c.fullName } });
    c.entities[pim::ENTITY_ORG] << testkit::entityOf({ { "data1", QStringLiteral("Hohenberg & Castellanos Precision Instruments International") },
                                            { "data2", 1 },
                                            { "data4", QStringLiteral("Senior Vice President of International Business Development") } });
    c.entities[pim::ENTITY_PHONE] << testkit::entityOf({ { "data1", QStringLiteral("+49(0)3012345678901234567890") }, { "data2", 2 } })
                                  << testkit::entityOf({ { "data1", QStringLiteral("+1 (555) 010-0199 ext. 4471") }, { "data2", 3 } });
    c.entities[pim::ENTITY_EMAIL] << testkit::entityOf({ { "data1", QStringLiteral("maximiliane.alexandra.von.hohenberg-castellanos@precision-instruments.example") }, { "data2", 2 } });
    c.entities[pim::ENTITY_URL] << testkit::entityOf({ { "data1", QStringLiteral("https://www.hohenberg-castellanos-precision-instruments.example/team/maximiliane") }, { "data2", 1 } });
    return c;
}

// Runs the event loop until the list of the current node or search is on
// screen.
void waitForList(MainWindow& window)
{
    while (window.isListLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

void selectByName(MainWindow& window, const QString& name)
{
    ItemModelContacts* list = window.contactsListModel();
    for (int row = 0; row < list->count(); ++row) {
        if (list->contactAt(row)->fullName == name) {
            window.form()->treeContacts->selectionModel()->select(
                list->indexOfPos(row), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            window.form()->treeContacts->scrollTo(list->indexOfPos(row));
            return;
        }
    }
}

} // namespace

void mainWindowShots(ShotWriter& shots)
{
    DataFolderFixture folder;
    QList<DataFolderFixture::Person> people;
    for (int i = 0; i < 199; ++i) {
        const QString name = QStringLiteral("%1 %2").arg(QLatin1String(kFirst[i % 10]), QLatin1String(kLast[(i / 10) % 20]));
        people.append({ name, QStringLiteral("+1 (555) 010-%1").arg(2000 + i), name.toLower().replace(QLatin1Char(' '), QLatin1Char('.')) + QStringLiteral("@example.com"),
                        i % 7 == 0 ? QStringLiteral("Family") : (i % 5 == 0 ? QStringLiteral("Work") : QString()) });
    }
    const QString path = folder.writeDb(QStringLiteral("data"), QStringLiteral("Contacts 2024.db"), people);
    {
        const QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
        db->beginEdit();
        pim::_Contact stored;
        bool existed = false;
        db->combineContact(richContact(), stored, existed);
        db->combineContact(longContact(), stored, existed);
        db->endEdit(true);
    }
    folder.writeDb(QStringLiteral("data"), QStringLiteral("Old phone.db"), people.mid(0, 20));
    folder.writeDb(QStringLiteral("ios_virtual"), QStringLiteral("Amelia's iPhone.db"), people.mid(20, 30));

    MessageBoxHandler previous = setMessageBoxHandler([](QMessageBox&) { return int(QMessageBox::Ok); });
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    window.resize(1200, 720);
    shots.save(QStringLiteral("mainwindow-start"), window);

    Ui_MainWindow* ui = window.form();
    ItemModelMainTree* tree = window.mainTreeModel();
    ui->treeMain->setCurrentIndex(DataFolderFixture::findNode(tree, QStringLiteral("Contacts 2024.db")));
    waitForList(window);
    selectByName(window, QStringLiteral("Amelia Zimmermann"));
    shots.save(QStringLiteral("mainwindow-200-contacts-card"), window);

    // The card with a long header and values without spaces, from the
    // smallest window to a maximised one.
    selectByName(window, QStringLiteral("Maximiliane Alexandra von Hohenberg-Castellanos"));
    const int smallest = window.minimumWidth();
    for (const auto& [width, name] : { std::pair { smallest, "narrowest" }, std::pair { 1000, "1000" },
                                       std::pair { 1920, "maximised" } }) {
        window.resize(width, width == 1920 ? 1080 : 720);
        shots.save(QStringLiteral("mainwindow-card-%1").arg(QLatin1String(name)), window);
    }
    // The list's columns share the width a wide window gives them.
    selectByName(window, QStringLiteral("Amelia Zimmermann"));
    window.resize(1600, 900);
    shots.save(QStringLiteral("mainwindow-1600"), window);
    window.resize(1200, 720);

    ui->txtKeyword->setText(QStringLiteral("ann"));
    window.onBtnSearchPressed();
    waitForList(window);
    shots.save(QStringLiteral("mainwindow-search"), window);
    ui->txtKeyword->setText(QStringLiteral("no such contact"));
    window.onBtnSearchPressed();
    waitForList(window);
    shots.save(QStringLiteral("mainwindow-search-nothing-found"), window);
    window.hide();
    setMessageBoxHandler(std::move(previous));
}
