// SPDX-License-Identifier: GPL-3.0-or-later
// Adding, editing, deleting and grouping contacts through the window's
// commands, in a local database and on a phone that takes or refuses them.
#include "actionscene.h"
#include "app/groupform.h"
#include "app/itemmodelcontacts.h"
#include "common/sqlprobe.h"
#include "contactui/contactdisplayer.h"
#include "contactui/editcontactform.h"
#include "kit/progressform.h"
#include "support/guistallprobe.h"
#include "support/timebounds.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

// In the edit dialog: types the name and applies.
std::function<void(QWidget*)> typeName(const QString& first, const QString& last)
{
    return [=](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("txtFirstName")->setText(first);
        dialog->findChild<QLineEdit*>("txtLastName")->setText(last);
        pressButton(dialog, "btnSave");
    };
}

// Enough contacts that reading them on the window's thread stalls it.
constexpr int kBigPeople = 3000;

const QString kInGroup = "join data d on d.contact_id=c._id join contact_group g on g._id=d.data1 "
                         "where d.type=7 and g.name='%1'";
const QString kInClub = kInGroup.arg("Club");

// Calls back as each window is shown, before its own event loop runs.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(std::function<void(QWidget*)> onShow)
        : m_onShow(std::move(onShow))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show && object->isWidgetType() && static_cast<QWidget*>(object)->isWindow())
            m_onShow(static_cast<QWidget*>(object));
        return false;
    }

private:
    std::function<void(QWidget*)> m_onShow;
};

} // namespace

class TestEditActions : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_big; // Zed Outside and kBigPeople members of the group Club

