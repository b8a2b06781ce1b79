// SPDX-License-Identifier: GPL-3.0-or-later
// Adding, editing, deleting and grouping contacts through the window's
// commands, in local databases and on a phone whose answer the test sets.
#include "actionscene.h"
#include "app/groupform.h"
#include "app/itemmodelcontacts.h"
#include "common/sqlprobe.h"
#include "contactui/contactdisplayer.h"
#include "contactui/editcontactform.h"
#include "kit/fallbacktranslator.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {

const QList<DataFolderFixture::Person> kPeople { { "Ann Lee", "555-0101", "", "Friends" },
                                                 { "Bob Stone", "555-0102", "", "" },
                                                 { "Carl Hanna", "", "carl@example.org", "Friends" } };

QStringList split(const char* list) { return QString::fromUtf8(list).split(QLatin1Char(','), Qt::SkipEmptyParts); }

// The edit dialog: sets the given name fields and applies.
void typeName(QWidget* dialog, const QString& first, const QString& last)
{
    dialog->findChild<QLineEdit*>("txtFirstName")->setText(first);
    dialog->findChild<QLineEdit*>("txtLastName")->setText(last);
    pressButton(dialog, "btnSave");
}

// A scene with home.db and, when `phone` is set, a writable Android phone
// "Pixel" with the same contacts.
struct EditScene : ActionScene {
    explicit EditScene(bool phone = false, bool accepts = true)
    {
        folder.writeDb("data", "home.db", kPeople);
        if (phone)
            folder.writeDb("android_virtual", "Pixel.db", kPeople);
        layer.devicesWritable = true;
        layer.phoneAccepts = accepts;
        start();
    }
    QStringList stored(const QString& path, const char* sql = "select full_name from contact order by full_name")
    {
        SqlProbe probe(path);
        return probe.column(QString::fromLatin1(sql));
    }
    QString phonePath() const { return folder.dataFolder().filePath("android_virtual/Pixel.db"); }
    QStringList sends() const { return layer.log.filter(QRegularExpression("^(send|connector)")); }
};

} // namespace

