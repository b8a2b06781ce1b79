// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactdisplayer.h"
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "fallbacktranslator.h"
#include "itemmodelcontacts.h"
#include "itemmodelmaintree.h"
#include "mainwindow.h"
#include "messageboxrecorder.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTest>

#include <memory>

namespace {

using Person = DataFolderFixture::Person;

// A data folder with `iPhones` saved iPhones ("iPhone 1".."), `androids`
// saved Android phones, and the local database "home.db" with a group.
struct Scene {
    Scene(int iPhones, int androids)
    {
        const QList<Person> people {
            { QStringLiteral("Ann Lee"), QStringLiteral("555-0101"), QString(), QStringLiteral("Friends") },
            { QStringLiteral("Bob Stone"), QStringLiteral("555-0102"), QStringLiteral("bob@joanne.example"), QString() },
            { QStringLiteral("Carl Hanna"), QString(), QStringLiteral("carl@example.org"), QStringLiteral("Friends") },
            { QStringLiteral("Dora Quinn"), QStringLiteral("555-0199"), QString(), QString() },
        };
        for (int i = 1; i <= iPhones; ++i)
            folder.writeDb(QStringLiteral("ios_virtual"), QStringLiteral("iPhone %1.db").arg(i), people);
        for (int i = 1; i <= androids; ++i)
            folder.writeDb(QStringLiteral("android_virtual"), QStringLiteral("Android %1.db").arg(i), people);
        folder.writeDb(QStringLiteral("data"), QStringLiteral("home.db"), people);
        window = std::make_unique<MainWindow>(&layer);
        QCoreApplication::processEvents();
    }

    // Makes the node shown with this text current, as a click would;
    // "database/group" selects the database first, which loads its groups.
    bool select(const QString& path)
    {
        QModelIndex parent;
        for (const QString& text : path.split(QLatin1Char('/'))) {
            const QModelIndex index = DataFolderFixture::findNode(window->mainTreeModel(), text, parent);
            if (!index.isValid())
                return false;
            window->form()->treeMain->setCurrentIndex(index);
            parent = index;
        }
        return true;
    }
    // Selects the first `rows` rows of the contact list.
    void selectRows(int rows)
    {
        QItemSelectionModel* selection = window->form()->treeContacts->selectionModel();
        selection->clearSelection();
        for (int row = 0; row < rows; ++row)
            selection->select(window->contactsListModel()->indexOfPos(row),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList listedNames() const
    {
        QStringList names;
        for (int row = 0; row < window->contactsListModel()->count(); ++row)
            names << window->contactsListModel()->contactAt(row)->fullName;
        return names;
    }

    DataFolderFixture folder;
    FakeDeviceLayer layer;
    std::unique_ptr<MainWindow> window;
};

QStringList enabledTexts(const MainWindow& window)
{
    QStringList out;
    for (int index = 0; index < MainWindow::TB_COUNT; ++index) {
        if (window.toolBarAction(index)->isEnabled())
            out << window.toolBarAction(index)->text();
    }
    return out;
}

// Entries as "text", disabled ones as "(text)", separators as "-".
QStringList entries(const QMenu& menu)
{
    QStringList out;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator())
            out << QStringLiteral("-");
        else
            out << (action->isEnabled() ? action->text() : QLatin1Char('(') + action->text() + QLatin1Char(')'));
    }
    return out;
}

const QString kImports[] = { QStringLiteral("Import from iTunes"), QStringLiteral("Import from File") };

} // namespace

class TestNodeSelection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void enabledEntries_data();
    void enabledEntries();
    void nodeLoad_data();
    void nodeLoad();
    void cardFollowsTheList();
    void search_data();
    void search();
    void rootKeepsTheKeywordLine();
    void treeContextMenu_data();
    void treeContextMenu();
    void contactContextMenu_data();
    void contactContextMenu();
    void failingNodeShowsOneError();
    void failingSearchShowsOneError();

private:
    FallbackTranslator m_translator;
};