private slots:
    void initTestCase()
    {
        useEnglish();
        QList<DataFolderFixture::Person> people { { "Zed Outside", "555-9999", "", "" } };
        for (int i = 0; i < kBigPeople; ++i)
            people.append({ QStringLiteral("Person %1").arg(i, 5, 10, QLatin1Char('0')),
                            QStringLiteral("555-%1").arg(i), QString(), QStringLiteral("Club") });
        DataFolderFixture folder;
        m_big = m_dir.filePath("big.db");
        QVERIFY(QFile::copy(folder.writeDb("data", "big.db", people), m_big));
    }

    // The editor opens on the first name; the new contact is stored (and
    // sent to a phone), stands in its sorted place and is current, selected
    // and on the card.
    void newContactIsStoredListedInItsPlaceAndShown_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("sends");
        QTest::newRow("local database") << "home.db" << QStringList {};
        QTest::newRow("phone") << "Pixel" << QStringList { "send edit Bea Moss to Pixel.db" };
    }
    void newContactIsStoredListedInItsPlaceAndShown()
    {
        QFETCH(QString, node);
        QFETCH(QStringList, sends);
        ActionScene scene(true, true);
        QVERIFY(scene.select(node));
        QString focused;
        scene.answer<EditContactForm>([&focused](QWidget* dialog) {
            focused = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
            typeName("Bea", "Moss")(dialog);
        });
        scene.window->miNewContact();
        QCOMPARE(focused, QStringLiteral("txtFirstName"));
        const QStringList all = split("Ann Lee,Bea Moss,Bob Stone,Carl Hanna");
        QCOMPARE(ActionScene::stored(node == "Pixel" ? scene.phonePath() : scene.dbPath("home.db")), all);
        QCOMPARE(scene.layer.log.filter("send"), sends);
        QCOMPARE(scene.listedNames(), all);
        QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:4"));
        QCOMPARE(scene.window->form()->treeContacts->currentIndex().row(), 1);
        QCOMPARE(scene.window->listedSelection().size(), 1);
        QCOMPARE(scene.window->form()->wdContactInfo->shownContact()->fullName, QStringLiteral("Bea Moss"));
    }

    // Deleting a group deletes its members, then the group; clearing a phone
    // deletes all of its contacts; a phone gets the deletions sent. Only on
    // Yes.
    void deletesAGroupOrClearsAPhoneOnYes_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("sends");
        QTest::addColumn<QStringList>("question");
        const QStringList all = split("Ann Lee,Bob Stone,Carl Hanna");
        const QStringList groupQuestion { "Confirm to delete the Group?" };
        const QStringList clearQuestion { "Confirm to clear all Android Contacts?" };
        QTest::newRow("group of a local database: its members, then the group")
            << "home.db/Friends" << true << split("Bob Stone") << QStringList {} << groupQuestion;
        QTest::newRow("group declined: nothing") << "home.db/Friends" << false << all << QStringList {} << groupQuestion;
        QTest::newRow("group of a phone: its members sent")
            << "Pixel/Friends" << true << split("Bob Stone")
            << QStringList { "send delete Ann Lee,Carl Hanna to Pixel.db" } << groupQuestion;
        QTest::newRow("clearing a phone") << "Pixel" << true << QStringList {}
                                          << QStringList { "send delete Ann Lee,Bob Stone,Carl Hanna to Pixel.db" }
                                          << clearQuestion;
        QTest::newRow("clearing declined") << "Pixel" << false << all << QStringList {} << clearQuestion;
    }
    void deletesAGroupOrClearsAPhoneOnYes()
    {
        QFETCH(QString, node);
        QFETCH(bool, yes);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, sends);
        QFETCH(QStringList, question);
        ActionScene scene(true, true);
        QVERIFY(scene.select(node));
        if (yes)
            scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miFileDelete();
        const QString path = node.startsWith("Pixel") ? scene.phonePath() : scene.dbPath("home.db");
        QCOMPARE(ActionScene::stored(path), stored);
        QCOMPARE(scene.layer.log.filter("send"), sends);
        QCOMPARE(scene.boxes.texts(), yes ? question + QStringList { "Successfully deleted contact." } : question);
        const bool groupGone = yes && node.endsWith("/Friends");
        QCOMPARE(SqlProbe(path).column("select name from contact_group"),
                 groupGone ? QStringList {} : QStringList { "Friends" });
        if (groupGone) {
            // The database itself is shown, without the group.
            QCOMPARE(scene.window->currentNode().dbNode->name, node.section('/', 0, 0));
            QVERIFY(!scene.window->currentNode().groupNode);
            QVERIFY(scene.window->currentNode().dbNode->children.isEmpty());
        }
        QCOMPARE(scene.listedNames(), node.endsWith("/Friends") && !yes ? split("Ann Lee,Carl Hanna") : stored);
    }

    // Setting a group takes the contacts out of the groups they were in; an
    // empty name, confirmed, takes them out of every group.
    void settingAGroupLeavesTheOldOne_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("friends");
        QTest::addColumn<QStringList>("club");
        QTest::newRow("into another group") << "Club" << split("Carl Hanna") << split("Ann Lee");
        QTest::newRow("into the same group: once") << "Friends" << split("Ann Lee,Carl Hanna") << QStringList {};
        QTest::newRow("empty name confirmed: out of every group") << "" << split("Carl Hanna") << QStringList {};
    }
    void settingAGroupLeavesTheOldOne()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, friends);
        QFETCH(QStringList, club);
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        scene.selectRows({ 0 });
        scene.answer<GroupForm>([typed](QWidget* dialog) { typeAndConfirm(dialog, typed); });
        if (typed.isEmpty())
            scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miContactSetGroup();
        const QString members = "join data d on d.contact_id=c._id join contact_group g on g._id=d.data1 "
                                "where d.type=7 and g.name='%1'";
        QCOMPARE(ActionScene::stored(scene.dbPath("home.db"), members.arg("Friends")), friends);
        QCOMPARE(ActionScene::stored(scene.dbPath("home.db"), members.arg("Club")), club);
        QCOMPARE(SqlProbe(scene.dbPath("home.db")).column("select count(*) from data where type=7"),
                 QStringList { QString::number(friends.size() + club.size()) });
    }

    // A database that cannot be read says so in words naming it, never in
    // the database's own terms, and keeps the editor open with its input.
    void unreadableDatabaseIsNamedInWords()
    {
        ActionScene scene;
        scene.folder.writeGarbage("data", "broken.db");
        scene.window = std::make_unique<MainWindow>(&scene.layer);
        QVERIFY(scene.select("broken.db"));
        QVERIFY(!scene.window->toolBarAction(MainWindow::TB_NEW_CONTACT)->isEnabled());
        bool keptOpen = false;
        scene.answer<EditContactForm>([&keptOpen](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("txtFirstName")->setText("Bea");
            pressButton(dialog, "btnSave");
            keptOpen = dialog->isVisible();
            pressButton(dialog, "btnCancel");
        });
        scene.boxes.answerNext(QMessageBox::Ok);
        scene.boxes.answerNext(QMessageBox::Yes);
        // As if chosen before the load had failed.
        scene.window->miNewContact();
        QVERIFY(keptOpen);
        const QString damaged = "broken.db is not a contact database or is damaged.";
        QCOMPARE(scene.boxes.texts(), QStringList({ damaged, damaged, "Discard the editing?" }));
    }

    // An edit or a group change is stored; a phone gets it sent, and one
    // that refuses it is read again.
    void changeIsStoredSentAndRepaired_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<QStringList>("sends");
        QTest::addColumn<QStringList>("stored"); // for a group change: the members of "Club"
        const QStringList edited = split("Ann Lee,Carl Hanna,Robert Stone");
        const QString sentEdit = "send edit Robert Stone to Pixel.db", sentGroup = "send group Bob Stone to Pixel.db in 'Club'";
        QTest::newRow("edit, local database") << "edit" << "home.db" << true << QStringList {} << edited;
        QTest::newRow("edit, phone takes it") << "edit" << "Pixel" << true << QStringList { sentEdit } << edited;
        QTest::newRow("edit, phone refuses: read again")
            << "edit" << "Pixel" << false << QStringList { sentEdit, "connector of Pixel.db" } << edited;
        QTest::newRow("group, local database") << "group" << "home.db" << true << QStringList {} << split("Bob Stone");
        QTest::newRow("group, phone takes it") << "group" << "Pixel" << true << QStringList { sentGroup } << split("Bob Stone");
        QTest::newRow("group, phone refuses: nothing stored, read again")
            << "group" << "Pixel" << false << QStringList { sentGroup, "connector of Pixel.db" } << QStringList {};
    }
    void changeIsStoredSentAndRepaired()
    {
        QFETCH(QString, job);
        QFETCH(QString, node);
        QFETCH(bool, accepts);
        QFETCH(QStringList, sends);
        QFETCH(QStringList, stored);
        ActionScene scene(true, true);
        scene.layer.phoneAccepts = accepts;
        QVERIFY(scene.select(node));
        scene.selectRows({ 1 });
        QObject::connect(scene.window.get(), &MainWindow::contactListLoadStarted, [&] { scene.layer.log << "list load"; });
        if (job == "edit") {
            scene.answer<EditContactForm>(typeName("Robert", "Stone"));
            scene.window->miContactEdit();
        } else {
            scene.answer<GroupForm>([](QWidget* dialog) { typeAndConfirm(dialog, "Club"); });
            scene.window->miContactSetGroup();
        }
        QCOMPARE(scene.layer.log.filter(QRegularExpression("^(send|connector)")), sends);
        // A phone read again is listed once: a second read would drop the first.
        const qsizetype reread = scene.layer.log.indexOf(QRegularExpression("connector of .*"));
        if (reread >= 0)
            QCOMPARE(scene.layer.log.mid(reread).count("list load"), 1);
        const QString path = node == "Pixel" ? scene.phonePath() : scene.dbPath("home.db");
        QCOMPARE(ActionScene::stored(path, job == "edit" ? QString() : kInClub), stored);
        QCOMPARE(scene.boxes.count(), job == "group" || !accepts ? 1 : 0);
        if (accepts && job == "edit") {
            // The row and the card show the stored contact, with the id the
            // phone gave it.
            QCOMPARE(scene.window->contactsListModel()->index(1, 0).data().toString(), QStringLiteral("Robert Stone"));
            QCOMPARE(scene.window->form()->wdContactInfo->shownContact()->srcId.startsWith("phone-"), !sends.isEmpty());
        }
    }

    void deletesSelectedContacts_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QStringList>("sends");
        QTest::newRow("local database") << "home.db" << QStringList {};
        QTest::newRow("phone") << "Pixel" << QStringList { "send delete Ann Lee,Carl Hanna to Pixel.db" };
    }
    void deletesSelectedContacts()
    {
        QFETCH(QString, node);
        QFETCH(QStringList, sends);
        ActionScene scene(true, true);
        QVERIFY(scene.select(node));
        scene.selectRows({ 0, 2 });
        scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miFileDelete();
        QCOMPARE(ActionScene::stored(node == "Pixel" ? scene.phonePath() : scene.dbPath("home.db")), split("Bob Stone"));
        QCOMPARE(scene.layer.log.filter("send"), sends);
        QCOMPARE(scene.listedNames(), split("Bob Stone"));
        QCOMPARE(scene.boxes.texts(), split("Confirm to delete selected contacts?,Successfully deleted contact."));
    }

    // A command on many contacts reads them on a worker under the progress
    // dialog, after its question: the window answers its pings from the
    // question's answer until the read is over, and a read that is
    // cancelled or fails changes nothing.
    void largeCommandReadsOnAWorker_data()
    {
        QTest::addColumn<QString>("command"); // "delete" or "set group" (every row into "Family")
        QTest::addColumn<QString>("node"); // deleting on "big.db/Club" deletes the group
        // "done", "cancel" (during the read), "cancel write" or "locked"
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("counted"); // which stored contacts are counted afterwards
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("boxes"); // the last one is only contained
        const QString selection = "Confirm to delete selected contacts?", group = "Confirm to delete the Group?";
        const QString deleted = "Successfully deleted contact.", grouped = "Successfuly set Contact Group";
        const QString cancel = "Are You Sure You Want To Cancel?";
        const QString everyone, inFamily = kInGroup.arg("Family");
        const int all = kBigPeople + 1;
        QTest::newRow("delete, every row selected: all deleted")
            << "delete" << "big.db" << "done" << everyone << 0 << QStringList { selection, deleted };
        QTest::newRow("delete, every row selected, cancelled during the read: nothing deleted")
            << "delete" << "big.db" << "cancel" << everyone << all << QStringList { selection, cancel };
        QTest::newRow("delete, every row selected, cancelled during the deletion: nothing deleted")
            << "delete" << "big.db" << "cancel write" << everyone << all << QStringList { selection, cancel };
        QTest::newRow("delete a group: its members deleted")
            << "delete" << "big.db/Club" << "done" << everyone << 1 << QStringList { group, deleted };
        QTest::newRow("delete a group, cancelled during the read: nothing deleted")
            << "delete" << "big.db/Club" << "cancel" << everyone << all << QStringList { group, cancel };
        QTest::newRow("delete a group of a database another program locked: nothing deleted")
            << "delete" << "big.db/Club" << "locked" << everyone << all << QStringList { group, "big.db" };
        QTest::newRow("set group, every row selected: all in it")
            << "set group" << "big.db" << "done" << inFamily << all << QStringList { grouped };
        QTest::newRow("set group, cancelled during the read: none in it")
            << "set group" << "big.db" << "cancel" << inFamily << 0 << QStringList { cancel };
        QTest::newRow("set group, cancelled while stored: none in it")
            << "set group" << "big.db" << "cancel write" << inFamily << 0 << QStringList { cancel };
    }
    void largeCommandReadsOnAWorker()
    {
        QFETCH(QString, command);
        QFETCH(QString, node);
        QFETCH(QString, outcome);
        QFETCH(QString, counted);
        QFETCH(int, count);
        QFETCH(QStringList, boxes);
        ActionScene scene(false);
        const QString big = scene.folder.copyDb(m_big, "data", "big.db");
        QVERIFY(!big.isEmpty());
        scene.window = std::make_unique<MainWindow>(&scene.layer);
        QVERIFY(scene.select(node));
        if (!node.contains('/'))
            scene.window->form()->treeContacts->selectAll();

        // Measured from the answer to the command's question on.
        GuiStallProbe probe;
        if (command == "delete") {
            scene.boxes.setWhileOpen([&probe, &scene](QMessageBox&) {
                if (scene.boxes.count() == 1)
                    probe.reset();
            });
            scene.boxes.answerNext(QMessageBox::Yes);
        } else {
            scene.answer<GroupForm>([&probe](QWidget* dialog) {
                typeAndConfirm(dialog, "Family");
                probe.reset();
            });
        }
        qint64 longest = -1;
        // The read's dialog, then the change's; a cancel is asked as soon as
        // the dialog's loop runs, long before 3,000 contacts are through.
        int dialogs = 0;
        ShowWatcher watcher([&](QWidget* dialog) {
            if (!dialog->inherits("ProgressForm"))
                return;
            ++dialogs;
            connect(static_cast<QDialog*>(dialog), &QDialog::finished, [&] { longest = probe.longestMs(); });
            if ((outcome == "cancel" && dialogs == 1) || (outcome == "cancel write" && dialogs == 2)) {
                scene.boxes.answerNext(QMessageBox::Yes);
                QMetaObject::invokeMethod(dialog, "cancel", Qt::QueuedConnection);
            }
        });
        SqlProbe other(big);
        if (outcome == "locked")
            other.exec("begin exclusive");
        if (command == "delete")
            scene.window->miFileDelete();
        else
            scene.window->miContactSetGroup();
        if (outcome == "locked")
            other.exec("commit");

        QCOMPARE(ActionScene::stored(big, counted).size(), count);
        const QStringList texts = scene.boxes.texts();
        QCOMPARE(texts.size(), boxes.size());
        QCOMPARE(texts.mid(0, texts.size() - 1), boxes.mid(0, boxes.size() - 1));
        QVERIFY2(texts.last().contains(boxes.last()), qPrintable(texts.last()));
        QVERIFY2(longest >= 0, "the contacts must be read under the progress dialog");
        QCOMPARE(dialogs, outcome == "done" || outcome == "cancel write" ? 2 : 1);
        qInfo("longest pause of the window's thread: %lld ms", longest);
        QVERIFY2(longest < timebound::kFreezeMs, qPrintable(QString::number(longest)));
    }

    void deletesALocalDatabaseOnlyOnYes()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        scene.window->miTreeDel(); // the recorder answers No
        QVERIFY(QFile::exists(scene.dbPath("home.db")));
        scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miTreeDel();
        QVERIFY(!QFile::exists(scene.dbPath("home.db")));
        QVERIFY(scene.window->mainTreeModel()->localDbRootNode()->children.isEmpty());
        QCOMPARE(scene.boxes.texts().last(), QStringLiteral("Successfully deleted Local Database."));
    }

    void savedPhoneCopyRefusesChanges()
    {
        DataFolderFixture folder;
        folder.writeDb("ios_virtual", "Ann's <old> phone.db", { { "Ann Lee", "555-0101", "", "" } });
        FakeDeviceLayer layer;
        MessageBoxRecorder boxes;
        MainWindow window(&layer);
        window.form()->treeMain->setCurrentIndex(DataFolderFixture::findNode(window.mainTreeModel(), "Ann's <old> phone"));
        window.miNewContact();
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().contains("Ann's &lt;old&gt; phone"), qPrintable(boxes.texts().first()));
    }
};

QTEST_MAIN(TestEditActions)
#include "tst_editactions.moc"
