// SPDX-License-Identifier: GPL-3.0-or-later
// Every box that names a file, a folder, a database or a phone, shown with
// names built to look like markup: each reads exactly as the name is
// written, and none of them turns into a link, a picture or a line break.
// Likewise the dialogs that name a contact or a backup in a label.
#include "actionscene.h"
#include "contactui/contacteditor.h"
#include "contactui/editcontactform.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/loaditunesbackupdlg.h"
#include "itunesbackup/passcodedlg.h"
#include "kit/progressform.h"
#include "support/timebounds.h"
#include "ui_mainwindow.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

using Scenario = std::function<void(const QString& name, MessageBoxRecorder& boxes)>;

// File names: no slash, so the link's target has none either.
const std::pair<const char*, const char*> kNames[] = {
    { "link", "<a href=\"file:etc\">x<a>" },
    { "escaped entity and markup", "Tom &amp; <i>Jerry" },
    { "picture, break and placeholders", "%2 <img src=\":res\"><br>%1" },
};

// A database file the window cannot list.
void databaseThatCannotBeListed(const QString& name, MessageBoxRecorder& boxes)
{
    DataFolderFixture folder;
    folder.writeGarbage("data", name + ".db");
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    window.form()->treeMain->setCurrentIndex(DataFolderFixture::findNode(window.mainTreeModel(), name + ".db"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, timebound::kWaitMs);
}

// A saved phone database, which refuses a new contact.
void savedPhoneCopy(const QString& name, MessageBoxRecorder&)
{
    DataFolderFixture folder;
    folder.writeDb("ios_virtual", name + ".db", { { "Ann Lee", "555-0101", "", "" } });
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    window.form()->treeMain->setCurrentIndex(DataFolderFixture::findNode(window.mainTreeModel(), name));
    window.miNewContact();
}

// A backup folder whose summary cannot be read, listed by the chooser.
void backupThatCannotBeRead(const QString& name, MessageBoxRecorder&)
{
    DataFolderFixture folder;
    const QDir backups = BackupManifest::iTunesBackupDirs().first();
    QVERIFY(backups.mkpath(name));
    for (const char* file : { "Manifest.db", "Manifest.plist" }) {
        QFile broken(QDir(backups.filePath(name)).filePath(QLatin1String(file)));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("bplist00 broken") > 0);
    }
    LoadItunesBackupDlg chooser(nullptr);
}

// No backup in the standard location, which the box names.
void noBackupsInAFolder(const QString& name, MessageBoxRecorder&)
{
    QTemporaryDir dir;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(name)));
    {
        LoadItunesBackupDlg chooser(nullptr);
    }
    qputenv("XDG_DATA_HOME", before);
}

// A picture too large to become a contact photo.
void pictureTooLarge(const QString& name, MessageBoxRecorder&)
{
    QTemporaryDir dir;
    QFile picture(dir.filePath(name + ".jpg"));
    QVERIFY(picture.open(QIODevice::WriteOnly) && picture.resize(33 * 1024 * 1024));
    picture.close();
    pim::_Contact contact { 1, "", "Ann" };
    ContactEditor editor;
    editor.fillContact(&contact);
    editor.setOpenFileAsker([&] { return picture.fileName(); });
    QTest::mousePress(editor.findChild<QLabel*>("lbPhoto"), Qt::LeftButton);
}

// A worker's error naming a file, shown by the progress dialog: the worker
// escapes the name, the dialog adds nothing.
void workerError(const QString& name, MessageBoxRecorder&)
{
    ProgressForm form(QStringLiteral("Importing"));
    form.errorOccurred(g_messageText(QStringLiteral("%1.vcf cannot be read.").arg(name)));
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestBoxEscaping : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useEnglish(); }

    void showsNamesAsWritten_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::addColumn<QString>("name");
        const std::pair<const char*, Scenario> scenarios[] = {
            { "database that cannot be listed", databaseThatCannotBeListed },
            { "saved phone copy", savedPhoneCopy },
            { "backup that cannot be read", backupThatCannotBeRead },
            { "no backup in a folder", noBackupsInAFolder },
            { "picture too large", pictureTooLarge },
            { "worker error", workerError },
        };
        for (const auto& [scenario, run] : scenarios) {
            for (const auto& [kind, name] : kNames)
                QTest::addRow("%s, %s", scenario, kind) << run << QString::fromUtf8(name);
        }
    }
    void showsNamesAsWritten()
    {
        QFETCH(Scenario, scenario);
        QFETCH(QString, name);
        MessageBoxRecorder boxes;
        scenario(name, boxes);
        if (QTest::currentTestFailed())
            return;
        // The chooser warns of an empty list after it.
        QVERIFY(boxes.count() >= 1);
        QVERIFY2(boxes.shownTexts().constFirst().contains(name), qPrintable(boxes.shownTexts().constFirst()));
        for (const MessageBoxRecorder::Box& box : boxes.boxes()) {
            // The chooser's own link to add a folder is the only one there is.
            QVERIFY2(box.links.isEmpty() || box.links == QStringList { "#add" }, qPrintable(box.links.join(' ')));
            QVERIFY2(!box.text.contains(name) && !box.text.contains("<img") && !box.text.contains("<i>"),
                     qPrintable(box.text));
        }
    }

    // The dialogs that name a contact or a backup in a label of their own.
    void dialogsShowNamesAsWritten_data()
    {
        QTest::addColumn<QString>("name");
        for (const auto& [kind, name] : kNames)
            QTest::newRow(kind) << QString::fromUtf8(name);
    }
    void dialogsShowNamesAsWritten()
    {
        QFETCH(QString, name);
        const pim::_Contact contact(1, QString(), name);
        EditContactForm edit(&contact, nullptr);
        auto* title = edit.findChild<QLabel*>("lbTitle");
        QVERIFY(title->text().contains(name) && title->textFormat() == Qt::PlainText);

        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(name));
        BackupManifest backup(QDir(dir.filePath(name)));
        PasscodeDlg password(&backup, nullptr);
        auto* info = password.findChild<QLabel*>("lbInfo");
        QVERIFY(info->text().contains(name) && info->textFormat() == Qt::PlainText);
    }
};

QTEST_MAIN(TestBoxEscaping)
#include "tst_boxescaping.moc"
