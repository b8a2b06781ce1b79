// SPDX-License-Identifier: GPL-3.0-or-later
#include "actionscene.h"
#include "app/datasourceselform.h"
#include "app/groupform.h"
#include "contactui/contactdisplayer.h"
#include "app/itemmodelcontacts.h"
#include "model/localdb.h"
#include "support/guistallprobe.h"
#include "platform/sqlite/sqlite3db.h"
#include "ui_mainwindow.h"
#include "support/timebounds.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTest>

namespace {

void search(ActionScene& scene, const QString& keyword)
{
    scene.window->form()->txtKeyword->setText(keyword);
    QTest::keyClick(scene.window->form()->txtKeyword, Qt::Key_Return);
    scene.waitForList();
}

// Entries as their text, disabled ones as "(text)", separators left out.
QStringList entries(const QMenu& menu)
{
    QStringList out;
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator())
            out << (action->isEnabled() ? action->text() : '(' + action->text() + ')');
    }
    return out;
}

// Phones as saved databases of the data folder: a name with "iPhone" is an
// iPhone, any other an Android phone; a name starting with "old" is a saved
// copy (read-only), the others stand in for connected phones. Beside them
// home.db (Ann Lee and Carl Hanna in "Friends", Bob Stone) and, when asked,
// the damaged broken.db.
struct PhoneScene {
    explicit PhoneScene(const QStringList& phones, bool damaged = false)
    {
        const QList<DataFolderFixture::Person> people { { "Ann Lee", "555-0101", "", "Friends" },
                                                        { "Bob Stone", "555-0102", "", "" },
                                                        { "Carl Hanna", "", "carl@example.org", "Friends" } };
        layer.savedIosWritable = true;
        for (const QString& phone : phones) {
            folder.writeDb(phone.contains("iPhone") ? "ios_virtual" : "android_virtual", phone + ".db", people);
            if (phone.startsWith("old"))
                layer.savedCopies << phone + ".db";
        }
        folder.writeDb("data", "home.db", people);
        if (damaged)
            folder.writeGarbage("data", "broken.db");
        window = std::make_unique<MainWindow>(&layer);
        QCoreApplication::processEvents();
    }

    DataFolderFixture folder;
    FakeDeviceLayer layer;
    MessageBoxRecorder boxes;
    std::unique_ptr<MainWindow> window;
};

} // namespace

