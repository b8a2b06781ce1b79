// SPDX-License-Identifier: GPL-3.0-or-later
#include "actionscene.h"
#include "contactui/contactdisplayer.h"
#include "app/itemmodelcontacts.h"
#include "platform/sqlite/sqlite3db.h"
#include "ui_mainwindow.h"

#include <QMenu>
#include <QTest>

namespace {

void search(ActionScene& scene, const QString& keyword)
{
    scene.window->form()->txtKeyword->setText(keyword);
    QTest::keyClick(scene.window->form()->txtKeyword, Qt::Key_Return);
    scene.waitForList();
}

} // namespace

class TestNodeSelection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useEnglish(); }

    void searchesTheNode_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("label");

        QTest::newRow("any case, name or e-mail") << "home.db" << "EXAMPLE" << split("Carl Hanna") << "Keyword:EXAMPLE";
        QTest::newRow("inside a group only") << "home.db/Friends" << "n" << split("Ann Lee,Carl Hanna") << "Keyword:n";
        QTest::newRow("percent sign is no wildcard") << "home.db" << "5%1" << QStringList {} << "Keyword:5%1";
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
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 15000);
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
        QCOMPARE(scene.window->contactsSelected().size(), card.isEmpty() ? 0 : 1);
        if (!card.isEmpty())
            QCOMPARE(scene.window->contactsSelected().constFirst().entities.value(pim::ENTITY_PHONE).size(), 1);
    }
};

QTEST_MAIN(TestNodeSelection)
#include "tst_nodeselection.moc"
