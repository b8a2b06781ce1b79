// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/contactdisplayer.h"
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "kit/fallbacktranslator.h"
#include "app/itemmodelcontacts.h"
#include "app/itemmodelmaintree.h"
#include "app/mainwindow.h"
#include "support/messageboxrecorder.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "platform/sqlite/sqlite3db.h"

#include <memory>

namespace {

QStringList split(const char* list) { return QString::fromUtf8(list).split(QLatin1Char(','), Qt::SkipEmptyParts); }

// A data folder with `iPhones` saved iPhones ("iPhone 1".."), `androids`
// saved Android phones, and the local database "home.db" with a group.
struct Scene {
    Scene(int iPhones, int androids)
    {
        const QList<DataFolderFixture::Person> people { { "Ann Lee", "555-0101", "", "Friends" },
            { "Bob Stone", "555-0102", "bob@joanne.example", "" }, { "Carl Hanna", "", "carl@example.org", "Friends" },
            { "Dora Quinn", "555-0199", "", "" } };
        for (int i = 1; i <= iPhones; ++i)
            folder.writeDb("ios_virtual", QStringLiteral("iPhone %1.db").arg(i), people);
        for (int i = 1; i <= androids; ++i)
            folder.writeDb("android_virtual", QStringLiteral("Android %1.db").arg(i), people);
        folder.writeDb("data", "home.db", people);
        window = std::make_unique<MainWindow>(&layer);
        QCoreApplication::processEvents();
    }

    Ui_MainWindow* ui() const { return window->form(); }
    // Makes the node shown with this text current, as a click would;
    // "database/group" selects the database first, which loads its groups.
    bool select(const QString& path)
    {
        QModelIndex parent;
        for (const QString& text : path.split(QLatin1Char('/'))) {
            parent = DataFolderFixture::findNode(window->mainTreeModel(), text, parent);
            if (!parent.isValid())
                return false;
            ui()->treeMain->setCurrentIndex(parent);
        }
        return listShown();
    }
    // The list is read off the GUI thread; true once it is on screen.
    bool listShown() const
    {
        return QTest::qWaitFor([this] { return !window->isListLoading(); }, 10000);
    }
    void selectRows(int rows)
    {
        QItemSelectionModel* selection = ui()->treeContacts->selectionModel();
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
    void search(const QString& keyword)
    {
        ui()->txtKeyword->setText(keyword);
        QTest::keyClick(ui()->txtKeyword, Qt::Key_Return);
        listShown();
    }
    QString total() const { return ui()->lbTotal->text(); }

    DataFolderFixture folder;
    FakeDeviceLayer layer;
    std::unique_ptr<MainWindow> window;
};

// Entries as "text", disabled ones as "(text)".
QStringList entries(const QMenu& menu)
{
    QStringList out;
    for (QAction* action : menu.actions())
        out << (action->isEnabled() ? action->text() : QLatin1Char('(') + action->text() + QLatin1Char(')'));
    return out;
}

} // namespace

class TestNodeSelection : public QObject {
    Q_OBJECT
    FallbackTranslator m_translator;

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }
    void cleanupTestCase() { QCoreApplication::removeTranslator(&m_translator); }

