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
// Kept small enough for a sanitizer build on a loaded machine, which runs
// the import six times; the file still brings five times the stored
// contacts, so the import rebuilds its indexes at the end.
constexpr int kStored = 1000;
constexpr int kCards = 5000;

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
    return SqlProbe(path).column(QStringLiteral("select type||'|'||name||'|'||tbl_name||'|'||coalesce(sql,'')"
                                                " from sqlite_master order by name"));
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
    qint64 m_runMs = 0;
    qint64 m_tailMs = 0;

    // Imports into a copy of the stored database in a child and, with
    // `delayMs` >= 0, kills it that long after the progress line starting
    // with `mark`. Returns the copy; `tailMs` gets the time from the last
    // progress line to the child's end.
    QString run(const QByteArray& mark, qint64 delayMs, qint64* tailMs = nullptr)
    {
        const QString db = m_dir.filePath(QStringLiteral("run.db"));
        QFile::remove(db);
        if (!QFile::copy(m_base, db))
            qFatal("cannot copy the stored database");
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        child.start(QCoreApplication::applicationFilePath(), {QLatin1String(kChildArg), db, m_vcf});
        qint64 lastReport = 0;
        while (child.state() != QProcess::NotRunning) {
            child.waitForReadyRead(50);
            while (child.canReadLine()) {
                const QByteArray line = child.readLine();
                lastReport = line.startsWith(lastMark()) ? clock.elapsed() : lastReport;
                if (delayMs >= 0 && line.startsWith(mark)) {
                    QThread::msleep(static_cast<unsigned long>(delayMs));
                    qInfo("%s", child.state() == QProcess::Running ? "killed inside the import" : "ended before the kill");
                    child.kill();
                }
            }
        }
        if (tailMs)
            *tailMs = qMax<qint64>(1, clock.elapsed() - lastReport);
        return db;
    }
    static QByteArray lastMark() { return "Contacts:" + QByteArray::number(kCards) + '/'; }

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
        const QSharedPointer<LocalDb> db = LocalDb::openLocal(m_base);
        db->create();
        db->beginEdit();
        for (int i = 0; i < kStored; ++i) {
            pim::_Contact stored;
            bool existed = false;
            db->combineContact(pim::_Contact(0, QString(), QStringLiteral("Person %1").arg(i)), stored, existed);
        }
        db->endEdit(true);
        db->close();
        m_schema = schemaOf(m_base);

        // One run to its end: the state after, and how long the edit lasts.
        QElapsedTimer clock;
        clock.start();
        const QString full = run(QByteArray(), -1, &m_tailMs);
        m_runMs = clock.elapsed();
        QCOMPARE(contactsIn(full), kStored + kCards * 4 / 5);
        QCOMPARE(schemaOf(full), m_schema);
    }

    void killLeavesOldOrNewFile_data()
    {
        QTest::addColumn<QByteArray>("mark");
        QTest::addColumn<qint64>("delayMs");
        // Seeded shares of the measured run, the same moments every time; the
        // last one from the last contact on: the index rebuild and the commit.
        QRandomGenerator random(20261207);
        for (int i = 1; i <= 5; ++i) {
            const int permille = random.bounded(1000);
            QTest::addRow("kill %d at %d permille of the %s", i, permille, i < 5 ? "run" : "end")
                << (i < 5 ? QByteArray("Contacts:1/") : lastMark()) << (i < 5 ? m_runMs : m_tailMs) * permille / 1000;
        }
    }
    void killLeavesOldOrNewFile()
    {
        QFETCH(QByteArray, mark);
        QFETCH(qint64, delayMs);
        const QString db = run(mark, delayMs);
        // Opening rolls a hot journal back.
        QCOMPARE(SqlProbe(db).value(QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
        const int count = contactsIn(db);
        QVERIFY2(count == kStored || count == kStored + kCards * 4 / 5, qPrintable(QString::number(count)));
        QCOMPARE(schemaOf(db), m_schema);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], kChildArg) == 0)
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestImportCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_importcrash.moc"
