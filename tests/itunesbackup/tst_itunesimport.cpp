// SPDX-License-Identifier: GPL-3.0-or-later
// Generated backups end to end: the address book imported into a real local
// database and compared with a golden dump, re-import, cancel, the failures
// a user must be told about; the chooser over a generated backup location
// and the password dialog over an encrypted backup.
#include "backupfixture.h"
#include "common/sqlprobe.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/importcontactsfromitunesthread.h"
#include "itunesbackup/itemmodelloadbk.h"
#include "itunesbackup/loaditunesbackupdlg.h"
#include "itunesbackup/passcodedlg.h"
#include "model/data_path_util.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/messageboxrecorder.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace backupfixture;
Q_DECLARE_METATYPE(ManifestForm)

namespace {

// The stored contacts as text, read over a second connection: a line per
// contact, one per data row with its non-empty columns (photo bytes aside).
QString dump(const QString& dbPath)
{
    SqlProbe probe(dbPath);
    QString out;
    for (const QVariantList& c : probe.rows(QStringLiteral("select _id, full_name from contact order by full_name"))) {
        out += QStringLiteral("contact %1\n").arg(c[1].toString());
        for (const QVariantList& r : probe.rows(QStringLiteral("select type, data1, data2, data3, data4, data5, data6, data7, "
                                                               "data8, data9, data10, data11 from data where contact_id=%1 "
                                                               "order by type, data1").arg(c[0].toLongLong()))) {
            QStringList parts;
            for (int i = 1; i < r.size(); ++i) {
                if (!r[i].toString().isEmpty())
                    parts << QStringLiteral("data%1=%2").arg(i).arg(r[i].toString().replace(QLatin1Char('\n'), QLatin1String("\\n")));
            }
            out += QStringLiteral("  %1 %2\n").arg(r[0].toInt()).arg(parts.join(QLatin1String("; ")));
        }
    }
    return out;
}

// With MARROWLINK_UPDATE_GOLDEN=1 the file is rewritten (review it by eye).
void compareGolden(const QString& actual, const QString& name)
{
    QFile file(qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + QStringLiteral("/tests/itunesbackup/data/") + name);
    const bool update = qEnvironmentVariable("MARROWLINK_UPDATE_GOLDEN") == QLatin1String("1");
    QVERIFY2(file.open(update ? QIODevice::WriteOnly : QIODevice::ReadOnly), qPrintable(file.fileName()));
    if (update)
        file.write(actual.toUtf8());
    else
        QCOMPARE(actual.split(QLatin1Char('\n')), QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')));
}

// The chooser with the folder question answered by the test.
class Chooser : public LoadItunesBackupDlg {
public:
    using LoadItunesBackupDlg::LoadItunesBackupDlg;
    QString answer;

protected:
    QString askForFolder() override { return answer; }
};

QStringList rowNames(ItemModelLoadBk* model)
{
    QStringList names;
    for (const ItemModelLoadBk::_BKItemNode* node : model->backupNodes())
        names << node->backup->dir().dirName();
    return names;
}

} // namespace

class TestITunesImport : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    int m_serial = 0;

    QString fresh(const char* what) { return m_tmp.filePath(QStringLiteral("%1-%2").arg(QLatin1String(what)).arg(++m_serial)); }

    // A backup whose files are the fixture's address book.
    QString backup(BackupSpec spec, bool walPerson = false, const QString& folder = {})
    {
        spec.files = addressBookFiles(fresh("scratch"), walPerson);
        const QString path = folder.isEmpty() ? fresh("backup") : folder;
        writeBackup(path, spec);
        return path;
    }

    // Opened the way the main window opens it; throws on failure.
    std::unique_ptr<BackupManifest> open(const QString& folder, const QString& password)
    {
        auto b = std::make_unique<BackupManifest>(QDir(folder));
        b->setWorkFolder(m_tmp.filePath(QStringLiteral("work")));
        b->readManifestInfo();
        if (b->info().IsEncrypted && !b->setPasscodeNoUIThrow(password))
            throw std::runtime_error("wrong password");
        b->parseInfo();
        return b;
    }

    // A fresh local database (created from the template) and an import into it.
    QString import(BackupManifest& b, RecordingReporter& reporter, QString dbPath = {})
    {
        const bool created = dbPath.isEmpty();
        if (created)
            dbPath = fresh("local.db");
        LocalDb db(dbPath, QSharedPointer<LocalDbCombineRule>::create());
        if (created)
            db.create();
        ImportContactsFromiTunesThread thread(b, &db, &reporter);
        thread.start();
        [&] { QVERIFY(thread.wait(timebound::kWaitMs)); }();
        db.close();
        return dbPath;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        QDir().mkpath(m_tmp.filePath(QStringLiteral("work")));
        qputenv("XDG_DATA_HOME", m_tmp.filePath(QStringLiteral("data")).toUtf8());
    }