    void enablesTheToolbarForTheNode_data()
    {
        QTest::addColumn<int>("iPhones");
        QTest::addColumn<int>("androids");
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("extra"); // enabled beside imports and node commands

        QTest::newRow("lone iPhone") << 1 << 0 << "iPhone 1" << split("Backup Contacts");
        QTest::newRow("one of two iPhones") << 2 << 0 << "iPhone 2" << split("Backup Contacts,iPhone to iPhone");
        QTest::newRow("iPhone beside an Android") << 1 << 1 << "iPhone 1" << split("Backup Contacts,iPhone to Android");
        QTest::newRow("Android beside an iPhone") << 1 << 1 << "Android 1" << split("Backup Contacts,Android to iPhone");
        QTest::newRow("group of an Android keeps the phone's entries")
            << 0 << 2 << "Android 1/Friends" << split("Backup Contacts,Android to Android");
        QTest::newRow("local database without phones") << 0 << 0 << "home.db" << QStringList {};
        QTest::newRow("local database with both kinds of phone")
            << 1 << 1 << "home.db" << split("Restore Contacts to iPhone,Restore Contacts to Android");
        QTest::newRow("Devices root: imports only") << 1 << 1 << "Devices" << QStringList {};
    }
    void enablesTheToolbarForTheNode()
    {
        QFETCH(int, iPhones);
        QFETCH(int, androids);
        QFETCH(QString, node);
        QFETCH(QStringList, extra);

        Scene scene(iPhones, androids);
        QVERIFY(scene.select(node));
        QStringList expected = extra + split("Import from iTunes,Import from File");
        if (node != QLatin1String("Devices"))
            expected += split("Add Contact,Export Contacts to File,Print Contacts,Delete Contact");
        QStringList actual;
        for (int index = 0; index < MainWindow::TB_COUNT; ++index) {
            if (scene.window->toolBarAction(index)->isEnabled())
                actual << scene.window->toolBarAction(index)->text();
        }
        actual.sort();
        expected.sort();
        QCOMPARE(actual, expected);
    }

