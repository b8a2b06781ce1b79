// SPDX-License-Identifier: GPL-3.0-or-later
// The address book of generated backups imported into a real local
// database, compared with a golden dump; re-import, cancel and the failures
// a user must be told about.
#include "backupfixture.h"
#include "common/sqlprobe.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/importcontactsfromitunesthread.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

using namespace backupfixture;
Q_DECLARE_METATYPE(ManifestForm)

namespace {

// Every file of a folder with its digest.
QStringList snapshot(const QString& folder)
{
    QStringList out;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile f(it.next());
        f.open(QIODevice::ReadOnly);
        out << f.fileName() + QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
    }
    out.sort();
    return out;
}

// The stored contacts as text, read over a second connection: one line per
// contact, one per data row with its non-empty columns.
QString dump(const QString& dbPath)
{
    SqlProbe probe(dbPath);
    QString out;
    for (const QVariantList& c : probe.rows(QStringLiteral("select _id, full_name from contact order by full_name"))) {
        out += QStringLiteral("contact %1\n").arg(c[1].toString());
        QString cols;
        for (int i = 1; i <= 11; ++i)
            cols += QStringLiteral(", data%1").arg(i);
        const QList<QVariantList> rows = probe.rows(
            QStringLiteral("select type%1 from data where contact_id=%2 order by type, data1").arg(cols).arg(c[0].toLongLong()));
        for (const QVariantList& r : rows) {
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

void compareGolden(const QString& actual, const QString& name)
{
    const QString path = qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + QStringLiteral("/tests/itunesbackup/data/") + name;
    QFile file(path);
    if (qEnvironmentVariable("MARROWLINK_UPDATE_GOLDEN") == QLatin1String("1")) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(actual.toUtf8());
        return;
    }
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QStringList want = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    const QStringList got = actual.split(QLatin1Char('\n'));
    for (int i = 0; i < qMax(want.size(), got.size()); ++i)
        QCOMPARE(QStringLiteral("%1: %2").arg(i + 1).arg(got.value(i)), QStringLiteral("%1: %2").arg(i + 1).arg(want.value(i)));
}

} // namespace

class TestITunesImport : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    int m_serial = 0;

    QString fresh(const char* what) { return m_tmp.filePath(QStringLiteral("%1-%2").arg(QLatin1String(what)).arg(++m_serial)); }

    // A backup with the fixture's address book (plus `extra` files).
    QString backup(BackupSpec spec, bool walPerson = false)
    {
        const QString scratch = fresh("scratch");
        QDir().mkpath(scratch);
        spec.files = addressBookFiles(scratch, walPerson) + spec.files;
        const QString folder = fresh("backup");
        writeBackup(folder, spec);
        return folder;
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

    static void run(BackupManifest& b, LocalDb& db, RecordingReporter& reporter)
    {
        ImportContactsFromiTunesThread thread(b, &db, &reporter);
        thread.start();
        QVERIFY(thread.wait(60000));
        db.close();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        QDir().mkpath(m_tmp.filePath(QStringLiteral("work")));
    }

    void importsEveryValue_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<ManifestForm>("form");
        QTest::addColumn<bool>("twoStage");
        QTest::addColumn<bool>("walPerson");
        QTest::newRow("plain Manifest.db") << QString() << ManifestForm::Db << false << false;
        QTest::newRow("plain Manifest.mbdb") << QString() << ManifestForm::Mbdb << false << false;
        QTest::newRow("encrypted Manifest.db") << QStringLiteral("s3cret") << ManifestForm::Db << true << false;
        QTest::newRow("encrypted salted Manifest.db") << QStringLiteral("pässwort") << ManifestForm::SaltedDb << false << false;
        QTest::newRow("newest contact only in -wal") << QString() << ManifestForm::Db << false << true;
        QTest::newRow("encrypted, contact in -wal") << QStringLiteral("s3cret") << ManifestForm::Mbdb << false << true;
    }

    // Exactly the expected contacts; a second import merges every one of
    // them and stores nothing twice; the backup folder is not written to.
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
        spec.files.clear();
        const QString folder = backup(spec, walPerson);
        const QStringList before = snapshot(folder);

        const QString dbPath = fresh("local.db");
        LocalDb db(dbPath, QSharedPointer<LocalDbCombineRule>::create());
        db.create();
        const int expected = walPerson ? 4 : 3;
        for (int round = 0; round < 2; ++round) {
            const std::unique_ptr<BackupManifest> b = open(folder, password);
            RecordingReporter reporter;
            run(*b, db, reporter);
            QCOMPARE(reporter.errors(), QStringList());
            const QString want = round == 0 ? QStringLiteral("IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES").arg(expected)
                                            : QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_FROM_ITUNES_%1_MERGED").arg(expected);
            QCOMPARE(reporter.successes().value(0).section(QLatin1Char('\n'), 0, 0), want);
            QVERIFY(reporter.successes().value(0).contains(QLatin1String("1 entries without")));
            compareGolden(dump(dbPath), walPerson ? QStringLiteral("addressbook-wal.golden") : QStringLiteral("addressbook.golden"));
        }
        QCOMPARE(SqlProbe(dbPath).value(QStringLiteral("select data15 from data where type=2")).toByteArray(), addressBookPhoto());
        QCOMPARE(snapshot(folder), before);
        QCOMPARE(QDir(m_tmp.filePath(QStringLiteral("work"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
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
        BackupSpec spec;
        spec.files.clear();
        const std::unique_ptr<BackupManifest> b = open(backup(spec), QString());
        const QString dbPath = fresh("local.db");
        LocalDb db(dbPath, QSharedPointer<LocalDbCombineRule>::create());
        db.create();
        pim::_Contact kept(0, QString(), QStringLiteral("Kept Before"));
        db.insertContactBase(kept);
        db.close();

        RecordingReporter reporter;
        reporter.cancelAfterProgress(afterReports);
        run(*b, db, reporter);
        QCOMPARE(reporter.endings(), 0);
        QCOMPARE(SqlProbe(dbPath).column(QStringLiteral("select full_name from contact")), QStringList { "Kept Before" });
    }

    // Each failure is an error naming what is wrong, never a success.
    void failures_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no Manifest.plist") << "rm Manifest.plist" << "has no Manifest.plist";
        QTest::newRow("Manifest.plist garbage") << "garbage Manifest.plist" << "Manifest.plist cannot be read";
        QTest::newRow("no file list") << "rm Manifest.db" << "Manifest.mbdb";
        QTest::newRow("file list garbage") << "garbage Manifest.db" << "Manifest.db";
        QTest::newRow("no address book") << "no book" << "holds no address book";
        QTest::newRow("address book garbage") << "garbage book" << "cannot be read";
        QTest::newRow("not an address book") << "foreign book" << "is not an address book";
        QTest::newRow("wrong password") << "wrong password" << "wrong password";
    }

    void failures()
    {
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        BackupSpec spec;
        spec.files.clear();
        QString folder;
        if (damage == QLatin1String("no book") || damage == QLatin1String("garbage book")
            || damage == QLatin1String("foreign book")) {
            QByteArray content = "not a database at all, just some bytes";
            if (damage == QLatin1String("foreign book")) {
                const QString scratch = fresh("scratch");
                QDir().mkpath(scratch);
                content = addressBookFiles(scratch).value(1).content; // the images database
            }
            if (damage != QLatin1String("no book"))
                spec.files = { { kAddressBookDomain, kAddressBookPath, content } };
            folder = fresh("backup");
            writeBackup(folder, spec);
        } else {
            spec.password = damage == QLatin1String("wrong password") ? QStringLiteral("right") : QString();
            folder = backup(spec);
            const QStringList words = damage.split(QLatin1Char(' '));
            const QString target = QDir(folder).filePath(words.value(1));
            if (words[0] == QLatin1String("rm"))
                QFile::remove(target);
            else if (words[0] == QLatin1String("garbage")) {
                QFile f(target);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(QByteArray(600, 'x'));
            }
        }
        const QString dbPath = fresh("local.db");
        LocalDb db(dbPath, QSharedPointer<LocalDbCombineRule>::create());
        db.create();
        QString error;
        try {
            const std::unique_ptr<BackupManifest> b = open(folder, QStringLiteral("wrong"));
            RecordingReporter reporter;
            run(*b, db, reporter);
            QCOMPARE(reporter.successes(), QStringList());
            error = reporter.errors().value(0);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(error.contains(expected), qPrintable(error));
        QCOMPARE(SqlProbe(dbPath).value(QStringLiteral("select count(*) from contact")).toInt(), 0);
    }
};

QTEST_MAIN(TestITunesImport)
#include "tst_itunesimport.moc"