class TestNodeSelection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useEnglish(); }

    // One rule for the toolbar, the File menu and both context menus: an
    // entry is offered only when its command can go ahead on that node. A
    // saved copy of a phone is read, never written, and is no transfer
    // target; a database that cannot be read offers only its deletion.
    void offersWhatTheNodeAllows_data()
    {
        QTest::addColumn<QStringList>("phones");
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("rows"); // 0: the tree's menu; else the list's with this many rows selected
        QTest::addColumn<QStringList>("toolbar"); // enabled beside the two imports
        QTest::addColumn<QStringList>("menu"); // empty: no menu at all

        const QStringList phoneMenuEnd = split("Export Contacts to File,Print Contacts,Add Contact,Delete Contact");
        const QStringList savedMenuEnd = split("Export Contacts to File,Print Contacts,(Add Contact),(Delete Contact)");
        QTest::newRow("iPhone among phones")
            << split("iPhone,iPhone 2,Android") << "iPhone" << 0
            << split("Backup Contacts,iPhone to iPhone,iPhone to Android,Export Contacts to File,Print Contacts,"
                     "Add Contact,Delete Contact")
            << split("Backup Contacts,iPhone to iPhone,iPhone to Android") + phoneMenuEnd
                + QStringList { "Disconnect Device" };
        QTest::newRow("lone iPhone: saved copies are no targets")
            << split("iPhone,old iPhone,old Android") << "iPhone" << 0
            << split("Backup Contacts,Export Contacts to File,Print Contacts,Add Contact,Delete Contact")
            << split("Backup Contacts,(iPhone to iPhone),(iPhone to Android)") + phoneMenuEnd
                + QStringList { "Disconnect Device" };
        QTest::newRow("saved iPhone: read, never written")
            << split("old iPhone,iPhone,Android") << "old iPhone" << 0
            << split("Backup Contacts,iPhone to iPhone,iPhone to Android,Export Contacts to File,Print Contacts")
            << split("Backup Contacts,iPhone to iPhone,iPhone to Android") + savedMenuEnd
                + QStringList { "Disconnect Device" };
        QTest::newRow("Android beside an iPhone")
            << split("Android,iPhone") << "Android" << 0
            << split("Backup Contacts,Android to iPhone,Export Contacts to File,Print Contacts,Add Contact,"
                     "Delete Contact")
            << split("Backup Contacts,Android to iPhone,(Android to Android)") + phoneMenuEnd
                + QStringList { "Disconnect Device" };
        QTest::newRow("group of a saved Android")
            << split("old Android") << "old Android/Friends" << 0
            << split("Backup Contacts,Export Contacts to File,Print Contacts")
            << split("Backup Contacts,(Android to iPhone),(Android to Android)") + savedMenuEnd;
        QTest::newRow("two rows of a saved Android: no edit, group or delete")
            << split("old Android,Android") << "old Android" << 2
            << split("Backup Contacts,Android to Android,Export Contacts to File,Print Contacts")
            << split("Backup selected contacts,(Transfer selected contacts from Android to iPhone),"
                     "Transfer selected contacts from Android to Android,Export selected contacts,"
                     "Print selected contacts,(Edit Contact),(Set Contact Group),(Delete selected contacts)");
        QTest::newRow("group of an Android keeps the phone's entries")
            << split("Android,Android 2") << "Android/Friends" << 0
            << split("Backup Contacts,Android to Android,Export Contacts to File,Print Contacts,Add Contact,"
                     "Delete Contact")
            << split("Backup Contacts,(Android to iPhone),Android to Android") + phoneMenuEnd;
        QTest::newRow("local database beside saved phones only")
            << split("old iPhone,old Android") << "home.db" << 0
            << split("Export Contacts to File,Print Contacts,Add Contact,Delete Contact")
            << split("(Restore Contacts to iPhone),(Restore Contacts to Android),Export Contacts to File,"
                     "Print Contacts,Add Contact,Delete Local Database");
        QTest::newRow("group of a local database deletes contacts")
            << split("iPhone") << "home.db/Friends" << 0
            << split("Restore Contacts to iPhone,Export Contacts to File,Print Contacts,Add Contact,Delete Contact")
            << split("Restore Contacts to iPhone,(Restore Contacts to Android),Export Contacts to File,"
                     "Print Contacts,Add Contact,Delete Contact");
        QTest::newRow("one row of a local database can be edited")
            << split("iPhone,Android") << "home.db" << 1
            << split("Restore Contacts to iPhone,Restore Contacts to Android,Export Contacts to File,Print Contacts,"
                     "Add Contact,Delete Contact")
            << split("Restore selected contacts to iPhone,Restore selected contacts to Android,"
                     "Export selected contacts,Print selected contacts,Edit Contact,Set Contact Group,"
                     "Delete selected contacts");
        QTest::newRow("two rows cannot be edited")
            << QStringList {} << "home.db" << 2
            << split("Export Contacts to File,Print Contacts,Add Contact,Delete Contact")
            << split("(Restore selected contacts to iPhone),(Restore selected contacts to Android),"
                     "Export selected contacts,Print selected contacts,(Edit Contact),Set Contact Group,"
                     "Delete selected contacts");
        QTest::newRow("damaged database: only its deletion")
            << split("iPhone,Android") << "broken.db" << 0 << split("Delete Contact")
            << split("(Restore Contacts to iPhone),(Restore Contacts to Android),(Export Contacts to File),"
                     "(Print Contacts),(Add Contact),Delete Local Database");
        QTest::newRow("Devices root: imports only, no menu")
            << split("iPhone,Android") << "Devices" << 0 << QStringList {} << QStringList {};
        QTest::newRow("Local Databases root: its own menu")
            << split("iPhone") << "Local Databases" << 0 << QStringList {}
            << split("Open Database Folder,Import from iTunes,Import from File");
        QTest::newRow("nothing selected: no list menu")
            << split("iPhone") << "home.db" << -1
            << split("Restore Contacts to iPhone,Export Contacts to File,Print Contacts,Add Contact,Delete Contact")
            << QStringList {};
    }
    void offersWhatTheNodeAllows()
    {
        QFETCH(QStringList, phones);
        QFETCH(QString, node);
        QFETCH(int, rows);
        QFETCH(QStringList, toolbar);
        QFETCH(QStringList, menu);

        PhoneScene scene(phones, node == "broken.db");
        QVERIFY(showNode(*scene.window, node));
        QCOMPARE(scene.boxes.count(), node == "broken.db" ? 1 : 0);
        if (rows != 0) {
            ActionScene::selectRows(*scene.window, rows < 0 ? QList<int> {} : QList<int> { 0, 1 }.mid(0, rows));
        }
        QStringList enabled;
        for (int index = 0; index < MainWindow::TB_COUNT; ++index) {
            if (scene.window->toolBarAction(index)->isEnabled())
                enabled << scene.window->toolBarAction(index)->text();
        }
        enabled.sort();
        QStringList expected = toolbar + split("Import from File,Import from iTunes");
        expected.sort();
        QCOMPARE(enabled, expected);

        QMenu shown;
        const bool filled = rows == 0 ? scene.window->fillTreeContextMenu(&shown)
                                      : scene.window->fillContactContextMenu(&shown);
        QCOMPARE(filled, !menu.isEmpty());
        QCOMPARE(entries(shown), menu);
    }

    // The picker of a transfer offers the phones that can take it.
    void offersOnlyPhonesAsTransferTargets()
    {
        PhoneScene scene(split("iPhone,Android,Android 2,old Android"));
        QVERIFY(showNode(*scene.window, "iPhone"));
        QStringList offered;
        answerDialog("DataSourceSelForm", [&offered](QWidget* dialog) {
            auto* choices = dialog->findChild<QComboBox*>();
            for (int i = 0; i < choices->count(); ++i)
                offered << choices->itemText(i);
            pressButton(dialog, "btnClose");
        }).release()->setParent(scene.window.get());
        scene.window->miFileI2A();
        QCOMPARE(offered, split("Android 2,Android"));
        QCOMPARE(scene.boxes.count(), 0);
    }

    void searchesTheNode_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("label");

        QTest::newRow("any case, name or e-mail") << "home.db" << "EXAMPLE" << split("Carl Hanna") << "Keyword:EXAMPLE";
        QTest::newRow("inside a group only") << "home.db/Friends" << "n" << split("Ann Lee,Carl Hanna") << "Keyword:n";
        QTest::newRow("percent sign is no wildcard") << "home.db" << "5%1" << QStringList {} << "Keyword:5%1";
        QTest::newRow("blanks around the keyword are dropped") << "home.db" << "  0102 " << split("Bob Stone")
                                                              << "Keyword:0102";
        QTest::newRow("only blanks lists everyone and hides the line")
            << "home.db" << "   " << split("Ann Lee,Bob Stone,Carl Hanna") << "";
    }
    void searchesTheNode()
    {
        QFETCH(QString, node);
        QFETCH(QString, keyword);
        QFETCH(QStringList, names);
        QFETCH(QString, label);

        ActionScene scene;
        QVERIFY(scene.select(node));
        search(scene, keyword);

        QCOMPARE(scene.listedNames(), names);
        QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:%1").arg(names.size()));
        QLabel* line = scene.window->form()->lbDisplayKeyword;
        QCOMPARE(line->isHidden() ? QString() : line->text(), label);
    }

    // A file that goes bad behind its shown node: a command that reads it
    // says so in words naming it, and writes to no phone.
    void namesADamagedSourceOfATransfer()
    {
        ActionScene scene(true, true);
        QVERIFY(scene.select("home.db"));
        scene.window->currentNode().dbNode->db->close();
        scene.folder.writeGarbage("data", "home.db");
        // The target is asked first; the worker that reads the source then
        // says what is wrong with it.
        answerDialog("DataSourceSelForm", [](QWidget* dialog) {
            auto* box = dialog->findChild<QComboBox*>("cbDevice");
            box->setCurrentIndex(box->findText("Pixel"));
            pressButton(dialog, "btnOK");
        }).release()->setParent(&scene.answerers);
        scene.window->miTreeDB2A();
        QTRY_COMPARE(scene.boxes.count(), 1);
        QVERIFY2(scene.boxes.texts().value(0).contains("home.db is not a contact database or is damaged."),
                 qPrintable(scene.boxes.texts().value(0)));
        QCOMPARE(ActionScene::stored(scene.phonePath()), split("Ann Lee,Bob Stone,Carl Hanna"));
    }

    // A root shows no contacts but keeps the keyword line and the search
    // text; searching without a database node does nothing.
    void keepsTheKeywordLineOnARoot()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        search(scene, "bob");
        QVERIFY(scene.select("Devices"));
        QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:0"));
        QVERIFY(!scene.window->form()->lbDisplayKeyword->isHidden());
        QCOMPARE(scene.window->form()->txtKeyword->text(), QStringLiteral("bob"));
        scene.window->onBtnSearchPressed();
        QCOMPARE(scene.window->contactsListModel()->count(), 0);
    }

    // Files a user may drop into the folder: each says in words what is
    // wrong, once, keeps its node so it can be deleted, and stays untouched.
    void namesAFileThatIsNoContactDatabase_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        const QString damaged = "broken.db is not a contact database or is damaged.";
        QTest::newRow("not a database at all") << "garbage" << damaged;
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
        } else if (damage == "schema") {
            Sqlite3DB other;
            other.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
            other.executeThrow(Sqlite3Sql("create table notes (id integer, body text)"));
        } else {
            folder.writeDb("data", "broken.db", { { "Bob Stone", "556", "", "" } });
        }
        const QByteArray bytes = readAll(path);

        FakeDeviceLayer layer;
        MainWindow window(&layer);
        QVERIFY(showNode(window, "home.db"));
        QCOMPARE(window.contactsListModel()->count(), 1);

        if (damage == "locked") {
            locker.openThrow(path, Sqlite3DB::OpenReadWrite);
            locker.executeThrow(Sqlite3Sql("begin exclusive"));
        }
        MessageBoxRecorder boxes;
        // Events delivered while the box is open must not bring a second box.
        boxes.setWhileOpen([](QMessageBox&) { QCoreApplication::processEvents(); });
        auto* tree = window.form()->treeMain;
        tree->setCurrentIndex(DataFolderFixture::findNode(window.mainTreeModel(), "broken.db"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, timebound::kWaitMs);
        locker.close();
        QTest::qWait(50);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.boxes().constFirst().text, message);
        QVERIFY(tree->selectionModel()->selectedIndexes().isEmpty());
        // No rows of the previous database stay listed under the failed one.
        QCOMPARE(window.contactsListModel()->count(), 0);
        QMenu menu;
        QVERIFY(window.fillTreeContextMenu(&menu));
        const QList<QAction*> actions = menu.actions();
        QVERIFY(std::any_of(actions.begin(), actions.end(),
                            [](QAction* a) { return a->isEnabled() && a->text() == "Delete Local Database"; }));
        QCOMPARE(readAll(path), bytes);
    }

    void showsOneErrorForAFailingSearch()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        // The file goes bad behind the open node: the search reports it in
        // words, and no exception escapes the event loop.
        scene.folder.writeGarbage("data", "home.db");

        search(scene, "ann");
        QCOMPARE(scene.boxes.texts(), QStringList { "home.db is not a contact database or is damaged." });
        // A failed search announces no keyword it did not apply.
        QVERIFY(scene.window->form()->lbDisplayKeyword->isHidden());
    }

    // A change to the listed contacts reads the list again under the same
    // search: the list, the search box and the keyword line agree.
    void changesKeepTheSearch_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("delete a hit") << "delete" << split("Carl Hanna");
        QTest::newRow("group a hit") << "group" << split("Ann Lee,Carl Hanna");
    }
    void changesKeepTheSearch()
    {
        QFETCH(QString, job);
        QFETCH(QStringList, names);
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        search(scene, "ann");
        QCOMPARE(scene.listedNames(), split("Ann Lee,Carl Hanna"));
        scene.selectRows({ 0 });
        if (job == "delete") {
            scene.boxes.answerNext(QMessageBox::Yes);
            scene.window->miContactDel();
        } else {
            scene.answer<GroupForm>([](QWidget* dialog) { typeAndConfirm(dialog, "Club"); });
            scene.window->miContactSetGroup();
        }
        QCOMPARE(scene.listedNames(), names);
        QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:%1").arg(names.size()));
        QCOMPARE(scene.window->form()->txtKeyword->text(), QStringLiteral("ann"));
        QVERIFY(!scene.window->form()->lbDisplayKeyword->isHidden());
    }

    // After Ctrl+A a click on one row keeps that row alone selected: the
    // card shows it.
    void clickAfterSelectingAllShowsTheClickedContact()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        QTreeView* list = scene.window->form()->treeContacts;
        scene.window->resize(1200, 700);
        scene.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(scene.window.get()));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list->selectionModel()->selectedRows().size(), 3);
        const QRect row = list->visualRect(scene.window->contactsListModel()->index(1, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
        const auto* shown = scene.window->form()->wdContactInfo->shownContact();
        QCOMPARE(shown ? shown->fullName : QString(), QStringLiteral("Bob Stone"));
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
        ActionScene scene(true, true);
        QVERIFY(scene.select("home.db"));
        scene.selectRows({ 0 });
        ContactDisplayer* cardView = scene.window->form()->wdContactInfo;
        QCOMPARE(cardView->shownContact()->fullName, QStringLiteral("Ann Lee"));
        // The card holds the whole contact even though the list does not.
        QCOMPARE(cardView->shownContact()->entities.value(pim::ENTITY_PHONE).size(), 1);
        if (keyword == "-") {
            QVERIFY(scene.select("Pixel") && scene.select("home.db"));
        } else {
            search(scene, keyword);
        }
        const auto* shown = cardView->shownContact();
        QCOMPARE(shown ? shown->fullName : QString(), card);
        QList<pim::_Contact> selected;
        QVERIFY(scene.window->contactsSelected(selected));
        QCOMPARE(selected.size(), card.isEmpty() ? 0 : 1);
        if (!card.isEmpty())
            QCOMPARE(selected.constFirst().entities.value(pim::ENTITY_PHONE).size(), 1);
    }

    // A contact with a note of a megabyte and a name of 10,000 characters,
    // in a group of a long name: the tree, the list and the card show them
    // without freezing the window.
    void showsAContactOfLongValuesAtOnce()
    {
        ActionScene scene(false);
        scene.window.reset();
        const QString name = QString("Long").repeated(2500) + " Lee";
        const QString group = QString("Group").repeated(2000);
        const QString path = scene.folder.writeDb("data", "long.db", { { name, "555-0101", "ann@example.org", group } });
        {
            const QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
            const unsigned long long id = db->contacts().value(0).id;
            pim::Entity note;
            note.fields.insert("data1", QString("abcdefghijklmnopqrstuvwxyz").repeated(40000));
            db->insertEntity(id, pim::ENTITY_NOTES, note);
            db->close();
        }
        scene.window = std::make_unique<MainWindow>(&scene.layer);
        scene.window->resize(1200, 700);
        scene.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(scene.window.get()));

        GuiStallProbe probe;
        QVERIFY(scene.select("long.db/" + group));
        QCOMPARE(scene.listedNames(), QStringList { name });
        scene.selectRows({ 0 });
        QCoreApplication::processEvents();
        scene.window->grab();
        // Not a measure of speed: the card laid the note out whole for
        // minutes.
        QVERIFY2(probe.longestMs() < timebound::kStuckMs, qPrintable(QString::number(probe.longestMs())));

        ContactDisplayer* card = scene.window->form()->wdContactInfo;
        QVERIFY(card->shownContact());
        QCOMPARE(card->shownContact()->fullName, name);
        int cut = 0;
        for (QLabel* label : card->widget()->findChildren<QLabel*>()) {
            QVERIFY(label->text().size() <= 4000);
            cut += label->text().contains("open Edit Contact to see all") ? 1 : 0;
        }
        QCOMPARE(cut, 2); // the name in the header and the note
    }
};

QTEST_MAIN(TestNodeSelection)
#include "tst_nodeselection.moc"