    void listsTheSelectedNode_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("local database lists all, sorted") << "home.db" << split("Ann Lee,Bob Stone,Carl Hanna,Dora Quinn");
        QTest::newRow("group lists its members only") << "home.db/Friends" << split("Ann Lee,Carl Hanna");
        QTest::newRow("root empties the list") << "Local Databases" << QStringList {};
    }
    void listsTheSelectedNode()
    {
        QFETCH(QString, node);
        QFETCH(QStringList, names);

        Scene scene(1, 0);
        // Something listed and selected before, to see it go.
        QVERIFY(scene.select("iPhone 1"));
        scene.selectRows(2);
        QVERIFY(scene.select(node));

        QCOMPARE(scene.listedNames(), names);
        QCOMPARE(scene.total(), QStringLiteral("Total:%1").arg(names.size()));
        // Row 0 current but nothing selected: commands act on the whole node
        // and the card is empty.
        QVERIFY(scene.window->contactsSelected().isEmpty());
        QVERIFY(!scene.ui()->wdContactInfo->shownContact());
        QCOMPARE(scene.ui()->treeContacts->currentIndex().row(), names.isEmpty() ? -1 : 0);
    }

    void searchesTheNode_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("label");

        QTest::newRow("any case, name or e-mail") << "home.db" << "ANN" << split("Ann Lee,Bob Stone,Carl Hanna") << "Keyword:ANN";
        QTest::newRow("blanks around the keyword are dropped") << "home.db" << "  0199 " << split("Dora Quinn") << "Keyword:0199";
        QTest::newRow("only blanks lists everyone and hides the line")
            << "home.db" << "   " << split("Ann Lee,Bob Stone,Carl Hanna,Dora Quinn") << "";
        QTest::newRow("inside a group only") << "home.db/Friends" << "ann" << split("Ann Lee,Carl Hanna") << "Keyword:ann";
        QTest::newRow("percent sign is no wildcard") << "home.db" << "5%1" << QStringList {} << "Keyword:5%1";
    }
    void searchesTheNode()
    {
        QFETCH(QString, node);
        QFETCH(QString, keyword);
        QFETCH(QStringList, names);
        QFETCH(QString, label);

        Scene scene(0, 0);
        QVERIFY(scene.select(node));
        scene.search(keyword);

        QCOMPARE(scene.listedNames(), names);
        QCOMPARE(scene.total(), QStringLiteral("Total:%1").arg(names.size()));
        QCOMPARE(scene.ui()->lbDisplayKeyword->isHidden() ? QString() : scene.ui()->lbDisplayKeyword->text(), label);
        // The first hit is selected and on the card.
        const auto* shown = scene.ui()->wdContactInfo->shownContact();
        QCOMPARE(shown ? shown->fullName : QString(), names.value(0));

        // A new node load forgets the search.
        scene.window->onMainTreeItemSelected({}, {});
        QVERIFY(scene.ui()->txtKeyword->text().isEmpty());
        QVERIFY(scene.ui()->lbDisplayKeyword->isHidden());
    }

    void keepsTheKeywordLineOnARoot()
    {
        Scene scene(0, 0);
        QVERIFY(scene.select("home.db"));
        scene.search("bob");
        QVERIFY(scene.select("Devices"));
        QCOMPARE(scene.total(), QStringLiteral("Total:0"));
        QVERIFY(!scene.ui()->lbDisplayKeyword->isHidden());
        QCOMPARE(scene.ui()->txtKeyword->text(), QStringLiteral("bob"));
        // Searching with no database node current does nothing.
        scene.window->onBtnSearchPressed();
        QCOMPARE(scene.window->contactsListModel()->count(), 0);
    }

    // What the menu decides beyond the toolbar's rules: when there is no
    // menu at all, which delete it offers, and editing one contact only.
    void offersContextEntriesForTheSelection_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("rows"); // -1: the tree's menu, else the list's with this many rows selected
        QTest::addColumn<QString>("entry"); // "" = no menu at all

        QTest::newRow("Devices root has none") << "Devices" << -1 << "";
        QTest::newRow("nothing selected: no menu") << "home.db" << 0 << "";
        QTest::newRow("local database deletes itself") << "home.db" << -1 << "Delete Local Database";
        QTest::newRow("group deletes contacts") << "home.db/Friends" << -1 << "Delete Contact";
        QTest::newRow("iPhone can be disconnected") << "iPhone 1" << -1 << "Disconnect Device";
        QTest::newRow("one contact can be edited") << "home.db" << 1 << "Edit Contact";
        QTest::newRow("two contacts cannot") << "home.db" << 2 << "(Edit Contact)";
    }
    void offersContextEntriesForTheSelection()
    {
        QFETCH(QString, node);
        QFETCH(int, rows);
        QFETCH(QString, entry);

        Scene scene(1, 0);
        QVERIFY(scene.select(node));
        QMenu menu;
        if (rows >= 0)
            scene.selectRows(rows);
        QCOMPARE(rows < 0 ? scene.window->fillTreeContextMenu(&menu) : scene.window->fillContactContextMenu(&menu),
                 !entry.isEmpty());
        if (!entry.isEmpty())
            QVERIFY2(entries(menu).contains(entry), qPrintable(entries(menu).join(',')));
    }

    // Files a user may drop into the folder: each says in words what is
    // wrong, once, keeps its node so it can be deleted, and stays untouched.
    void namesAFileThatIsNoContactDatabase_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        const QString damaged = "broken.db is not a contact database or is damaged.";
        QTest::newRow("not a database at all") << "garbage" << damaged;
        QTest::newRow("database cut short") << "truncated" << damaged;
        QTest::newRow("database of another program") << "schema" << damaged;
        QTest::newRow("locked by another program: not called damaged")
            << "locked" << "broken.db is in use by another operation. Select it again once that is over.";
    }
    void namesAFileThatIsNoContactDatabase()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        DataFolderFixture folder;
        Sqlite3DB locker;
        folder.writeDb("data", "home.db", { { "Ann Lee", "555", "", "" } });
        const QString path = folder.dataFolder().filePath("data/broken.db");
        if (damage == "garbage") {
            folder.writeGarbage("data", "broken.db");
        } else if (damage == "truncated") {
            const QString full = folder.writeDb("data", "full.db", { { "Bob Stone", "556", "", "" } });
            QFile source(full);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QFile cut(path);
            QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(source.read(source.size() / 3)) > 0);
            QVERIFY(QFile::remove(full));
        } else if (damage == "schema") {
            Sqlite3DB other;
            other.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
            other.executeThrow(Sqlite3Sql("create table notes (id integer, body text)"));
        } else {
            QVERIFY(QFile::copy(folder.writeDb("data", "full.db", { { "Bob Stone", "556", "", "" } }), path));
            QVERIFY(QFile::remove(folder.dataFolder().filePath("data/full.db")));
        }
        QFile before(path);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();

        FakeDeviceLayer layer;
        MainWindow window(&layer);
        QSignalSpy shown(&window, &MainWindow::contactListShown);
        auto* tree = window.form()->treeMain;
        tree->setCurrentIndex(DataFolderFixture::findNode(window.mainTreeModel(), "home.db"));
        QVERIFY(shown.wait());
        QCOMPARE(window.contactsListModel()->count(), 1);

        if (damage == "locked") {
            locker.openThrow(path, Sqlite3DB::OpenReadWrite);
            locker.executeThrow(Sqlite3Sql("begin exclusive"));
        }
        MessageBoxRecorder boxes;
        // Events delivered while the box is open must not bring a second box.
        boxes.setWhileOpen([](QMessageBox&) { QCoreApplication::processEvents(); });
        tree->setCurrentIndex(DataFolderFixture::findNode(window.mainTreeModel(), "broken.db"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 15000);
        locker.close();
        QTest::qWait(50);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Warning);
        QCOMPARE(boxes.boxes().constFirst().text, message);
        QVERIFY(tree->selectionModel()->selectedIndexes().isEmpty());
        // No rows of the previous database stay listed under the failed one.
        QCOMPARE(window.contactsListModel()->count(), 0);
        QCOMPARE(window.form()->lbTotal->text(), QStringLiteral("Total:0"));
        QMenu menu;
        QVERIFY(window.fillTreeContextMenu(&menu));
        QVERIFY(entries(menu).contains("Delete Local Database"));
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }

    void showsOneErrorForAFailingSearch()
    {
        Scene scene(0, 0);
        QVERIFY(scene.select("home.db"));
        // The file goes bad behind the open node: the search reports it in
        // words, and no exception escapes the event loop.
        scene.folder.writeGarbage("data", "home.db");

        MessageBoxRecorder boxes;
        scene.search("ann");
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.boxes().constFirst().text, QStringLiteral("home.db is not a contact database or is damaged."));
        // A failed search announces no keyword it did not apply.
        QVERIFY(scene.ui()->lbDisplayKeyword->isHidden());
    }

    // The card shows a contact only while the list has it as the current,
    // selected row; a node load selects nothing, a search its first hit.
    void cardFollowsTheListedContact_data()
    {
        QTest::addColumn<QString>("keyword"); // "-" = reload the node instead of searching
        QTest::addColumn<QString>("card");
        QTest::newRow("search finding nothing clears the card") << "nobody" << "";
        QTest::newRow("search shows its first hit") << "stone" << "Bob Stone";
        QTest::newRow("node load shows no card") << "-" << "";
    }
    void cardFollowsTheListedContact()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, card);
        Scene scene(1, 0);
        QVERIFY(scene.select("home.db"));
        scene.selectRows(1);
        QCOMPARE(scene.ui()->wdContactInfo->shownContact()->fullName, QStringLiteral("Ann Lee"));
        // The card holds the whole contact even though the list does not.
        QCOMPARE(scene.ui()->wdContactInfo->shownContact()->entities.value(pim::ENTITY_PHONE).size(), 1);
        if (keyword == "-") {
            QVERIFY(scene.select("iPhone 1") && scene.select("home.db"));
        } else {
            scene.search(keyword);
        }
        const auto* shown = scene.ui()->wdContactInfo->shownContact();
        QCOMPARE(shown ? shown->fullName : QString(), card);
        QCOMPARE(scene.window->contactsSelected().size(), card.isEmpty() ? 0 : 1);
        if (!card.isEmpty())
            QCOMPARE(scene.window->contactsSelected().constFirst().entities.value(pim::ENTITY_PHONE).size(), 1);
    }
};

QTEST_MAIN(TestNodeSelection)
#include "tst_nodeselection.moc"
