// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/importcontactstolocalthread.h"

#include "common/failingcombinerule.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"
#include "scratchfiles.h"
#include "common/sqlprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray card(const QByteArray& name, const QByteArray& extra = QByteArray())
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + "\r\nTEL;TYPE=cell:+1 555 " + name.left(4) + "\r\n"
        + "BDAY:1980-01-15\r\nCATEGORIES:Friends\r\n" + extra + "END:VCARD\r\n";
}

QByteArray threeCards()
{
    return card("Doe;John") + card("Roe;Jane") + card("Poe;Edgar");
}

// Counts rows straight from the file, apart from the code under test.
int countRows(const QString& dbPath, const char* table)
{
    return SqlProbe(dbPath).value(QStringLiteral("select count(*) from ") + QLatin1String(table)).toInt();
}

// Rewrites the file being imported (unless no path is given) when the
// first contact is reached.
struct RewritingReporter : RecordingReporter {
    QString path;
    bool invokeUpdateProgress(QString status, int percent, QString text) override
    {
        QFile file(path);
        if (progressCount() == 0 && !path.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(card("Late;Lucy"));
        return RecordingReporter::invokeUpdateProgress(status, percent, text);
    }
};

} // namespace

class TestImportContactsToLocalThread : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db;

    QString dbPath() const { return m_dir->filePath(QStringLiteral("local.db")); }
    QString writeFile(const QByteArray& bytes) { return writeScratch(*m_dir, bytes, QStringLiteral("vcf")); }
    void runImport(const QString& path, ImportContactsToLocalThread::TYPE type, RecordingReporter& reporter,
                   LocalDb* db = nullptr)
    {
        ImportContactsToLocalThread thread(path, type, db ? db : m_db.get(), &reporter);
        thread.start();
        QVERIFY(thread.wait(60000));
        m_db->close();
    }

private slots:
    void init();
    void cleanup();

    void reportsOutcome_data();
    void reportsOutcome();
    void cancelRollsEverythingBack();
    void failureRollsBackAndReports_data();
    void failureRollsBackAndReports();
    void hostileCardsStayLinear_data();
    void hostileCardsStayLinear();
};

void TestImportContactsToLocalThread::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = std::make_unique<LocalDb>(dbPath(), QSharedPointer<LocalDbCombineRule>::create());
    m_db->create();
}

void TestImportContactsToLocalThread::cleanup()
{
    m_db.reset();
    m_dir.reset();
}

void TestImportContactsToLocalThread::reportsOutcome_data()
{
    QTest::addColumn<QString>("kind"); // how the input is made
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("words"); // in the one message
    QTest::addColumn<int>("contacts"); // stored; none goes with an error
    QTest::newRow("three cards") << "vcf" << threeCards() << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    // The content decides the format, not the type picked for it.
    QTest::newRow("text without cards is read as a table, an error")
        << "vcf" << QByteArray("hello\r\n") << "No column of this file is a known contact field." << 0;
    QTest::newRow("a table picked as cards is read as a table")
        << "vcf" << QByteArray("First Name,Last Name\r\nAnn,Lee\r\n") << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    QTest::newRow("a table with a card in a cell is read as a table")
        << "vcf" << QByteArray("First Name,Notes\r\nAnn,\"pasted:\r\nBEGIN:VCARD\r\nFN:Bob\r\nEND:VCARD\"\r\nCy,\r\n")
        << "IDS_SUC_IMPORT_2_CONTACTS_TO_DB" << 2;
    QTest::newRow("cards picked as a table are read as cards")
        << "csv" << threeCards() << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    QTest::newRow("cards after blanks and a byte-order mark, lower case")
        << "csv" << QByteArray("\xEF\xBB\xBF\r\n  begin:vcard\r\nFN:Ann\r\nend:vcard\r\n")
        << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    const QString card = QStringLiteral("BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n");
    QByteArray utf16("\xFF\xFE", 2);
    for (const QChar c : card)
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    QTest::newRow("UTF-16 cards picked as a table")
        << "csv" << utf16 << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    QTest::newRow("a header without rows: no contact, an error")
        << "csv" << QByteArray("First Name,Last Name\r\n") << "No contact was found in this file." << 0;
    QTest::newRow("an empty file: no contacts, an error")
        << "empty" << QByteArray() << "This file is empty: there are no contacts in it." << 0;
    QTest::newRow("an unreadable file is named")
        << "unreadable" << QByteArray() << "could not be read: Permission denied" << 0;
    QTest::newRow("CSV without a known column is an error")
        << "csv" << QByteArray("Foo,Bar\r\n1,2\r\n") << "No column of this file is a known contact field."
        << 0;
    QTest::newRow("FIFO named with markup: no wait for a writer, the name escaped")
        << "fifo" << QByteArray()
        << "&lt;a href=\"file:evil\"&gt;open.vcf: This is a pipe (FIFO), not a file." << 0;
    QTest::newRow("endless device") << "/dev/zero" << QByteArray() << "This is a device, not a file." << 0;
    QTest::newRow("folder") << "folder" << QByteArray() << "This is a folder, not a file." << 0;
    QTest::newRow("file rewritten while read")
        << "rewritten" << threeCards() << "was changed while it was imported" << 0;
}