class TestEditActions : public QObject {
    Q_OBJECT
    FallbackTranslator m_translator;

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }
    void cleanupTestCase() { QCoreApplication::removeTranslator(&m_translator); }

    void newContactIsStoredListedLastAndShown()
    {
        EditScene scene;
        QVERIFY(scene.select("home.db/Friends"));
        scene.answer<EditContactForm>([](QWidget* dialog) { typeName(dialog, "Zoe", "Adams"); });
        scene.window->miNewContact();
        QCOMPARE(scene.stored(scene.dbPath("home.db")), split("Ann Lee,Bob Stone,Carl Hanna,Zoe Adams"));
        // Shown at the end of the group's list though it joined no group.
        QCOMPARE(scene.listedNames(), split("Ann Lee,Carl Hanna,Zoe Adams"));
        QCOMPARE(scene.window->form()->treeContacts->currentIndex().row(), 2);
        QCOMPARE(scene.window->form()->wdContactInfo->shownContact()->fullName, QStringLiteral("Zoe Adams"));
        QCOMPARE(scene.stored(scene.dbPath("home.db"), "select count(*) from data where type=7 and contact_id="
                                                       "(select _id from contact where full_name='Zoe Adams')"),
                 QStringList { "0" });
    }

    void editRewritesTheRowAndTheStoredContact()
    {
        EditScene scene;
        QVERIFY(scene.select("home.db"));
        scene.selectRows({ 1 });
        scene.answer<EditContactForm>([](QWidget* dialog) { typeName(dialog, "Robert", "Stone"); });
        scene.window->miContactEdit();
        QCOMPARE(scene.stored(scene.dbPath("home.db")), split("Ann Lee,Carl Hanna,Robert Stone"));
        QCOMPARE(scene.window->contactsListModel()->contactAt(1)->fullName, QStringLiteral("Robert Stone"));
        QCOMPARE(scene.window->contactsListModel()->index(1, 0).data().toString(), QStringLiteral("Robert Stone"));
        QVERIFY(scene.sends().isEmpty());
    }

    void unchangedEditWritesAndSendsNothing()
    {
        EditScene scene(true);
        QVERIFY(scene.select("Pixel"));
        scene.selectRows({ 0 });
        scene.answer<EditContactForm>([](QWidget* dialog) { pressButton(dialog, "btnSave"); });
        scene.window->miContactEdit();
        QVERIFY(scene.sends().isEmpty());
        QCOMPARE(scene.boxes.count(), 0);
    }

    void phoneEditIsSentAndRepairedOnFailure_data()
    {
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<QStringList>("sends");
        QTest::addColumn<QString>("srcId");
        QTest::newRow("phone takes it: its id is read back")
            << true << QStringList { "send edit Robert Stone to Pixel.db: 1 changes" } << "phone-";
        QTest::newRow("phone refuses: read again")
            << false << QStringList { "send edit Robert Stone to Pixel.db: 1 changes", "connector of Pixel.db" } << "";
    }
    void phoneEditIsSentAndRepairedOnFailure()
    {
        QFETCH(bool, accepts);
        QFETCH(QStringList, sends);
        QFETCH(QString, srcId);
        EditScene scene(true, accepts);
        QVERIFY(scene.select("Pixel"));
        scene.selectRows({ 1 });
        scene.answer<EditContactForm>([](QWidget* dialog) { typeName(dialog, "Robert", "Stone"); });
        scene.window->miContactEdit();
        QCOMPARE(scene.sends(), sends);
        if (accepts) {
            QVERIFY(scene.window->form()->wdContactInfo->shownContact()->srcId.startsWith(srcId));
            QCOMPARE(scene.boxes.count(), 0);
        } else {
            QCOMPARE(scene.boxes.count(), 1);
            QVERIFY(scene.boxes.texts().first().contains("The phone refused the change."));
        }
        // The list shows what the phone's database holds.
        QStringList listed = scene.listedNames();
        listed.sort();
        QCOMPARE(listed, scene.stored(scene.phonePath()));
    }

    void deletesSelectedContacts()
    {
        EditScene scene;
        QVERIFY(scene.select("home.db"));
        scene.selectRows({ 0, 2 });
        scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miFileDelete();
        QCOMPARE(scene.stored(scene.dbPath("home.db")), split("Bob Stone"));
        QCOMPARE(scene.stored(scene.dbPath("home.db"), "select count(*) from data where contact_id not in "
                                                       "(select _id from contact)"),
                 QStringList { "0" });
        QCOMPARE(scene.listedNames(), split("Bob Stone"));
        QCOMPARE(scene.boxes.texts(), (QStringList { "Confirm to delete selected contacts?",
                                                     "Successfully deleted contact." }));
    }

    void deletionOnAPhoneIsSent_data()
    {
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<QStringList>("sends");
        QTest::newRow("taken") << true << QStringList { "send delete Ann Lee,Bob Stone,Carl Hanna to Pixel.db" };
        QTest::newRow("refused: read again")
            << false << QStringList { "send delete Ann Lee,Bob Stone,Carl Hanna to Pixel.db", "connector of Pixel.db" };
    }
    void deletionOnAPhoneIsSent()
    {
        QFETCH(bool, accepts);
        QFETCH(QStringList, sends);
        EditScene scene(true, accepts);
        QVERIFY(scene.select("Pixel"));
        scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miTreeDel();
        QCOMPARE(scene.boxes.texts().first(), QStringLiteral("Confirm to clear all Android Contacts?"));
        QCOMPARE(scene.sends(), sends);
        QCOMPARE(scene.stored(scene.phonePath()), QStringList {});
        QCOMPARE(scene.listedNames(), QStringList {});
    }

    void deletingAGroupDeletesItsMembersThenTheGroup()
    {
        EditScene scene;
        QVERIFY(scene.select("home.db/Friends"));
        scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miTreeDel();
        QCOMPARE(scene.stored(scene.dbPath("home.db")), split("Bob Stone"));
        QCOMPARE(scene.stored(scene.dbPath("home.db"), "select count(*) from contact_group"), QStringList { "0" });
        QCOMPARE(scene.window->currentNode().dbNode->name, QStringLiteral("home.db"));
        QVERIFY(!scene.window->currentNode().groupNode);
        QVERIFY(scene.window->currentNode().dbNode->children.isEmpty());
        QCOMPARE(scene.listedNames(), split("Bob Stone"));
    }

    void deletesALocalDatabase()
    {
        EditScene scene;
        QVERIFY(scene.select("home.db"));
        scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miTreeDel();
        QVERIFY(!QFile::exists(scene.dbPath("home.db")));
        QVERIFY(scene.window->mainTreeModel()->localDbRootNode()->children.isEmpty());
        QCOMPARE(scene.boxes.texts().last(), QStringLiteral("Successfully deleted Local Database."));
    }

    void answeringNoChangesNothing()
    {
        EditScene scene;
        QVERIFY(scene.select("home.db"));
        scene.window->miTreeDel(); // the recorder answers No
        QVERIFY(QFile::exists(scene.dbPath("home.db")));
        QCOMPARE(scene.window->mainTreeModel()->localDbRootNode()->children.size(), 1);
    }

    void groupsSelectedContacts_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<QStringList>("sends");
        QTest::addColumn<QStringList>("members"); // of "Club" afterwards
        QTest::newRow("local database") << "home.db" << true << QStringList {} << split("Bob Stone");
        QTest::newRow("Android takes it") << "Pixel" << true << QStringList { "send group Bob Stone to Pixel.db: 'Club'" }
                                          << split("Bob Stone");
        QTest::newRow("Android refuses: nothing stored, read again")
            << "Pixel" << false << QStringList { "send group Bob Stone to Pixel.db: 'Club'", "connector of Pixel.db" }
            << QStringList {};
    }
    void groupsSelectedContacts()
    {
        QFETCH(QString, node);
        QFETCH(bool, accepts);
        QFETCH(QStringList, sends);
        QFETCH(QStringList, members);
        EditScene scene(true, accepts);
        QVERIFY(scene.select(node));
        scene.selectRows({ 1 });
        scene.answer<GroupForm>([](QWidget* dialog) {
            dialog->findChild<QComboBox*>()->setEditText("Club");
            pressButton(dialog, "btnOK");
        });
        scene.window->miContactSetGroup();
        QCOMPARE(scene.sends(), sends);
        const QString path = node == "Pixel" ? scene.phonePath() : scene.dbPath("home.db");
        QCOMPARE(scene.stored(path, "select c.full_name from contact c join data d on d.contact_id=c._id "
                                    "join contact_group g on g._id=d.data1 where d.type=7 and g.name='Club'"),
                 members);
        if (accepts) {
            QCOMPARE(scene.boxes.texts(), QStringList { "Successfuly set Contact Group" });
            QVERIFY(DataFolderFixture::findNode(scene.window->mainTreeModel(), "Club").isValid());
        }
    }

    void savedPhoneCopyRefusesChanges()
    {
        ActionScene scene;
        scene.folder.writeDb("ios_virtual", "Old <phone> & co.db", kPeople);
        scene.start();
        QVERIFY(scene.select("Old <phone> & co"));
        scene.window->miNewContact();
        QCOMPARE(scene.boxes.count(), 1);
        QVERIFY(scene.boxes.texts().first().contains("Old &lt;phone&gt; &amp; co"));
        QVERIFY(scene.layer.log.filter("send").isEmpty());
    }
};

QTEST_MAIN(TestEditActions)
#include "tst_editactions.moc"