void TestNodeSelection::initTestCase()
{
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

void TestNodeSelection::cleanupTestCase()
{
    QCoreApplication::removeTranslator(&m_translator);
}

void TestNodeSelection::enabledEntries_data()
{
    QTest::addColumn<int>("iPhones");
    QTest::addColumn<int>("androids");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QStringList>("enabled");

    const QStringList always { QStringLiteral("Add Contact"), kImports[0], kImports[1],
                               QStringLiteral("Export Contacts to File"), QStringLiteral("Print Contacts"),
                               QStringLiteral("Delete Contact") };
    auto with = [&always](QStringList extra) {
        QStringList all = always + extra;
        all.sort();
        return all;
    };
    QStringList importsOnly { kImports[0], kImports[1] };
    importsOnly.sort();

    QTest::newRow("lone iPhone") << 1 << 0 << QStringLiteral("iPhone 1") << with({ QStringLiteral("Backup Contacts") });
    QTest::newRow("one of two iPhones")
        << 2 << 0 << QStringLiteral("iPhone 2") << with({ QStringLiteral("Backup Contacts"), QStringLiteral("iPhone to iPhone") });
    QTest::newRow("iPhone beside an Android")
        << 1 << 1 << QStringLiteral("iPhone 1")
        << with({ QStringLiteral("Backup Contacts"), QStringLiteral("iPhone to Android") });
    QTest::newRow("Android beside an iPhone")
        << 1 << 1 << QStringLiteral("Android 1")
        << with({ QStringLiteral("Backup Contacts"), QStringLiteral("Android to iPhone") });
    QTest::newRow("one of two Androids")
        << 0 << 2 << QStringLiteral("Android 1")
        << with({ QStringLiteral("Backup Contacts"), QStringLiteral("Android to Android") });
    QTest::newRow("group of an Android keeps the phone's entries")
        << 0 << 2 << QStringLiteral("Android 1/Friends")
        << with({ QStringLiteral("Backup Contacts"), QStringLiteral("Android to Android") });
    QTest::newRow("local database without phones") << 0 << 0 << QStringLiteral("home.db") << with({});
    QTest::newRow("local database with both kinds of phone")
        << 1 << 1 << QStringLiteral("home.db")
        << with({ QStringLiteral("Restore Contacts to iPhone"), QStringLiteral("Restore Contacts to Android") });
    QTest::newRow("Devices root") << 1 << 1 << QStringLiteral("Devices") << importsOnly;
    QTest::newRow("Local Databases root") << 1 << 1 << QStringLiteral("Local Databases") << importsOnly;
}

void TestNodeSelection::enabledEntries()
{
    QFETCH(int, iPhones);
    QFETCH(int, androids);
    QFETCH(QString, node);
    QFETCH(QStringList, enabled);

    Scene scene(iPhones, androids);
    QVERIFY(scene.select(node));
    QStringList actual = enabledTexts(*scene.window);
    actual.sort();
    QCOMPARE(actual, enabled);
}

void TestNodeSelection::nodeLoad_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("total");

    const QStringList everyone { QStringLiteral("Ann Lee"), QStringLiteral("Bob Stone"), QStringLiteral("Carl Hanna"),
                                 QStringLiteral("Dora Quinn") };
    QTest::newRow("local database lists all, sorted") << QStringLiteral("home.db") << everyone << QStringLiteral("Total:4");
    QTest::newRow("device lists all") << QStringLiteral("iPhone 1") << everyone << QStringLiteral("Total:4");
    QTest::newRow("group lists its members only")
        << QStringLiteral("home.db/Friends") << QStringList { QStringLiteral("Ann Lee"), QStringLiteral("Carl Hanna") }
        << QStringLiteral("Total:2");
    QTest::newRow("root empties the list") << QStringLiteral("Local Databases") << QStringList {} << QStringLiteral("Total:0");
}

void TestNodeSelection::nodeLoad()
{
    QFETCH(QString, node);
    QFETCH(QStringList, names);
    QFETCH(QString, total);

    Scene scene(2, 0);
    // Something listed and selected before, to see it go.
    QVERIFY(scene.select(QStringLiteral("iPhone 2")));
    scene.selectRows(2);
    QVERIFY(scene.select(node));

    QCOMPARE(scene.listedNames(), names);
    QCOMPARE(scene.window->form()->lbTotal->text(), total);
    // The node loads with row 0 current but nothing selected, so commands
    // act on the whole node and the card is empty.
    QVERIFY(scene.window->contactsSelected().isEmpty());
    QVERIFY(!scene.window->form()->wdContactInfo->shownContact());
    QCOMPARE(scene.window->form()->treeContacts->currentIndex().row(), names.isEmpty() ? -1 : 0);
    QVERIFY(scene.window->form()->txtKeyword->text().isEmpty());
}