void TestImportContactsToLocalThread::reportsOutcome()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, file);
    QFETCH(QString, words);
    QFETCH(int, contacts);

    const bool csv = kind == QLatin1String("csv");
    QString path = kind;
    RewritingReporter reporter;
    if (!file.isEmpty()) {
        path = writeScratch(*m_dir, file, csv ? QStringLiteral("csv") : QStringLiteral("vcf"));
    } else if (kind == QLatin1String("fifo")) {
        path = m_dir->filePath(QStringLiteral("<a href=\"file:evil\">open.vcf"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        path = m_dir->filePath(QString());
    } else if (kind == QLatin1String("empty")) {
        path = writeScratch(*m_dir, QByteArray(), QStringLiteral("csv"));
    } else if (kind == QLatin1String("unreadable")) {
        if (::geteuid() == 0) {
            // Root reads any file by its mode; a write-only kernel
            // attribute refuses it all the same.
            path = QStringLiteral("/sys/bus/pci/rescan");
            if (!QFileInfo(path).isFile())
                QSKIP("no file here that even root cannot read");
        } else {
            path = writeScratch(*m_dir, threeCards(), QStringLiteral("vcf"));
            QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        }
    }
    if (kind == QLatin1String("rewritten"))
        reporter.path = path;
    runImport(path, csv ? ImportContactsToLocalThread::TYPE_CSV : ImportContactsToLocalThread::TYPE_VCARD,
        reporter);
    QCOMPARE(reporter.errors().size() + reporter.successes().size(), 1);
    const QString shown = (contacts ? reporter.successes() : reporter.errors()).value(0);
    QVERIFY2(shown.contains(words), qPrintable(shown));
    if (kind == QLatin1String("unreadable"))
        QVERIFY2(shown.startsWith(QDir::toNativeSeparators(path)), qPrintable(shown));
    QCOMPARE(countRows(dbPath(), "contact"), contacts);
}

void TestImportContactsToLocalThread::cancelRollsEverythingBack()
{
    RecordingReporter reporter;
    reporter.cancelAfterProgress(2);
    runImport(writeFile(threeCards()), ImportContactsToLocalThread::TYPE_VCARD, reporter);
    QCOMPARE(reporter.endings(), 0);
    QCOMPARE(reporter.progressCount(), 2);
    QCOMPARE(countRows(dbPath(), "contact"), 0);
    QCOMPARE(countRows(dbPath(), "data"), 0);
}

void TestImportContactsToLocalThread::failureRollsBackAndReports_data()
{
    QTest::addColumn<bool>("throwInt");
    QTest::addColumn<QString>("error");
    QTest::newRow("std::exception") << false << "rule refused the e-mail";
    QTest::newRow("anything else") << true << "The import stopped on an unexpected error.";
}

void TestImportContactsToLocalThread::failureRollsBackAndReports()
{
    QFETCH(bool, throwInt);
    QFETCH(QString, error);
    auto rule = QSharedPointer<FailingCombineRule>::create();
    rule->throwNonStd = throwInt;
    LocalDb failing(dbPath(), rule);
    RecordingReporter reporter;
    const QByteArray file = card("Doe;John") + card("Roe;Jane", "EMAIL:jane@example.org\r\n") + card("Poe;Edgar");
    runImport(writeFile(file), ImportContactsToLocalThread::TYPE_VCARD, reporter, &failing);
    failing.close();
    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(reporter.errors(), QStringList { error });
    QCOMPARE(countRows(dbPath(), "contact"), 0);
}

// Inputs at which merging each entity against every stored one, or reading
// back the whole stored contact for each card, takes minutes; linear work
// takes seconds even in a sanitizer build. A cancel at the only card's
// progress report stops inside it instead of committing it whole.
void TestImportContactsToLocalThread::hostileCardsStayLinear_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("dataRows");
    QTest::addColumn<QString>("reported");
    QTest::addColumn<bool>("cancel");

    QByteArray phones, sameName;
    for (int i = 0; i < 200000; ++i)
        phones += "TEL:+1 555 " + QByteArray::number(i) + "\r\n";
    for (int i = 0; i < 20000; ++i)
        sameName += card("Doe;John", "TEL:+1 555 " + QByteArray::number(i) + "\r\n");
    QTest::newRow("one card with 200,000 phone lines: the first 10,000 kept")
        << card("Doe;John", phones) << ImportContactsToLocalThread::kMaxEntitiesPerContact
        << "only the first 10000 entries were kept; 190004 more" << false;
    QTest::newRow("20,000 cards of one name, each with another phone: the contact stops at 10,000 rows")
        << sameName << ImportContactsToLocalThread::kMaxEntitiesPerContact
        << "the contact already holds 10000 entries, the most one contact can hold; 1 more were left out." << false;
    QTest::newRow("cancelled inside the card") << card("Doe;John", phones.left(100000)) << 0 << QString() << true;
    QByteArray parameters = "TEL";
    for (int i = 0; i < 1000000; ++i)
        parameters += ";X-P" + QByteArray::number(i) + "=v";
    QTest::newRow("a million parameters on one line: the value kept, the line named")
        << card("Doe;John", parameters + ":+1 555 7\r\n") << 5
        << "Line 7: the line has more than 1000 parameters; the value was read" << false;
}

void TestImportContactsToLocalThread::hostileCardsStayLinear()
{
    QFETCH(QByteArray, file);
    QFETCH(int, dataRows);
    QFETCH(QString, reported);
    QFETCH(bool, cancel);
    RecordingReporter reporter;
    if (cancel)
        reporter.cancelAfterProgress(1);
    runImport(writeFile(file), ImportContactsToLocalThread::TYPE_VCARD, reporter);
    QCOMPARE(reporter.errors(), QStringList());
    QCOMPARE(reporter.successes().size(), cancel ? 0 : 1);
    QVERIFY2(cancel || reporter.successes().first().contains(reported), qPrintable(reporter.successes().value(0)));
    QCOMPARE(countRows(dbPath(), "contact"), cancel ? 0 : 1);
    QCOMPARE(countRows(dbPath(), "data"), dataRows);
}

QTEST_GUILESS_MAIN(TestImportContactsToLocalThread)
#include "tst_importcontactstolocalthread.moc"
