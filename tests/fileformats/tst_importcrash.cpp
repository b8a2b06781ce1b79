// SPDX-License-Identifier: GPL-3.0-or-later
// A vCard import killed with SIGKILL at seeded random moments of its edit,
// the index rebuild before the commit included: the file must come back
// intact, holding exactly the contacts of before or of after, with its
// schema unchanged. The import runs in this binary re-invoked as a child.
#include "fileformats/importcontactstolocalthread.h"

#include "common/sqlprobe.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

const char kChildArg[] = "--import-child";
// Kept small enough for a sanitizer build; the file still brings five times
// the stored contacts, so the import rebuilds its indexes at the end.
constexpr int kStored = 2000;
constexpr int kCards = 10000;

// Says each progress report on stdout, so the parent knows the edit is open.
class PrintingReporter : public RecordingReporter {
public:
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        std::printf("%s\n", qPrintable(progressText));
        std::fflush(stdout);
        return RecordingReporter::invokeUpdateProgress(status, curProgress, progressText);
    }
};

int runChild(const QString& dbPath, const QString& vcfPath)
{
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(dbPath);
    PrintingReporter reporter;
    ImportContactsToLocalThread thread(vcfPath, ImportContactsToLocalThread::TYPE_VCARD, db.data(), &reporter);
    thread.start();
    thread.wait();
    return reporter.errors().isEmpty() ? 0 : 1;
}

QByteArray cardText(int i)
{
    // Every fifth card names a stored contact; phones without a label.
    const QByteArray n = QByteArray::number(i % 5 == 0 ? i / 5 : kStored + i);
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + n + ";Person;;;\r\nFN:Person " + n
        + "\r\nTEL:+1 555 " + n + "\r\nEMAIL;TYPE=work:p" + n + "@example.org\r\nADR;TYPE=home:;;" + n
        + " Main St;Springfield;;12345;US\r\nORG:Firm " + QByteArray::number(i % 97) + "\r\nEND:VCARD\r\n";
}

QStringList schemaOf(const QString& path)
{
    QStringList schema = SqlProbe(path).column(QStringLiteral(
        "select type||'|'||name||'|'||tbl_name||'|'||coalesce(sql,'') from sqlite_master where name not like 'sqlite_%'"));
    schema.sort();
    return schema;
}

int contactsIn(const QString& path)
{
    return SqlProbe(path).value(QStringLiteral("select count(*) from contact")).toInt();
}

} // namespace

class TestImportCrash : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_base;
    QString m_vcf;
    QStringList m_schema;
    int m_before = 0;
    int m_after = 0;
    qint64 m_runMs = 0;
    qint64 m_tailMs = 0;

    QString copyOfBase(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        if (!QFile::copy(m_base, path))
            qFatal("cannot copy the stored database");
        return path;
    }

    // Starts the child on `db`, waits for the progress line starting with
    // `mark`, then `delayMs` more, and kills it. Returns false when the
    // child ended on its own first.
    bool killAfter(const QString& db, const QByteArray& mark, qint64 delayMs)
    {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QLatin1String(kChildArg), db, m_vcf});
        if (!child.waitForStarted())
            qFatal("child did not start");
        bool seen = false;
        while (!seen && child.state() == QProcess::Running) {
            child.waitForReadyRead(200);
            while (child.canReadLine()) {
                if (child.readLine().startsWith(mark))
                    seen = true;
            }
        }
        if (seen)
            QThread::msleep(static_cast<unsigned long>(delayMs));
        const bool killed = child.state() == QProcess::Running;
        child.kill();
        child.waitForFinished();
        return killed;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_vcf = m_dir.filePath(QStringLiteral("cards.vcf"));
        QFile vcf(m_vcf);
        QVERIFY(vcf.open(QIODevice::WriteOnly));
        for (int i = 0; i < kCards; ++i)
            vcf.write(cardText(i));
        vcf.close();

        m_base = m_dir.filePath(QStringLiteral("base.db"));
        {
            const QSharedPointer<LocalDb> db = LocalDb::openLocal(m_base);
            db->create();
            db->beginEdit();
            for (int i = 0; i < kStored; ++i) {
                pim::_Contact c(0, QString(), QStringLiteral("Person %1").arg(i));
                pim::Entity phone;
                phone.fields.insert(QStringLiteral("data1"), QStringLiteral("+1 555 %1").arg(i));
                c.entities[pim::ENTITY_PHONE].append(phone);
                pim::_Contact stored;
                bool existed = false;
                db->combineContact(c, stored, existed);
            }
            db->endEdit(true);
        }
        m_schema = schemaOf(m_base);
        m_before = contactsIn(m_base);
        QCOMPARE(m_before, kStored);

        // One run to its end: the state after, and how long the edit lasts.
        const QString full = copyOfBase(QStringLiteral("full.db"));
        QProcess child;
        QElapsedTimer run;
        run.start();
        child.start(QCoreApplication::applicationFilePath(), {QLatin1String(kChildArg), full, m_vcf});
        QVERIFY(child.waitForStarted());
        qint64 lastReport = 0;
        while (child.state() == QProcess::Running) {
            child.waitForReadyRead(100);
            while (child.canReadLine()) {
                if (child.readLine().startsWith(QByteArray("Contacts:") + QByteArray::number(kCards) + '/'))
                    lastReport = run.elapsed();
            }
        }
        child.waitForFinished();
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        m_runMs = run.elapsed();
        m_tailMs = qMax<qint64>(1, m_runMs - lastReport);
        m_after = contactsIn(full);
        QCOMPARE(m_after, kStored + kCards * 4 / 5);
        QCOMPARE(schemaOf(full), m_schema);
    }

    void killLeavesOldOrNewFile_data()
    {
        QTest::addColumn<QByteArray>("mark");
        QTest::addColumn<qint64>("delayMs");
        // Seeded: the same five moments on every run of the suite.
        QRandomGenerator random(20261207);
        // The moments are shares of the measured run.
        for (int i = 1; i <= 4; ++i) {
            const int permille = random.bounded(1000);
            QTest::addRow("during the merge, at %d permille", permille)
                << QByteArray("Contacts:1/") << m_runMs * permille / 1000;
        }
        // From the last contact on: the index rebuild and the commit.
        const int permille = random.bounded(1000);
        QTest::addRow("after the last contact, at %d permille", permille)
            << (QByteArray("Contacts:") + QByteArray::number(kCards) + '/') << m_tailMs * permille / 1000;
    }

    void killLeavesOldOrNewFile()
    {
        QFETCH(QByteArray, mark);
        QFETCH(qint64, delayMs);
        const QString db = copyOfBase(QStringLiteral("killed.db"));
        const bool killed = killAfter(db, mark, delayMs);
        qInfo("%s", killed ? "killed inside the import" : "the import ended before the kill");

        // Opening rolls a hot journal back.
        SqlProbe probe(db);
        QCOMPARE(probe.value(QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
        const int count = contactsIn(db);
        QVERIFY2(count == m_before || count == m_after, qPrintable(QString::number(count)));
        QCOMPARE(schemaOf(db), m_schema);
        QCOMPARE(LocalDb::openLocal(db)->contact(1).fullName, QStringLiteral("Person 0"));
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], kChildArg) == 0) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestImportCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_importcrash.moc"
