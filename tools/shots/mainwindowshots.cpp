// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "app/mainwindow/datafolderfixture.h"
#include "app/mainwindow/fakedevicelayer.h"
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
    auto entity = [](std::initializer_list<std::pair<const char*, QVariant>> fields) {
        pim::Entity e;
        for (const auto& field : fields)
            e.fields.insert(QString::fromLatin1(field.first), field.second);
        return e;
    };
    pim::_Contact c;
    c.fullName = QStringLiteral("Amelia Zimmermann");
    c.entities[pim::ENTITY_NAME] << entity({ { "data1", c.fullName }, { "data2", QStringLiteral("Amelia") },
                                             { "data3", QStringLiteral("Zimmermann") } });
    c.entities[pim::ENTITY_PHONE] << entity({ { "data1", QStringLiteral("+49 30 1234567") }, { "data2", 2 } })
                                  << entity({ { "data1", QStringLiteral("+49 30 7654321") }, { "data2", 3 } });
    c.entities[pim::ENTITY_EMAIL] << entity({ { "data1", QStringLiteral("amelia@zimmermann.example") }, { "data2", 1 } });
    c.entities[pim::ENTITY_NICKNAME] << entity({ { "data1", QStringLiteral("Mia") }, { "data2", 1 } });
    c.entities[pim::ENTITY_ORG] << entity({ { "data1", QStringLiteral("Lindenholz GmbH") }, { "data2", 1 },
                                            { "data4", QStringLiteral("Head of Design") } });
    c.entities[pim::ENTITY_ADDR] << entity({ { "data1", QStringLiteral("Lindenstrasse 12\n10969 Berlin\nGermany") },
                                             { "data2", 1 }, { "data4", QStringLiteral("Lindenstrasse 12") },
                                             { "data7", QStringLiteral("Berlin") }, { "data9", QStringLiteral("10969") },
                                             { "data10", QStringLiteral("Germany") } });
    c.entities[pim::ENTITY_EVENT] << entity({ { "data1", QStringLiteral("1988-04-17") }, { "data2", 3 } });
    c.entities[pim::ENTITY_URL] << entity({ { "data1", QStringLiteral("https://zimmermann.example") }, { "data2", 1 } });
    c.entities[pim::ENTITY_NOTES] << entity({ { "data1", QStringLiteral("Met at the spring fair.") } });
    return c;
}

} // namespace

void mainWindowShots(ShotWriter& shots)
{
    DataFolderFixture folder;
    QList<DataFolderFixture::Person> people;
    for (int i = 0; i < 199; ++i) {
        const QString name = QStringLiteral("%1 %2").arg(QLatin1String(kFirst[i % 10]), QLatin1String(kLast[(i / 10) % 20]));
        people.append({ name, QStringLiteral("+1 555 %1").arg(1000 + i), name.toLower().replace(QLatin1Char(' '), QLatin1Char('.')) + QStringLiteral("@example.com"),
                        i % 7 == 0 ? QStringLiteral("Family") : (i % 5 == 0 ? QStringLiteral("Work") : QString()) });
    }
    const QString path = folder.writeDb(QStringLiteral("data"), QStringLiteral("Contacts 2024.db"), people);
    {
        const QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
        db->beginEdit();
        pim::_Contact stored;
        bool existed = false;
        db->combineContact(richContact(), stored, existed);
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
    ItemModelContacts* list = window.contactsListModel();
    for (int row = 0; row < list->count(); ++row) {
        if (list->contactAt(row)->fullName == QLatin1String("Amelia Zimmermann")) {
            ui->treeContacts->selectionModel()->select(list->indexOfPos(row),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            ui->treeContacts->scrollTo(list->indexOfPos(row));
            break;
        }
    }
    shots.save(QStringLiteral("mainwindow-200-contacts-card"), window);

    ui->txtKeyword->setText(QStringLiteral("ann"));
    window.onBtnSearchPressed();
    shots.save(QStringLiteral("mainwindow-search"), window);
    window.hide();
    setMessageBoxHandler(std::move(previous));
}
