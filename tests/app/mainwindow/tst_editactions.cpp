// SPDX-License-Identifier: GPL-3.0-or-later
// Adding, editing, deleting and grouping contacts through the window's
// commands, in a local database and on a phone that takes or refuses them.
#include "actionscene.h"
#include "app/groupform.h"
#include "app/itemmodelcontacts.h"
#include "contactui/contactdisplayer.h"
#include "contactui/editcontactform.h"
#include "kit/fallbacktranslator.h"
#include "ui_mainwindow.h"

#include <QLineEdit>
#include <QTest>

namespace {

QStringList split(const char* list) { return QString::fromUtf8(list).split(QLatin1Char(','), Qt::SkipEmptyParts); }

// In the edit dialog: types the name and applies.
std::function<void(QWidget*)> typeName(const QString& first, const QString& last)
{
    return [=](QWidget* dialog) {
        dialog->findChild<QLineEdit*>("txtFirstName")->setText(first);
        dialog->findChild<QLineEdit*>("txtLastName")->setText(last);
        pressButton(dialog, "btnSave");
    };
}

const QString kInClub = "join data d on d.contact_id=c._id join contact_group g on g._id=d.data1 "
                        "where d.type=7 and g.name='Club'";

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

    void newContactIsStoredListedLastAndShown()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db/Friends"));
        scene.answer<EditContactForm>(typeName("Zoe", "Adams"));
        scene.window->miNewContact();
        QCOMPARE(ActionScene::stored(scene.dbPath("home.db")), split("Ann Lee,Bob Stone,Carl Hanna,Zoe Adams"));
        // At the end of the group's list, though it joined no group.
        QCOMPARE(scene.listedNames(), split("Ann Lee,Carl Hanna,Zoe Adams"));
        QCOMPARE(scene.window->form()->treeContacts->currentIndex().row(), 2);
        QCOMPARE(scene.window->form()->wdContactInfo->shownContact()->fullName, QStringLiteral("Zoe Adams"));
    }

    void editIsStoredSentAndRepaired_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<QStringList>("sends");
        QTest::newRow("local database") << "home.db" << true << QStringList {};
        QTest::newRow("phone takes it") << "Pixel" << true << QStringList { "send edit Robert Stone to Pixel.db" };
        QTest::newRow("phone refuses: read again")
            << "Pixel" << false << QStringList { "send edit Robert Stone to Pixel.db", "connector of Pixel.db" };
    }
    void editIsStoredSentAndRepaired()
    {
        QFETCH(QString, node);
        QFETCH(bool, accepts);
        QFETCH(QStringList, sends);
        ActionScene scene(true, true);
        scene.layer.phoneAccepts = accepts;
        QVERIFY(scene.select(node));
        scene.selectRows({ 1 });
        scene.answer<EditContactForm>(typeName("Robert", "Stone"));
        scene.window->miContactEdit();
        QCOMPARE(scene.layer.log.filter(QRegularExpression("^(send|connector)")), sends);
        const QString path = node == "Pixel" ? scene.phonePath() : scene.dbPath("home.db");
        QCOMPARE(ActionScene::stored(path), split("Ann Lee,Carl Hanna,Robert Stone"));
        QCOMPARE(scene.boxes.count(), accepts ? 0 : 1);
        if (accepts) {
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

    void deletingAGroupDeletesItsMembersThenTheGroup()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db/Friends"));
        scene.boxes.answerNext(QMessageBox::Yes);
        scene.window->miTreeDel();
        QCOMPARE(ActionScene::stored(scene.dbPath("home.db")), split("Bob Stone"));
        QCOMPARE(scene.window->currentNode().dbNode->name, QStringLiteral("home.db"));
        QVERIFY(scene.window->currentNode().dbNode->children.isEmpty());
        QCOMPARE(scene.listedNames(), split("Bob Stone"));
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

    void groupsSelectedContacts_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<QStringList>("sends");
        QTest::addColumn<QStringList>("members"); // of "Club" afterwards
        QTest::newRow("local database") << "home.db" << true << QStringList {} << split("Bob Stone");
        QTest::newRow("phone takes it") << "Pixel" << true << QStringList { "send group Bob Stone to Pixel.db in 'Club'" }
                                        << split("Bob Stone");
        QTest::newRow("phone refuses: nothing stored, read again")
            << "Pixel" << false << QStringList { "send group Bob Stone to Pixel.db in 'Club'", "connector of Pixel.db" }
            << QStringList {};
    }
    void groupsSelectedContacts()
    {
        QFETCH(QString, node);
        QFETCH(bool, accepts);
        QFETCH(QStringList, sends);
        QFETCH(QStringList, members);
        ActionScene scene(true, true);
        scene.layer.phoneAccepts = accepts;
        QVERIFY(scene.select(node));
        scene.selectRows({ 1 });
        scene.answer<GroupForm>([](QWidget* dialog) { typeAndConfirm(dialog, "Club"); });
        scene.window->miContactSetGroup();
        QCOMPARE(scene.layer.log.filter(QRegularExpression("^(send|connector)")), sends);
        QCOMPARE(ActionScene::stored(node == "Pixel" ? scene.phonePath() : scene.dbPath("home.db"), kInClub), members);
        if (accepts)
            QCOMPARE(scene.boxes.texts(), QStringList { "Successfuly set Contact Group" });
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