    void importsEveryValue_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<ManifestForm>("form");
        QTest::addColumn<bool>("twoStage");
        QTest::addColumn<bool>("walPerson");
        QTest::newRow("plain Manifest.db") << QString() << ManifestForm::Db << false << false;
        QTest::newRow("plain Manifest.mbdb") << QString() << ManifestForm::Mbdb << false << false;
        QTest::newRow("both file lists: Manifest.mbdb wins") << QString() << ManifestForm::Both << false << false;
        QTest::newRow("encrypted Manifest.db") << QStringLiteral("s3cret") << ManifestForm::Db << true << false;
        QTest::newRow("encrypted salted Manifest.db") << QStringLiteral("pässwort") << ManifestForm::SaltedDb << false << false;
        QTest::newRow("newest contact only in -wal") << QString() << ManifestForm::Db << false << true;
        QTest::newRow("encrypted, contact in -wal") << QStringLiteral("s3cret") << ManifestForm::Mbdb << false << true;
    }

    // Exactly the expected contacts; a second import merges every one and
    // stores nothing twice; neither the backup nor the work folder keeps a trace.
    void importsEveryValue()
    {
        QFETCH(QString, password);
        QFETCH(ManifestForm, form);
        QFETCH(bool, twoStage);
        QFETCH(bool, walPerson);
        BackupSpec spec;
        spec.password = password;
        spec.form = form;
        spec.twoStage = twoStage;
        const QString folder = backup(spec, walPerson);
        const QStringList before = snapshot(folder);
        const int expected = walPerson ? 4 : 3;
        QString dbPath;
        for (const QString& want : { QStringLiteral("IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES").arg(expected),
                 QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_FROM_ITUNES_%1_MERGED").arg(expected) }) {
            RecordingReporter reporter;
            dbPath = import(*open(folder, password), reporter, dbPath);
            QCOMPARE(reporter.errors(), QStringList());
            QCOMPARE(reporter.successes().value(0).split(QLatin1String("<br/>")),
                (QStringList { want, "1 entries without a name, phone number or e-mail address were left out." }));
            compareGolden(dump(dbPath), walPerson ? QStringLiteral("addressbook-wal.golden") : QStringLiteral("addressbook.golden"));
        }
        QCOMPARE(SqlProbe(dbPath).value(QStringLiteral("select data15 from data where type=2")).toByteArray(), addressBookPhoto());
        QCOMPARE(snapshot(folder), before);
        QCOMPARE(QDir(m_tmp.filePath(QStringLiteral("work"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    // Records of the file list that the import leaves out are counted where
    // the user reads the result, not only in the log.
    void tellsRecordsLeftOutOfTheFileList_data()
    {
        QTest::addColumn<ManifestForm>("form");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("line");
        const QString one = "One record of the backup's file list could not be read and was left out: "
                            "its file path holds a NUL character.";
        QTest::newRow("one, Manifest.mbdb") << ManifestForm::Mbdb << 1 << one;
        QTest::newRow("one, Manifest.db") << ManifestForm::Db << 1 << one;
        QTest::newRow("three, Manifest.mbdb") << ManifestForm::Mbdb << 3
                                              << "3 records of the backup's file list could not be read and were left "
                                                 "out: their file paths hold a NUL character.";
    }

    void tellsRecordsLeftOutOfTheFileList()
    {
        QFETCH(ManifestForm, form);
        QFETCH(int, refused);
        QFETCH(QString, line);
        BackupSpec spec;
        spec.form = form;
        spec.files = addressBookFiles(fresh("scratch"));
        // Cut at the NUL, the first would name the address book itself.
        for (int i = 0; i < refused; ++i)
            spec.files.append({ kAddressBookDomain, QString::fromLatin1(kAddressBookPath) + QChar(0) + QString::number(i),
                                "not the address book" });
        const QString folder = fresh("backup");
        writeBackup(folder, spec);
        RecordingReporter reporter;
        const QString dbPath = import(*open(folder, QString()), reporter);
        QCOMPARE(reporter.errors(), QStringList());
        QCOMPARE(reporter.successes().value(0).split(QLatin1String("<br/>")),
                 (QStringList { "IDS_SUC_IMPORT_3_CONTACTS_FROM_ITUNES",
                                "1 entries without a name, phone number or e-mail address were left out.", line }));
        compareGolden(dump(dbPath), QStringLiteral("addressbook.golden"));
    }

    // A cancel while reading or while writing leaves the database as it was.
    void cancelRollsBack_data()
    {
        QTest::addColumn<int>("afterReports");
        QTest::newRow("while reading") << 2;
        QTest::newRow("while writing") << 6;
    }

    void cancelRollsBack()
    {
        QFETCH(int, afterReports);
        const QString dbPath = fresh("local.db");
        {
            LocalDb db(dbPath, QSharedPointer<LocalDbCombineRule>::create());
            db.create();
            pim::_Contact kept(0, QString(), QStringLiteral("Kept Before"));
            db.insertContactBase(kept);
        }
        RecordingReporter reporter;
        reporter.cancelAfterProgress(afterReports);
        import(*open(backup({}), QString()), reporter, dbPath);
        QCOMPARE(reporter.endings(), 0);
        QCOMPARE(SqlProbe(dbPath).column(QStringLiteral("select full_name from contact")), QStringList { "Kept Before" });
    }

    // Each damage is an error naming what is wrong, never a success.
    void failures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // empty: the file is removed
        QTest::addColumn<QString>("expected");
        const QString book = MBDBParser::getFileHashName(kAddressBookDomain, kAddressBookPath);
        const QByteArray garbage(600, 'x');
        QTest::newRow("no Manifest.plist") << "Manifest.plist" << QByteArray() << "has no Manifest.plist";
        QTest::newRow("Manifest.plist garbage") << "Manifest.plist" << garbage << "Manifest.plist cannot be read";
        QTest::newRow("no file list") << "Manifest.db" << QByteArray() << "has no file list";
        QTest::newRow("file list garbage") << "Manifest.db" << garbage << "Manifest.db";
        QTest::newRow("address book garbage") << book.left(2) + "/" + book << garbage << "Library/AddressBook/AddressBook.sqlitedb of the backup";
        QTest::newRow("address book content missing") << book.left(2) + "/" + book << QByteArray() << "no content file";
        // An old file list of another version beside the database: named.
        QTest::newRow("old file list of version 4") << "Manifest.mbdb" << QByteArray("mbdb\x04\x00", 6) + garbage
                                                   << "this file list is of version 4.0";
        QTest::newRow("not an address book") << "images" << QByteArray() << "is not an address book";
        QTest::newRow("no address book") << "none" << QByteArray() << "holds no address book";
    }

    void failures()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QString folder = fresh("backup");
        if (file == QLatin1String("images") || file == QLatin1String("none")) {
            BackupSpec spec;
            spec.files = { { kAddressBookDomain, kAddressBookPath, addressBookFiles(fresh("scratch")).value(1).content } };
            if (file == QLatin1String("none"))
                spec.files.clear();
            writeBackup(folder, spec);
        } else {
            backup({}, false, folder);
            QFile target(QDir(folder).filePath(file));
            QVERIFY(content.isEmpty() ? target.remove() : target.open(QIODevice::WriteOnly) && target.write(content) > 0);
        }
        RecordingReporter reporter;
        QString error;
        QString dbPath;
        try {
            dbPath = import(*open(folder, QString()), reporter);
            QCOMPARE(reporter.successes(), QStringList());
            QCOMPARE(SqlProbe(dbPath).value(QStringLiteral("select count(*) from contact")).toInt(), 0);
            error = reporter.errors().value(0);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(error.contains(expected), qPrintable(error));
    }

    // Newest first, a broken folder reported and left out, a folder without a
    // file list skipped in silence, no row current; duplicates refused.
    void chooserListsAndAdds()
    {
        const QString location = BackupManifest::iTunesBackupDirs().first().absolutePath();
        QVERIFY(location.startsWith(m_tmp.path()));
        {
            // The warning says where it looked and what to check; its link
            // adds a folder by hand once the chooser runs.
            const QString elsewhere = m_tmp.filePath(QStringLiteral("elsewhere"));
            writeBackup(elsewhere, {});
            MessageBoxRecorder boxes;
            boxes.setWhileOpen([](QMessageBox& box) {
                emit box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->linkActivated(QStringLiteral("#add"));
            });
            Chooser empty(nullptr);
            empty.answer = elsewhere;
            QCOMPARE(boxes.count(), 1);
#ifndef Q_OS_MACOS
            QCOMPARE(boxes.texts().first(),
                     QStringLiteral("Can't find any backups in %1. The folder must exist and you must be allowed to read "
                                    "it. To load a backup from another folder, please click <a href=\"#add\">HERE</a>.")
                         .arg(QDir::toNativeSeparators(location)));
#endif
            QTRY_COMPARE(rowNames(empty.model()), QStringList { "elsewhere" });
            QCOMPARE(empty.findChild<QTreeView*>(QStringLiteral("listBackups"))->currentIndex().row(), 0);
        }
        const QDateTime base(QDate(2024, 3, 1), QTime(10, 0));
        for (const auto& [name, days] : { std::pair("old", 0), std::pair("newest", 30), std::pair("middle", 10), std::pair("broken", 5) }) {
            const QString folder = QDir(location).filePath(QLatin1String(name));
            writeBackup(folder, {});
            QFile status(QDir(folder).filePath(QStringLiteral("Status.plist")));
            QVERIFY(status.open(QIODevice::ReadWrite) && status.setFileTime(base.addDays(days), QFileDevice::FileModificationTime));
        }
        const QString broken = QDir(location).filePath(QStringLiteral("broken"));
        QFile garbage(QDir(broken).filePath(QStringLiteral("Manifest.plist")));
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("bplist00 broken") > 0);
        garbage.close();
        const QString newest = QDir(location).filePath(QStringLiteral("newest"));
        QDir(location).mkpath(QStringLiteral("plistonly"));
        QFile::copy(QDir(newest).filePath(QStringLiteral("Manifest.plist")), QDir(location).filePath(QStringLiteral("plistonly/Manifest.plist")));

        MessageBoxRecorder boxes;
        Chooser chooser(nullptr);
        QCOMPARE(rowNames(chooser.model()), (QStringList { "newest", "middle", "old" }));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().contains(QStringLiteral("load %1 error. Manifest.plist cannot be read: %1/Manifest.plist: ")
                                                    .arg(QDir::toNativeSeparators(broken))),
            qPrintable(boxes.texts().first()));
        QCOMPARE(chooser.model()->data(chooser.model()->index(0, 0)).toString(), QStringLiteral("Test iPhone"));

        chooser.btnLoadClicked();
        QCOMPARE(boxes.texts().last(), QStringLiteral("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        chooser.answer = newest;
        chooser.btnAddOtherClicked({});
        QCOMPARE(boxes.texts().last(), QStringLiteral("IDS_LOAD_BK_EXISTS"));
        // Through another path the same backup is a new row, after the one of equal date.
        const QString link = m_tmp.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(newest, link));
        chooser.answer = link;
        chooser.btnAddOtherClicked({});
        QCOMPARE(boxes.count(), 3);
        QCOMPARE(rowNames(chooser.model()), (QStringList { "newest", "link", "middle", "old" }));
        QCOMPARE(chooser.findChild<QTreeView*>(QStringLiteral("listBackups"))->currentIndex().row(), 1);
        chooser.btnLoadClicked();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.selectedBackup->dir().absolutePath(), link);
        // Column widths: parts of the width less 80, cut toward zero (720 x 0.35 falls just below 252).
        chooser.show();
        const QHeaderView* header = chooser.findChild<QTreeView*>(QStringLiteral("listBackups"))->header();
        for (const auto& [width, sections] : { std::pair(680, QList<int> { 240, 150, 210 }), std::pair(800, QList<int> { 288, 180, 251 }) }) {
            chooser.resize(width, 400);
            QCOMPARE((QList<int> { header->sectionSize(0), header->sectionSize(1), header->sectionSize(2) }), sections);
        }
        g_delDirCascade(location);
    }

    // Empty and wrong passwords keep the dialog open; the right one unlocks.
    void passwordDialog()
    {
        BackupSpec spec;
        spec.password = QStringLiteral("right one");
        BackupManifest manifest { QDir(backup(spec)) };
        manifest.readManifestInfo();
        MessageBoxRecorder boxes;
        PasscodeDlg dialog(&manifest, nullptr);
        const QList<std::pair<QString, QString>> tries { { QString(), "IDS_PWD_IS_NULL" },
            { QStringLiteral("wrong"), "IDS_INVALID_PASSWORD" }, { QStringLiteral("right one"), QString() } };
        for (const auto& [password, warning] : tries) {
            const int before = boxes.count();
            dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(password);
            emit dialog.findChild<QPushButton*>(QStringLiteral("btnOK"))->pressed();
            QCOMPARE(boxes.texts().mid(before), warning.isEmpty() ? QStringList() : QStringList { warning });
            QCOMPARE(dialog.result(), warning.isEmpty() ? int(QDialog::Accepted) : int(QDialog::Rejected));
            QCOMPARE(manifest.passcode(), warning.isEmpty() ? password : QString());
        }
    }
};

QTEST_MAIN(TestITunesImport)
#include "tst_itunesimport.moc"
