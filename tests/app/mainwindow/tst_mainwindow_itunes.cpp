// SPDX-License-Identifier: GPL-3.0-or-later
// "Import from iTunes" from the File menu over a generated backup in the
// standard location: every dialog answered as a user would.
#include "app/mainwindow.h"
#include "backupfixture.h"
#include "common/sqlprobe.h"
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/loaditunesbackupdlg.h"
#include "model/localdb.h"
#include "support/messageboxrecorder.h"
#include "support/modaldialoganswerer.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

namespace {

// Answers the dialog of that object name, once.
void answer(QObject* owner, const char* name, std::function<void(QWidget*)> action)
{
    auto* a = new ModalDialogAnswerer(std::move(action), 60000, owner);
    a->setMatch([name](QWidget* w) { return w->objectName() == QLatin1String(name); });
    a->setCloseOnTimeout(false);
}

void press(QWidget* dialog, const char* button)
{
    emit dialog->findChild<QPushButton*>(QLatin1String(button))->pressed();
}

} // namespace

class TestMainWindowITunes : public QObject {
    Q_OBJECT

private slots:
    void importsIntoANewDatabase_data()
    {
        QTest::addColumn<QString>("password"); // empty: not encrypted
        QTest::addColumn<bool>("damaged");     // the address book is no database
        QTest::addColumn<QString>("message");
        QTest::newRow("plain") << QString() << false << "IDS_SUC_IMPORT_3_CONTACTS_FROM_ITUNES";
        QTest::newRow("encrypted") << "pw" << false << "IDS_SUC_IMPORT_3_CONTACTS_FROM_ITUNES";
        QTest::newRow("failure takes the new database away") << QString() << true << "cannot be read";
    }

    void importsIntoANewDatabase()
    {
        QFETCH(QString, password);
        QFETCH(bool, damaged);
        QFETCH(QString, message);
        DataFolderFixture folder;
        backupfixture::BackupSpec spec;
        spec.password = password;
        spec.files = backupfixture::addressBookFiles(folder.dataFolder().absolutePath());
        if (damaged)
            spec.files[0].content = "no database";
        backupfixture::writeBackup(BackupManifest::iTunesBackupDirs().first().filePath(QStringLiteral("one")), spec);

        FakeDeviceLayer layer;
        MainWindow window(&layer);
        MessageBoxRecorder boxes;
        answer(this, "LoadItunesBackupDlg", [](QWidget* d) {
            auto* list = d->findChild<QTreeView*>(QStringLiteral("listBackups"));
            list->setCurrentIndex(list->model()->index(0, 0));
            press(d, "btnLoad");
        });
        if (!password.isEmpty()) {
            answer(this, "PasscodeDlg", [password](QWidget* d) {
                d->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
                press(d, "btnOK");
            });
        }
        answer(this, "LocalDbSelForm", [](QWidget* d) { press(d, "btnOK"); });
        window.toolBarAction(MainWindow::TB_FROM_ITUNES)->trigger();

        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().contains(message), qPrintable(boxes.texts().first()));
        const QString dbPath = LocalDb::dbDir().absoluteFilePath(QStringLiteral("Test iPhone-backup.db"));
        const QModelIndex node = DataFolderFixture::findNode(window.mainTreeModel(), QStringLiteral("Test iPhone-backup.db"));
        QCOMPARE(QFileInfo::exists(dbPath), !damaged);
        QCOMPARE(node.isValid(), !damaged);
        if (!damaged) {
            QCOMPARE(window.form()->treeMain->currentIndex(), node);
            QCOMPARE(SqlProbe(dbPath).value(QStringLiteral("select count(*) from contact")).toInt(), 3);
        }
    }
};

QTEST_MAIN(TestMainWindowITunes)
#include "tst_mainwindow_itunes.moc"
