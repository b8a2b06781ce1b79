// SPDX-License-Identifier: GPL-3.0-or-later
// The backup chooser over a generated backup location, and the password
// dialog over a generated encrypted backup.
#include "backupfixture.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/itemmodelloadbk.h"
#include "itunesbackup/loaditunesbackupdlg.h"
#include "itunesbackup/passcodedlg.h"
#include "model/data_path_util.h"
#include "support/messageboxrecorder.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace backupfixture;

namespace {

// The chooser with the folder question answered by the test.
class Chooser : public LoadItunesBackupDlg {
public:
    using LoadItunesBackupDlg::LoadItunesBackupDlg;
    QString answer;

protected:
    QString askForFolder() override { return answer; }
};

void setStatusTime(const QString& folder, const QDateTime& when)
{
    QFile f(QDir(folder).filePath(QStringLiteral("Status.plist")));
    QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime));
}

QStringList rowNames(ItemModelLoadBk* model)
{
    QStringList names;
    for (const ItemModelLoadBk::_BKItemNode* node : model->backupNodes())
        names << node->backup->dir().dirName();
    return names;
}

} // namespace

class TestITunesBackupUi : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_location;

    QString addBackup(const QString& name, const QDateTime& when)
    {
        const QString folder = QDir(m_location).filePath(name);
        BackupSpec spec;
        writeBackup(folder, spec);
        setStatusTime(folder, when);
        return folder;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("XDG_DATA_HOME", m_tmp.filePath(QStringLiteral("data")).toUtf8());
        m_location = BackupManifest::iTunesBackupDirs().first().absolutePath();
        QVERIFY(m_location.startsWith(m_tmp.path()));
    }

    void emptyLocationWarnsWithoutLink()
    {
        MessageBoxRecorder boxes;
        Chooser chooser(nullptr);
        QCOMPARE(chooser.model()->rowCount(), 0);
        QCOMPARE(boxes.count(), 1);
        QVERIFY(boxes.texts().first().startsWith(
            "Can't find any backups. If you are using MacOS 10.14 or above,  please click "));
        QVERIFY(!boxes.texts().first().contains(QLatin1String("<a")));
    }

    // Newest first, a broken folder reported and left out, a folder without
    // a file list skipped in silence; no row current; duplicates refused.
    void listsAndAddsBackups()
    {
        const QDateTime base(QDate(2024, 3, 1), QTime(10, 0));
        addBackup(QStringLiteral("old"), base);
        const QString newest = addBackup(QStringLiteral("newest"), base.addDays(30));
        addBackup(QStringLiteral("middle"), base.addDays(10));
        const QString broken = addBackup(QStringLiteral("broken"), base.addDays(5));
        QFile garbage(QDir(broken).filePath(QStringLiteral("Manifest.plist")));
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("bplist00 broken") > 0);
        garbage.close();
        QDir(m_location).mkpath(QStringLiteral("plistonly"));
        QFile::copy(QDir(newest).filePath(QStringLiteral("Manifest.plist")),
            QDir(m_location).filePath(QStringLiteral("plistonly/Manifest.plist")));

        MessageBoxRecorder boxes;
        Chooser chooser(nullptr);
        QCOMPARE(rowNames(chooser.model()), (QStringList { "newest", "middle", "old" }));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().contains(QStringLiteral("load %1 error. Manifest.plist cannot be read: ")
                                                    .arg(QDir::toNativeSeparators(broken))),
            qPrintable(boxes.texts().first()));
        QCOMPARE(chooser.model()->data(chooser.model()->index(0, 0)).toString(), QStringLiteral("Test iPhone"));

        // Load with no row current warns and stays open.
        chooser.btnLoadClicked();
        QCOMPARE(boxes.texts().last(), QStringLiteral("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        QVERIFY(chooser.selectedBackup.isNull());

        // The same folder again is refused; through another path it is a new row.
        chooser.answer = newest;
        chooser.btnAddOtherClicked({});
        QCOMPARE(boxes.texts().last(), QStringLiteral("IDS_LOAD_BK_EXISTS"));
        QCOMPARE(chooser.model()->rowCount(), 3);
        const QString link = m_tmp.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(newest, link));
        chooser.answer = link;
        chooser.btnAddOtherClicked({});
        QCOMPARE(chooser.model()->rowCount(), 4);
        QCOMPARE(boxes.count(), 3);
        // Equal dates: the row added later goes after the other.
        QCOMPARE(rowNames(chooser.model()), (QStringList { "newest", "link", "middle", "old" }));
        const QTreeView* view = chooser.findChild<QTreeView*>(QStringLiteral("listBackups"));
        QCOMPARE(view->currentIndex().row(), 1);
        chooser.btnLoadClicked();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.selectedBackup->dir().absolutePath(), link);

        g_delDirCascade(m_location);
    }

    void columnWidths_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("sections");
        QTest::newRow("680") << 680 << QList<int> { 240, 150, 210 };
        QTest::newRow("800, 720 x 0.35 just below 252") << 800 << QList<int> { 288, 180, 251 };
    }

    void columnWidths()
    {
        QFETCH(int, width);
        QFETCH(QList<int>, sections);
        MessageBoxRecorder boxes;
        Chooser chooser(nullptr);
        chooser.resize(width, 400);
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        const QHeaderView* header = chooser.findChild<QTreeView*>(QStringLiteral("listBackups"))->header();
        QCOMPARE((QList<int> { header->sectionSize(0), header->sectionSize(1), header->sectionSize(2) }), sections);
    }

    // Empty and wrong passwords keep the dialog open; the right one unlocks.
    void passwordDialog()
    {
        BackupSpec spec;
        spec.password = QStringLiteral("right one");
        const QString folder = m_tmp.filePath(QStringLiteral("encrypted"));
        writeBackup(folder, spec);
        BackupManifest backup { QDir(folder) };
        backup.readManifestInfo();
        QVERIFY(backup.info().IsEncrypted);

        MessageBoxRecorder boxes;
        PasscodeDlg dialog(&backup, nullptr);
        auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOK"));
        const QList<std::pair<QString, QString>> tries { { QString(), "IDS_PWD_IS_NULL" },
            { QStringLiteral("wrong"), "IDS_INVALID_PASSWORD" }, { QStringLiteral("right one"), QString() } };
        for (const auto& [password, warning] : tries) {
            const int before = boxes.count();
            field->setText(password);
            emit ok->pressed();
            QCOMPARE(boxes.texts().mid(before), warning.isEmpty() ? QStringList() : QStringList { warning });
            QCOMPARE(dialog.result(), warning.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
            QCOMPARE(backup.passcode(), warning.isEmpty() ? password : QString());
        }
        QCOMPARE(boxes.count(), 2);
        backup.parseInfo();
        QVERIFY(backup.findItem(kAddressBookDomain, kAddressBookPath));
    }
};

QTEST_MAIN(TestITunesBackupUi)
#include "tst_itunesbackupui.moc"