void TestNodeSelection::cardFollowsTheList()
{
    Scene scene(0, 0);
    QVERIFY(scene.select(QStringLiteral("home.db")));
    QItemSelectionModel* selection = scene.window->form()->treeContacts->selectionModel();
    auto* card = scene.window->form()->wdContactInfo;

    selection->select(scene.window->contactsListModel()->indexOfPos(2),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(card->shownContact());
    QCOMPARE(card->shownContact()->fullName, QStringLiteral("Carl Hanna"));
    QCOMPARE(scene.window->contactsSelected().size(), 1);

    // Adding a row shows the newly added contact.
    selection->select(scene.window->contactsListModel()->indexOfPos(0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(card->shownContact()->fullName, QStringLiteral("Ann Lee"));
    QCOMPARE(scene.window->contactsSelected().size(), 2);

    // Only removing rows empties the card.
    selection->select(scene.window->contactsListModel()->indexOfPos(0),
                      QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    QVERIFY(!card->shownContact());

    // A click on the tree turns the commands back to the whole node.
    scene.window->onMainTreeItemClicked(scene.window->form()->treeMain->currentIndex());
    QVERIFY(scene.window->contactsSelected().isEmpty());
}

void TestNodeSelection::search_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("label");

    QTest::newRow("any case, name or e-mail")
        << QStringLiteral("home.db") << QStringLiteral("ANN")
        << QStringList { QStringLiteral("Ann Lee"), QStringLiteral("Bob Stone"), QStringLiteral("Carl Hanna") }
        << QStringLiteral("Keyword:ANN");
    QTest::newRow("blanks around the keyword are dropped")
        << QStringLiteral("home.db") << QStringLiteral("  0199 ") << QStringList { QStringLiteral("Dora Quinn") }
        << QStringLiteral("Keyword:0199");
    QTest::newRow("only blanks lists everyone and hides the line")
        << QStringLiteral("home.db") << QStringLiteral("   ")
        << QStringList { QStringLiteral("Ann Lee"), QStringLiteral("Bob Stone"), QStringLiteral("Carl Hanna"),
                         QStringLiteral("Dora Quinn") }
        << QString();
    QTest::newRow("inside a group only") << QStringLiteral("home.db/Friends") << QStringLiteral("ann")
                                         << QStringList { QStringLiteral("Ann Lee"), QStringLiteral("Carl Hanna") }
                                         << QStringLiteral("Keyword:ann");
    QTest::newRow("no match") << QStringLiteral("home.db") << QStringLiteral("zebra") << QStringList {}
                              << QStringLiteral("Keyword:zebra");
    QTest::newRow("percent sign is no wildcard") << QStringLiteral("home.db") << QStringLiteral("5%1")
                                                 << QStringList {} << QStringLiteral("Keyword:5%1");
}

void TestNodeSelection::search()
{
    QFETCH(QString, node);
    QFETCH(QString, keyword);
    QFETCH(QStringList, names);
    QFETCH(QString, label);

    Scene scene(0, 0);
    QVERIFY(scene.select(node));
    scene.window->form()->txtKeyword->setText(keyword);
    QTest::keyClick(scene.window->form()->txtKeyword, Qt::Key_Return);

    QCOMPARE(scene.listedNames(), names);
    QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:%1").arg(names.size()));
    QCOMPARE(scene.window->form()->lbDisplayKeyword->isHidden(), label.isEmpty());
    if (!label.isEmpty())
        QCOMPARE(scene.window->form()->lbDisplayKeyword->text(), label);
    // The first hit is selected and on the card.
    const auto* shown = scene.window->form()->wdContactInfo->shownContact();
    QCOMPARE(shown ? shown->fullName : QString(), names.value(0));

    // A new node load forgets the search.
    QVERIFY(scene.select(QStringLiteral("home.db")) || true);
    scene.window->onMainTreeItemSelected({}, {});
    QVERIFY(scene.window->form()->txtKeyword->text().isEmpty());
    QVERIFY(scene.window->form()->lbDisplayKeyword->isHidden());
}

void TestNodeSelection::rootKeepsTheKeywordLine()
{
    Scene scene(0, 0);
    QVERIFY(scene.select(QStringLiteral("home.db")));
    scene.window->form()->txtKeyword->setText(QStringLiteral("bob"));
    scene.window->onBtnSearchPressed();
    QVERIFY(!scene.window->form()->lbDisplayKeyword->isHidden());

    QVERIFY(scene.select(QStringLiteral("Devices")));
    QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:0"));
    QVERIFY(!scene.window->form()->lbDisplayKeyword->isHidden());
    QCOMPARE(scene.window->form()->txtKeyword->text(), QStringLiteral("bob"));

    // Searching with no database node current does nothing.
    scene.window->onBtnSearchPressed();
    QCOMPARE(scene.window->contactsListModel()->count(), 0);
}

void TestNodeSelection::treeContextMenu_data()
{
    QTest::addColumn<int>("iPhones");
    QTest::addColumn<int>("androids");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QStringList>("expected");

    const QStringList nodeTail { QStringLiteral("-"), QStringLiteral("Export Contacts to File"),
                                 QStringLiteral("Print Contacts"), QStringLiteral("Add Contact") };
    QTest::newRow("Local Databases root")
        << 0 << 0 << QStringLiteral("Local Databases")
        << QStringList { QStringLiteral("Open Database Folder"), QStringLiteral("Import from iTunes"),
                         QStringLiteral("Import from File") };
    QTest::newRow("Devices root has none") << 1 << 0 << QStringLiteral("Devices") << QStringList {};
    QTest::newRow("local database without phones")
        << 0 << 0 << QStringLiteral("home.db")
        << (QStringList { QStringLiteral("(Restore Contacts to iPhone)"), QStringLiteral("(Restore Contacts to Android)") }
            + nodeTail + QStringList { QStringLiteral("Delete Local Database") });
    QTest::newRow("group of a local database deletes contacts")
        << 1 << 0 << QStringLiteral("home.db/Friends")
        << (QStringList { QStringLiteral("Restore Contacts to iPhone"), QStringLiteral("(Restore Contacts to Android)") }
            + nodeTail + QStringList { QStringLiteral("Delete Contact") });
    QTest::newRow("lone iPhone: both transfers off")
        << 1 << 0 << QStringLiteral("iPhone 1")
        << (QStringList { QStringLiteral("Backup Contacts"), QStringLiteral("(iPhone to iPhone)"),
                          QStringLiteral("(iPhone to Android)") }
            + nodeTail
            + QStringList { QStringLiteral("Delete Contact"), QStringLiteral("-"), QStringLiteral("Disconnect Device") });
    QTest::newRow("Android among two Androids and an iPhone")
        << 1 << 2 << QStringLiteral("Android 2")
        << (QStringList { QStringLiteral("Backup Contacts"), QStringLiteral("Android to iPhone"),
                          QStringLiteral("Android to Android") }
            + nodeTail
            + QStringList { QStringLiteral("Delete Contact"), QStringLiteral("-"), QStringLiteral("Disconnect Device") });
}

void TestNodeSelection::treeContextMenu()
{
    QFETCH(int, iPhones);
    QFETCH(int, androids);
    QFETCH(QString, node);
    QFETCH(QStringList, expected);

    Scene scene(iPhones, androids);
    QVERIFY(scene.select(node));
    QMenu menu;
    QCOMPARE(scene.window->fillTreeContextMenu(&menu), !expected.isEmpty());
    QCOMPARE(entries(menu), expected);
}

void TestNodeSelection::contactContextMenu_data()
{
    QTest::addColumn<int>("iPhones");
    QTest::addColumn<int>("androids");
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("expected");

    const QStringList tail1 { QStringLiteral("-"), QStringLiteral("Export selected contacts"),
                              QStringLiteral("Print selected contacts"), QStringLiteral("Edit Contact"),
                              QStringLiteral("Set Contact Group"), QStringLiteral("Delete selected contacts") };
    QStringList tail2 = tail1;
    tail2[3] = QStringLiteral("(Edit Contact)");

    QTest::newRow("nothing selected: no menu") << 1 << 0 << QStringLiteral("home.db") << 0 << QStringList {};
    QTest::newRow("one contact of a local database")
        << 1 << 0 << QStringLiteral("home.db") << 1
        << (QStringList { QStringLiteral("Restore selected contacts to iPhone"),
                          QStringLiteral("(Restore selected contacts to Android)") }
            + tail1);
    QTest::newRow("two contacts: editing off")
        << 0 << 1 << QStringLiteral("home.db") << 2
        << (QStringList { QStringLiteral("(Restore selected contacts to iPhone)"),
                          QStringLiteral("Restore selected contacts to Android") }
            + tail2);
    QTest::newRow("iPhone contacts")
        << 2 << 0 << QStringLiteral("iPhone 1") << 1
        << (QStringList { QStringLiteral("Backup selected contacts"),
                          QStringLiteral("Transfer selected contacts from iPhone to iPhone"),
                          QStringLiteral("(Transfer selected contacts from iPhone to Android)") }
            + tail1);
    QTest::newRow("Android contacts")
        << 0 << 1 << QStringLiteral("Android 1") << 3
        << (QStringList { QStringLiteral("Backup selected contacts"),
                          QStringLiteral("(Transfer selected contacts from Android to iPhone)"),
                          QStringLiteral("(Transfer selected contacts from Android to Android)") }
            + tail2);
}

void TestNodeSelection::contactContextMenu()
{
    QFETCH(int, iPhones);
    QFETCH(int, androids);
    QFETCH(QString, node);
    QFETCH(int, rows);
    QFETCH(QStringList, expected);

    Scene scene(iPhones, androids);
    QVERIFY(scene.select(node));
    scene.selectRows(rows);
    QMenu menu;
    QCOMPARE(scene.window->fillContactContextMenu(&menu), !expected.isEmpty());
    QCOMPARE(entries(menu), expected);
}

void TestNodeSelection::failingNodeShowsOneError()
{
    Scene scene(0, 0);
    scene.folder.writeGarbage(QStringLiteral("data"), QStringLiteral("broken.db"));
    // Rebuild so the new file is listed.
    scene.window = std::make_unique<MainWindow>(&scene.layer);
    QVERIFY(scene.select(QStringLiteral("home.db")));
    QCOMPARE(scene.window->contactsListModel()->count(), 4);

    MessageBoxRecorder boxes;
    // Events delivered while the box is open must not bring a second box.
    boxes.setWhileOpen([](QMessageBox&) { QCoreApplication::processEvents(); });
    QVERIFY(scene.select(QStringLiteral("broken.db")));
    QCoreApplication::processEvents();

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Critical);
    QVERIFY(scene.window->form()->treeMain->selectionModel()->selectedIndexes().isEmpty());
    // No rows of the previous database stay listed under the failed one.
    QCOMPARE(scene.window->contactsListModel()->count(), 0);
    QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:0"));
    // The file is left as it was.
    QFile file(scene.folder.dataFolder().filePath(QStringLiteral("data/broken.db")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(4096, '\x5a'));
}

void TestNodeSelection::failingSearchShowsOneError()
{
    Scene scene(0, 0);
    QVERIFY(scene.select(QStringLiteral("home.db")));
    QCOMPARE(scene.window->contactsListModel()->count(), 4);
    // The file goes bad behind the open node: the search must report it,
    // not let the exception escape the event loop.
    scene.folder.writeGarbage(QStringLiteral("data"), QStringLiteral("home.db"));

    MessageBoxRecorder boxes;
    scene.window->form()->txtKeyword->setText(QStringLiteral("ann"));
    QTest::keyClick(scene.window->form()->txtKeyword, Qt::Key_Return);

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Critical);
    // A failed search announces no keyword it did not apply.
    QVERIFY(scene.window->form()->lbDisplayKeyword->isHidden());
}

QTEST_MAIN(TestNodeSelection)
#include "tst_nodeselection.moc"
