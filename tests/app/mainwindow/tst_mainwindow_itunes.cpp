// SPDX-License-Identifier: GPL-3.0-or-later
// "Import from iTunes" through the window over a generated backup in the
// standard location: every dialog answered as a user would, into a new
// database, into one that exists and into the node already shown.
#include "actionscene.h"
#include "app/localdbselform.h"
#include "backupfixture.h"
#include "common/sqlprobe.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/loaditunesbackupdlg.h"
#include "itunesbackup/passcodedlg.h"
#include "model/localdb.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>

class TestMainWindowITunes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useEnglish(); }

    void importsAndTakesAwayOnlyWhatItMade_data()
    {
        QTest::addColumn<QString>("password"); // empty: not encrypted
        QTest::addColumn<bool>("damaged");     // the address book is no database
        QTest::addColumn<QString>("target");   // typed in the database dialog; empty: the proposal
        QTest::addColumn<QString>("current");  // node shown before the import
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("listed");       // rows of the target's list afterwards; -1: no node
        const QString done = "Successfully imported 3 contacts from iTunes Backup.";
        QTest::newRow("plain, into a new database") << QString() << false << QString() << QString() << done << 3;
        QTest::newRow("encrypted") << "pw" << false << QString() << QString() << done << 3;
        QTest::newRow("failure takes the new database away")
            << QString() << true << QString() << QString() << "cannot be read" << -1;
        QTest::newRow("failure keeps a database that was there")
            << QString() << true << "home" << QString() << "cannot be read" << 3;
        QTest::newRow("into the node shown: its list read again") << QString() << false << "home" << "home.db" << done << 6;
    }
    void importsAndTakesAwayOnlyWhatItMade()
    {
        QFETCH(QString, password);
        QFETCH(bool, damaged);
        QFETCH(QString, target);
        QFETCH(QString, current);
        QFETCH(QString, message);
        QFETCH(int, listed);
        ActionScene scene;
        backupfixture::BackupSpec spec;
        spec.password = password;
        spec.files = backupfixture::addressBookFiles(scene.folder.dataFolder().absoluteFilePath("scratch"));
        if (damaged)
            spec.files[0].content = "no database";
        backupfixture::writeBackup(BackupManifest::iTunesBackupDirs().first().filePath(QStringLiteral("one")), spec);
        if (!current.isEmpty())
            QVERIFY(scene.select(current));

        scene.answer<LoadItunesBackupDlg>([](QWidget* dialog) {
            auto* list = dialog->findChild<QTreeView*>(QStringLiteral("listBackups"));
            list->setCurrentIndex(list->model()->index(0, 0));
            pressButton(dialog, "btnLoad");
        });
        if (!password.isEmpty()) {
            scene.answer<PasscodeDlg>([password](QWidget* dialog) {
                dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
                pressButton(dialog, "btnOK");
            });
        }
        QString proposed;
        scene.answer<LocalDbSelForm>([&proposed, target](QWidget* dialog) {
            proposed = dialog->findChild<QComboBox*>()->currentText();
            if (target.isEmpty())
                pressButton(dialog, "btnOK");
            else
                typeAndConfirm(dialog, target);
        });
        scene.window->toolBarAction(MainWindow::TB_FROM_ITUNES)->trigger();

        QCOMPARE(proposed, QStringLiteral("Test iPhone-backup.db"));
        QCOMPARE(scene.boxes.count(), 1);
        QVERIFY2(scene.boxes.texts().first().contains(message), qPrintable(scene.boxes.texts().first()));
        const QString name = target.isEmpty() ? QStringLiteral("Test iPhone-backup.db") : target + ".db";
        const QModelIndex node = DataFolderFixture::findNode(scene.window->mainTreeModel(), name);
        QCOMPARE(QFileInfo::exists(scene.dbPath(name)), listed >= 0);
        QCOMPARE(node.isValid(), listed >= 0);
        if (listed < 0)
            return;
        QCOMPARE(SqlProbe(scene.dbPath(name)).value(QStringLiteral("select count(*) from contact")).toInt(), listed);
        if (!damaged) {
            QCOMPARE(scene.window->form()->treeMain->currentIndex(), node);
            QCOMPARE(scene.listedNames().size(), listed);
            QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:%1").arg(listed));
        }
    }

    // A cancelled chooser or password ends the road with nothing made.
    void cancelledDialogsMakeNothing()
    {
        ActionScene scene(false);
        backupfixture::BackupSpec spec;
        spec.password = "pw";
        backupfixture::writeBackup(BackupManifest::iTunesBackupDirs().first().filePath(QStringLiteral("one")), spec);
        scene.answer<LoadItunesBackupDlg>([](QWidget* dialog) { pressButton(dialog, "btnCancel"); });
        scene.window->miFromiTunes();
        scene.answer<LoadItunesBackupDlg>([](QWidget* dialog) {
            auto* list = dialog->findChild<QTreeView*>(QStringLiteral("listBackups"));
            list->setCurrentIndex(list->model()->index(0, 0));
            pressButton(dialog, "btnLoad");
        });
        scene.answer<PasscodeDlg>([](QWidget* dialog) { pressButton(dialog, "btnCancel"); });
        scene.window->miFromiTunes();
        QCOMPARE(scene.boxes.count(), 0);
        QVERIFY(LocalDb::dbDir().entryList(QDir::Files).isEmpty());
        QVERIFY(scene.window->mainTreeModel()->localDbRootNode()->children.isEmpty());
    }
};

QTEST_MAIN(TestMainWindowITunes)
#include "tst_mainwindow_itunes.moc"
