// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/importcontactstolocalthread.h"

#include "fileformats/vcard/vcardimport.h"
#include "kit/messagetext.h"

#include "common/failingcombinerule.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"
#include "scratchfiles.h"
#include "common/imagebytes.h"
#include "common/sqlprobe.h"
#include "support/testparts.h"
#include "support/timebounds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray card(const QByteArray& name, const QByteArray& extra = QByteArray())
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + "\r\nTEL;TYPE=cell:+1 555 " + name.left(4) + "\r\n"
        + "BDAY:1980-01-15\r\nCATEGORIES:Friends\r\n" + extra + "END:VCARD\r\n";
}

// Cards with problems in them and between them, the last without END;
// each card's note of `pad` bytes makes the file as large as wanted.
QByteArray brokenCards(int count, int pad = 0)
{
    const auto person = [](int i) { return "Name" + QByteArray::number(i % 45) + ";P"; };
    QByteArray broken;
    for (int i = 0; i < count; ++i) {
        QByteArray extra;
        if (i % 11 == 0)
            extra += "this line has no colon\r\n";
        if (i % 17 == 0)
            extra += "NOTE;ENCODING=QUOTED-PRINTABLE:ends in a soft break=\r\n";
        if (i % 7 == 3)
            extra += "GEO:48.2;16.4\r\n";
        if (i % 19 == 5)
            extra += "X-CUSTOM-THING:kept nowhere\r\n";
        if (pad > 0)
            extra += "NOTE:" + QByteArray(pad, char('a' + i % 26)) + "\r\n";
        if (i % 13 == 0)
            broken += "stray text between cards\r\n";
        if (i % 29 == 0)
            broken += "BEGIN:VCARD\r\nN:Lost;Card\r\n"; // no END: the next BEGIN starts a card
        if (i % 23 == 0)
            broken += "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:no name\r\nEND:VCARD\r\n";
        broken += card(person(i), extra);
    }
    return broken + "BEGIN:VCARD\r\nN:Last;One\r\n"; // no END before the end of the file
}

QByteArray threeCards()
{
    return card("Doe;John") + card("Roe;Jane") + card("Poe;Edgar");
}

// Binary blocks as a damaged backup leaves them: NULs, control and high
// bytes, `lines` lines of `width` bytes.
QByteArray binaryBlocks(int lines, int width)
{
    QByteArray blocks;
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < width; ++i) {
            const char c = char((line * 131 + i * 37) % 256);
            blocks += (c == '\n' || c == '\r') ? '\0' : c;
        }
        blocks += "\r\n";
    }
    return blocks;
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
        QVERIFY(thread.wait(timebound::kWaitMs));
        m_db->close();
    }

private slots:
    void init();
    void cleanup();

    void reportsOutcome_data();
    void reportsOutcome();
    void cancelRollsEverythingBack_data();
    void cancelRollsEverythingBack();
    void failureRollsBackAndReports_data();
    void failureRollsBackAndReports();
    void hostileCardsStayLinear_data();
    void hostileCardsStayLinear();
    void namelessCardOfManyEntriesIsNotSaidToBeKept();
    void readsInLanesAsOneReaderDoes_data();
    void readsInLanesAsOneReaderDoes();
    void namesANamelessContactAlikeFromCardsAndTables_data();
    void namesANamelessContactAlikeFromCardsAndTables();
    void endingNamesTheGroupAndNicknameTheMergeKeeps_data();
    void endingNamesTheGroupAndNicknameTheMergeKeeps();
    void keepsADateOfEachKindOnOneDay_data();
    void keepsADateOfEachKindOnOneDay();
    void mergesOnePersonWhateverBlanksSurroundTheValues_data();
    void mergesOnePersonWhateverBlanksSurroundTheValues();
    void endingNamesThePhotosTheMergeLeftOut_data();
    void endingNamesThePhotosTheMergeLeftOut();
    void endingNamesTheMergesByTheNameAlone_data();
    void endingNamesTheMergesByTheNameAlone();
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
    QTest::newRow("a value of a kind not kept is named by its kind")
        << "vcf" << card("Doe;John", "GEO:48.2;16.4\r\nPRODID:-//Writer//EN\r\n")
        << "Left out or changed:<br/>1 value of a kind this program does not keep was left out: GEO (1)." << 1;
    QByteArray manyKinds;
    for (int i = 0; i < 12; ++i)
        manyKinds += "X-KIND-" + QByteArray::number(i) + ":v\r\n";
    QTest::newRow("kinds beyond the tenth are counted together")
        << "vcf" << card("Doe;John", manyKinds + "X-KIND-0:v\r\n")
        << "13 values of kinds this program does not keep were left out: X-KIND-0 (2), X-KIND-1 (1), X-KIND-2 (1), "
           "X-KIND-3 (1), X-KIND-4 (1), X-KIND-5 (1), X-KIND-6 (1), X-KIND-7 (1), X-KIND-8 (1), X-KIND-9 (1), "
           "other kinds (2)."
        << 1;
    // The content decides the format, not the type picked for it.
    QTest::newRow("text that is neither cards nor a table is named")
        << "vcf" << QByteArray("hello\r\n") << ".vcf: This file is not a vCard or CSV file." << 0;
    QTest::newRow("a table picked as cards is read as a table")
        << "vcf" << QByteArray("First Name,Last Name\r\nAnn,Lee\r\n") << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    QTest::newRow("a table with a card in a cell is read as a table")
        << "vcf" << QByteArray("First Name,Notes\r\nAnn,\"pasted:\r\nBEGIN:VCARD\r\nFN:Bob\r\nEND:VCARD\"\r\nCy,\r\n")
        << "IDS_SUC_IMPORT_2_CONTACTS_TO_DB" << 2;
    // Lines with separators before the cards are an upload's head; a
    // table's header, found below its notes, still comes first.
    const QByteArray upload = "--xYz\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.vcf\"\r\n"
                              "Content-Type: text/vcard; charset=utf-8\r\n\r\n"
        + threeCards() + "--xYz--\r\n";
    QTest::newRow("cards in an upload's body") << "vcf" << upload
                                              << "Lines 1-3: the lines stand outside any card and were left out." << 3;
    QTest::newRow("cards in an upload's body picked as a table")
        << "csv" << upload << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    const QByteArray notes = "Notes:\r\n\"Some e-mail addresses, by choice, are not given.\"\r\n\r\n";
    QTest::newRow("a table below its notes picked as cards")
        << "vcf" << notes + "First Name,Last Name\r\nAnn,Lee\r\n"
        << "Rows 1-3: the rows stand above the header row and were left out." << 1;
    QTest::newRow("a table below its notes with a card in a cell")
        << "csv" << notes + "First Name,Notes\r\nAnn,\"pasted:\r\nBEGIN:VCARD\r\nFN:Bob\r\nEND:VCARD\"\r\n"
        << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    QTest::newRow("one person's values without a header row")
        << "csv" << QByteArray("\"Lee\",\"Ann\",\"Work\",\"+1 555 0100 22\",\"E-mail\",\"ann@x.example\"\r\n")
        << "This file has no header row" << 0;
    QTest::newRow("cards picked as a table are read as cards")
        << "csv" << threeCards() << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    QTest::newRow("cards whose lines end in CR alone picked as a table")
        << "csv" << QByteArray(threeCards()).replace("\r\n", "\r") << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    QTest::newRow("cards after blanks and a byte-order mark, lower case")
        << "csv" << QByteArray("\xEF\xBB\xBF\r\n  begin:vcard\r\nFN:Ann\r\nend:vcard\r\n")
        << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    const QString card = QStringLiteral("BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n");
    QByteArray utf16("\xFF\xFE", 2);
    for (const QChar c : card)
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    QTest::newRow("UTF-16 cards picked as a table")
        << "csv" << utf16 << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    // Without a mark the zero bytes tell UTF-16 and its byte order.
    QByteArray utf16BigEndian;
    for (const QChar c : card)
        utf16BigEndian.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    QTest::newRow("UTF-16 cards without a mark, big-endian")
        << "csv" << utf16BigEndian << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    const QString table = QStringLiteral("First Name,Last Name\r\n\u4E00,\u738B\r\nAnn,Lee\r\n");
    QByteArray utf16Table;
    for (const QChar c : table)
        utf16Table.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    QTest::newRow("UTF-16 table without a mark, little-endian")
        << "vcf" << utf16Table << "IDS_SUC_IMPORT_2_CONTACTS_TO_DB" << 2;
    // A backup that lost its start: the cards after the damage are read,
    // its lines named once, however the file is picked.
    QTest::newRow("binary blocks before the cards")
        << "vcf" << binaryBlocks(4, 200) + threeCards()
        << "Lines 1-4: the lines stand outside any card and were left out." << 3;
    QTest::newRow("binary blocks before the cards, picked as a table")
        << "csv" << binaryBlocks(4, 200) + threeCards() << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    QTest::newRow("a few control bytes before the cards")
        << "csv" << QByteArray("\0\x01\x02\x1A;\r\n", 7) + threeCards()
        << "Line 1: the line stands outside any card and was left out." << 3;
    QTest::newRow("binary blocks beyond the first 64 KB before the cards")
        << "vcf" << binaryBlocks(400, 200) + threeCards() << ": This file is not a vCard or CSV file." << 0;
    // The card's line counts when it starts in the first 64 KB, wherever
    // it ends.
    const auto blocksOf = [](int size) { return binaryBlocks(size / 202 + 1, 200).left(size - 2) + "\r\n"; };
    QTest::newRow("a card whose line starts at the last byte of the first 64 KB")
        << "vcf" << blocksOf(64 * 1024 - 1) + threeCards() << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    QTest::newRow("a card whose line starts at the first byte after 64 KB")
        << "vcf" << blocksOf(64 * 1024) + threeCards() << ": This file is not a vCard or CSV file." << 0;
    // A table's header first: control bytes in its cells are no damage
    // before a card pasted into one.
    QTest::newRow("a table with control bytes in its cells and a card in a cell")
        << "csv"
        << QByteArray("First Name,Notes\r\nAnn,\"tag \x01\x02\x03\x04\x05\x06\x07\x08\x0E\x0F\"\r\n"
                      "Bob,\"pasted:\r\nBEGIN:VCARD\r\nFN:Bob\r\nEND:VCARD\"\r\n")
            + "Cy," + QByteArray("met at the fair; ").repeated(40) + "\r\n"
        << "IDS_SUC_IMPORT_3_CONTACTS_TO_DB" << 3;
    QTest::newRow("a header without rows: no contact, an error")
        << "csv" << QByteArray("First Name,Last Name\r\n") << "No contact was found in this file." << 0;
    QTest::newRow("an empty file: no contacts, an error")
        << "empty" << QByteArray() << "This file is empty: there are no contacts in it." << 0;
    QTest::newRow("an unreadable file is named")
        << "unreadable" << QByteArray() << "could not be read: Permission denied" << 0;
    // What is neither is named so, however it is picked, and nothing of it
    // is read beyond its first megabyte.
    const QString neither = QStringLiteral(": This file is not a vCard or CSV file.");
    QTest::newRow("a picture picked as cards") << "vcf" << testkit::imageBytes(QSize(64, 64), "PNG") << neither << 0;
    QByteArray noise(4096, Qt::Uninitialized);
    for (char& c : noise)
        c = char(QRandomGenerator::global()->bounded(256));
    QTest::newRow("a document picked as a table")
        << "csv"
        << "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Length 4096 /Filter /FlateDecode >>\nstream\n" + noise
            + "\nendstream\nendobj\n%%EOF\n"
        << neither << 0;
    QTest::newRow("a document of text only")
        << "vcf" << QByteArray("%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n")
        << neither << 0;
    QTest::newRow("text full of NULs") << "csv" << QByteArray("First Name,Last Name\r\n" + QByteArray(64, '\0'))
                                       << neither << 0;
    QTest::newRow("200 MB of random bytes") << "large random" << QByteArray() << neither << 0;
    QTest::newRow("a table with a stray NUL in a cell is a table")
        << "csv" << QByteArray("First Name,Notes\r\nAnn,a\0b\r\n", 27) << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    QTest::newRow("a table of one known column is a table")
        << "csv" << QByteArray("Mobile\r\n+1 555 0100\r\n") << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    // Named as cards, a table needs a header that names two known columns.
    QTest::newRow("a table of one known column named as cards is neither")
        << "vcf" << QByteArray("Mobile\r\n+1 555 0100\r\n") << neither << 0;
    QTest::newRow("CSV without a known column is an error")
        << "csv" << QByteArray("Foo,Bar\r\n1,2\r\n") << "This program reads none of the columns of this file."
        << 0;
    // Lines of a card or calendar in a file named as cards are no table,
    // whatever separators they hold; the file holds no card.
    const QString noCard = QStringLiteral("No contact card was found in this file.");
    QTest::newRow("a calendar named as cards")
        << "vcf"
        << QByteArray("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Harbor Software//Planner 3.2//EN\r\n"
                      "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20181201\r\nSUMMARY:Mira's birthday\r\nEND:VEVENT\r\n"
                      "END:VCALENDAR\r\n")
        << noCard << 0;
    QTest::newRow("a calendar line named as cards")
        << "vcf" << QByteArray("DTSTART;TZID=Europe/Berlin:20181201T090000\r\n") << noCard << 0;
    QTest::newRow("stray card properties named as cards")
        << "vcf" << QByteArray("N:Holt;Mira;;;\r\nTEL;TYPE=CELL:+1 555 0142\r\n") << noCard << 0;
    QTest::newRow("stray card properties named as cards, the first cut before its colon")
        << "vcf" << QByteArray("NAME;ARG=\"x\r\n:value\"\r\nTEL;TYPE=CELL:+1 555 0142\r\nNOTE:call after six\r\n")
        << noCard << 0;
    QTest::newRow("a header of one known column and another named as cards is no table")
        << "vcf" << QByteArray("Name;Remarks\r\nAnn Lee;met at the fair\r\n") << noCard << 0;
    QTest::newRow("a table headed by the program's own columns, named as cards")
        << "vcf" << QByteArray("Tel:Mobile,Email:Work\r\n+1 555 0100,desk@x.example\r\n")
        << "IDS_SUC_IMPORT_1_CONTACTS_TO_DB" << 1;
    QTest::newRow("card properties named as a table are a table")
        << "csv" << QByteArray("TEL;TYPE=CELL:+1 555 0142\r\n") << "This program reads none of the columns of this file."
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
    } else if (kind == QLatin1String("large random")) {
        // Random bytes up front, the rest of the 200 MB a hole in the file.
        QByteArray head(1024 * 1024, Qt::Uninitialized);
        for (char& c : head)
            c = char(QRandomGenerator::global()->bounded(256));
        path = writeScratch(*m_dir, head, QStringLiteral("vcf"));
        QVERIFY(QFile::resize(path, qint64(200) * 1024 * 1024));
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

void TestImportContactsToLocalThread::cancelRollsEverythingBack_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("progress"); // reports before the cancel; -1: at once
    QTest::newRow("after two contacts") << threeCards() << 2;
    QTest::newRow("before a large file is counted") << brokenCards(4000, 2000) << -1;
}

void TestImportContactsToLocalThread::cancelRollsEverythingBack()
{
    QFETCH(QByteArray, file);
    QFETCH(int, progress);
    RecordingReporter reporter;
    if (progress < 0)
        reporter.cancel();
    else
        reporter.cancelAfterProgress(progress);
    runImport(writeFile(file), ImportContactsToLocalThread::TYPE_VCARD, reporter);
    QCOMPARE(reporter.endings(), 0);
    QCOMPARE(reporter.progressCount(), qMax(progress, 0));
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
    // Lines that end in CR alone, in 2.1 cards, which are read to their END
    // before their lines are: every line end is looked for within its line.
    const auto endedInCr = [](QByteArray cards) {
        return cards.replace("VERSION:3.0", "VERSION:2.1").replace("\r\n", "\r");
    };
    QTest::newRow("one card of 200,000 phone lines ending in CR alone")
        << endedInCr(card("Doe;John", phones)) << ImportContactsToLocalThread::kMaxEntitiesPerContact
        << "only the first 10000 entries were kept; 190004 more" << false;
    QTest::newRow("20,000 cards of lines ending in CR alone")
        << endedInCr(sameName) << ImportContactsToLocalThread::kMaxEntitiesPerContact
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

// A card with no name, company, number or address is not stored, however
// many entries it holds: its ending says it was left out, not that some of
// its entries were kept.
void TestImportContactsToLocalThread::namelessCardOfManyEntriesIsNotSaidToBeKept()
{
    QByteArray sites = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    for (int i = 0; i <= ImportContactsToLocalThread::kMaxEntitiesPerContact; ++i)
        sites += "URL:https://example.org/" + QByteArray::number(i) + "\r\n";
    sites += "END:VCARD\r\n";
    RecordingReporter reporter;
    runImport(writeFile(sites + card("Doe;John")), ImportContactsToLocalThread::TYPE_VCARD, reporter);
    QCOMPARE(reporter.errors(), QStringList());
    QCOMPARE(reporter.successes().size(), 1);
    QVERIFY2(!reporter.successes().first().contains(QLatin1String("entries were kept")),
             qPrintable(reporter.successes().first()));
    QCOMPARE(countRows(dbPath(), "contact"), 1);
}

// A large file is decoded on several threads, batch by batch: what it
// stores, and everything it reports left out, in order, must be what one
// reader reading every card in turn gives.
void TestImportContactsToLocalThread::readsInLanesAsOneReaderDoes_data()
{
    QTest::addColumn<QByteArray>("file");
    // Cards sharing a name merge in file order, so the order shows in the rows.
    const auto person = [](int i) { return "Name" + QByteArray::number(i % 45) + ";P"; };
    QByteArray clean, many;
    for (int i = 0; i < 150; ++i)
        clean += card(person(i), "EMAIL:p" + QByteArray::number(i % 7) + "@example.org\r\n");
    for (int i = 0; i < 1100; ++i)
        many += card(person(i), "no colon here either\r\n");
    QTest::newRow("clean cards with repeated names") << clean;
    QTest::newRow("problems in cards and between them") << brokenCards(150);
    QTest::newRow("more problems than are listed") << many;
    // Lanes start on the cards of the first megabyte while the rest is
    // still being counted.
    QTest::newRow("a file read while it is counted") << brokenCards(1500, 2000);
    // Greek names in windows-1253 that name no charset: read in the one a
    // card near the end declares, which lanes wait for, or, with none
    // declared, as windows-1252 and named in one problem.
    const auto greek = [](int i) { return "\xCD\xE9\xEA\xEF\xEB\xDC\xEF\xF5" + QByteArray::number(i % 45) + ";\xC5\xEB\xDD\xED\xE7"; };
    QByteArray declaredLate, undeclared;
    for (int i = 0; i < 1500; ++i)
        declaredLate += card(greek(i), "NOTE:" + QByteArray(2000, 'n') + "\r\n");
    declaredLate += card("Last;One", "LABEL;CHARSET=Windows-1253:\xC1\xE8\xDE\xED\xE1\r\n");
    for (int i = 0; i < 150; ++i)
        undeclared += card(greek(i));
    QTest::newRow("8-bit text in the charset a late card declares") << declaredLate;
    QTest::newRow("8-bit text in no declared charset") << undeclared;
    // 2.1 notes cut at 75 octets inside words: the lines whose folds lost
    // their blank are named in one problem.
    QByteArray cut;
    for (int i = 0; i < 150; ++i) {
        QByteArray note = "NOTE:" + QByteArray(70, 'w');
        for (int fold = 0; fold < 5; ++fold)
            note += "\r\n " + QByteArray(74, 'w');
        cut += card(person(i), note + "\r\n").replace("VERSION:3.0", "VERSION:2.1");
    }
    QTest::newRow("cards cut at one width") << cut;
    // Cut at 75 octets with one or two folds a card: only all the file's
    // folds together say so, and lanes that start while the file is still
    // counted read them as one reader does.
    QByteArray cutOnceOrTwice;
    for (int i = 0; i < 1500; ++i) {
        QByteArray note = "NOTE:" + QByteArray(70, 'w') + (i % 2 ? "\r\n " + QByteArray(74, 'w') : QByteArray());
        note += "\r\n " + QByteArray(20 + i % 30, 'w') + "\r\nX-PAD:" + QByteArray(900, 'p') + "\r\n";
        cutOnceOrTwice += card(person(i), note).replace("VERSION:3.0", "VERSION:2.1");
    }
    QTest::newRow("cards cut at one width, once or twice each") << cutOnceOrTwice;
    // An export that puts no line break between its cards, each named in
    // one problem.
    QByteArray joined;
    for (int i = 0; i < 2000; ++i) {
        joined += card(person(i), "NOTE:" + QByteArray(600, 'n') + "\r\n");
        joined.chop(2);
    }
    QTest::newRow("cards with no line break between them, read while counted") << joined;
}

void TestImportContactsToLocalThread::readsInLanesAsOneReaderDoes()
{
    QFETCH(QByteArray, file);
    const QString path = writeFile(file);
    struct Read {
        QStringList contacts;
        QStringList problems;
        ImportProblems whole;
        int count = 0;
        int skipped = 0;
        QList<qint64> skippedLines;
    };
    const auto describe = [](const pim::_Contact& c) {
        QStringList parts { c.fullName };
        for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it)
            parts << QStringLiteral("%1x%2").arg(it.key()).arg(it.value().size());
        return parts.join(QLatin1Char(' '));
    };
    const auto finish = [](Read& read, const VCardImport& reader) {
        read.problems = reader.problems().listed();
        read.whole = reader.problems();
        read.count = reader.problems().count();
        read.skipped = reader.skippedCount();
        read.skippedLines = reader.skippedLineNumbers();
    };

    // One reader, every card in turn, merged in that order by hand.
    Read one;
    QList<pim::_Contact> inOrder;
    {
        VCardImport reader;
        reader.initialize(path);
        while (reader.hasNext()) {
            inOrder << reader.nextContact();
            one.contacts << describe(inOrder.last());
        }
        finish(one, reader);
    }
    QVERIFY(one.contacts.size() > 64);
    // Two lanes taking turns a batch at a time.
    Read lanes;
    {
        VCardImport reader;
        reader.initialize(path);
        std::vector<std::unique_ptr<AbsImport>> parts;
        for (int i = 0; i < 2; ++i)
            parts.push_back(reader.lane(i, 2, 32));
        QVERIFY(parts[0] && parts[1]);
        for (int batch = 0; parts[batch % 2]->hasNext(); ++batch) {
            for (int k = 0; k < 32 && parts[batch % 2]->hasNext(); ++k)
                lanes.contacts << describe(parts[batch % 2]->nextContact());
        }
        reader.gatherLanes({ parts[0].get(), parts[1].get() });
        finish(lanes, reader);
    }
    QCOMPARE(lanes.contacts, one.contacts);
    QCOMPARE(lanes.problems, one.problems);
    QCOMPARE(lanes.count, one.count);
    // The kinds left out and the notices too, as the ending words them.
    const auto cards = ImportContactsToLocalThread::TYPE_VCARD;
    QCOMPARE(ImportContactsToLocalThread::outcome(1, 0, 1, false, lanes.whole, cards).text,
             ImportContactsToLocalThread::outcome(1, 0, 1, false, one.whole, cards).text);
    QCOMPARE(lanes.skipped, one.skipped);
    QCOMPARE(lanes.skippedLines, one.skippedLines);

    // The import thread stores and reports what the one reader's cards,
    // merged in file order, give.
    const QString expectedPath = m_dir->filePath(QStringLiteral("expected.db"));
    int added = 0;
    int merged = 0;
    {
        LocalDb expected(expectedPath, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        expected.create();
        expected.beginImport(inOrder.size());
        for (const pim::_Contact& c : inOrder) {
            if (c.fullName.isEmpty())
                continue;
            bool existed = false;
            expected.mergeContact(c, existed);
            ++(existed ? merged : added);
        }
        expected.endEdit(true);
    }
    RecordingReporter reporter;
    runImport(path, ImportContactsToLocalThread::TYPE_VCARD, reporter);
    QCOMPARE(reporter.successes(),
             QStringList { g_messageText(ImportContactsToLocalThread::outcome(added, merged, int(inOrder.size()), false,
                                                                            one.whole, cards)
                                             .text) });
    for (const char* table : { "contact", "data", "contact_group" }) {
        const QString sql = QStringLiteral("select * from %1 order by _id").arg(QLatin1String(table));
        QCOMPARE(SqlProbe(dbPath()).rows(sql), SqlProbe(expectedPath).rows(sql));
    }
}

// A contact without a name, as a phone's export holds many, is stored
// under the same name from a card as from a table, so the second file
// merges into what the first stored.
void TestImportContactsToLocalThread::namesANamelessContactAlikeFromCardsAndTables_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("name");
    QTest::newRow("a number alone") << QByteArray("TEL;TYPE=CELL:+1 555 0100\r\n")
                                    << QByteArray("Mobile Phone\r\n+1 555 0100\r\n") << "+1 555 0100";
    QTest::newRow("an e-mail address alone") << QByteArray("EMAIL;TYPE=INTERNET:desk@x.example\r\n")
                                             << QByteArray("E-mail Address\r\ndesk@x.example\r\n")
                                             << "desk@x.example";
    QTest::newRow("a company before its number")
        << QByteArray("TEL:+1 555 0199\r\nORG:Acme Taxis;\r\n")
        << QByteArray("Business Phone,Company\r\n+1 555 0199,Acme Taxis\r\n") << "Acme Taxis";
}

void TestImportContactsToLocalThread::namesANamelessContactAlikeFromCardsAndTables()
{
    QFETCH(QByteArray, card);
    QFETCH(QByteArray, table);
    QFETCH(QString, name);
    RecordingReporter first;
    runImport(writeFile("BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\n" + card + "END:VCARD\r\n"),
        ImportContactsToLocalThread::TYPE_VCARD, first);
    QCOMPARE(first.successes(), QStringList { QStringLiteral("IDS_SUC_IMPORT_1_CONTACTS_TO_DB") });
    RecordingReporter second;
    runImport(writeScratch(*m_dir, table, QStringLiteral("csv")), ImportContactsToLocalThread::TYPE_CSV, second);
    QCOMPARE(second.successes(), QStringList { QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_TO_DB_1_MERGED") });
    SqlProbe probe(dbPath());
    QCOMPARE(probe.column(QStringLiteral("select full_name from contact")), QStringList { name });
    // A name that says nothing is not stored as a name entry.
    QCOMPARE(probe.value(QStringLiteral("select count(*) from data where type = 1")).toInt(), 0);
}

// A contact is in one group and has one nickname, and its organisations
// without a company make one with one title: of several that a file names,
// the ending names the one stored and counts the rest.
void TestImportContactsToLocalThread::endingNamesTheGroupAndNicknameTheMergeKeeps_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("titles");
    const QByteArray lund = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Robert Lund\r\nN:Lund;Robert;;;\r\n";
    QTest::newRow("a card of three groups and two nicknames")
        << QByteArray() << lund + "NICKNAME:Bob\r\nNICKNAME:Robbie\r\nCATEGORIES:Family,Friends,Sailing Club\r\nEND:VCARD\r\n"
        << "Sailing Club" << "Robbie"
        << QStringList { "Robert Lund: a contact is in one group, so it was put in \"Sailing Club\"; 2 other groups the "
                         "file names were left out.",
                         "Robert Lund: a contact keeps one nickname, so it keeps \"Robbie\"; 1 other nickname the file "
                         "names was left out." }
        << QStringList();
    QTest::newRow("a table row of two groups")
        << QByteArray() << QByteArray("Name,Given Name,Family Name,Group Membership\r\nAnn Lee,Ann,Lee,Friends ::: Work\r\n")
        << "Work" << QString()
        << QStringList { "Ann Lee: a contact is in one group, so it was put in \"Work\"; 1 other group the file names "
                         "was left out." }
        << QStringList();
    QTest::newRow("merged into a contact of another group and nickname")
        << lund + "NICKNAME:Rob\r\nCATEGORIES:Old Crew\r\nEND:VCARD\r\n"
        << lund + "NICKNAME:Bob\r\nNICKNAME:Robbie\r\nCATEGORIES:Family\r\nCATEGORIES:Friends\r\nEND:VCARD\r\n"
        << "Friends" << "Robbie"
        << QStringList { "Robert Lund: a contact is in one group, so it was put in \"Friends\"; 1 other group the file "
                         "names was left out.",
                         "Robert Lund: a contact keeps one nickname, so it keeps \"Robbie\"; 1 other nickname the file "
                         "names was left out." }
        << QStringList();
    QTest::newRow("a card of two titles without a company")
        << QByteArray() << lund + "TITLE:Mayor\r\nTITLE;LANGUAGE=de:B\xc3\xbcrgermeister\r\nEND:VCARD\r\n"
        << QString() << QString()
        << QStringList { QString::fromUtf8("Robert Lund: a contact keeps one title without a company, so it keeps "
                                           "\"B\xc3\xbcrgermeister\"; 1 other title the file names was left out.") }
        << QStringList { QString::fromUtf8("B\xc3\xbcrgermeister") };
}

void TestImportContactsToLocalThread::endingNamesTheGroupAndNicknameTheMergeKeeps()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, file);
    QFETCH(QString, group);
    QFETCH(QString, nickname);
    QFETCH(QStringList, words);
    QFETCH(QStringList, titles);
    if (!before.isEmpty()) {
        RecordingReporter first;
        runImport(writeFile(before), ImportContactsToLocalThread::TYPE_VCARD, first);
        QCOMPARE(first.successes().size(), 1);
    }
    const bool table = file.startsWith("Name,");
    RecordingReporter reporter;
    runImport(writeScratch(*m_dir, file, table ? QStringLiteral("csv") : QStringLiteral("vcf")),
              table ? ImportContactsToLocalThread::TYPE_CSV : ImportContactsToLocalThread::TYPE_VCARD, reporter);
    QCOMPARE(reporter.successes().size(), 1);
    const QStringList ending = reporter.successes().first().split(QLatin1String("<br/>")).mid(2);
    QCOMPARE(ending, words);
    SqlProbe probe(dbPath());
    QCOMPARE(probe.column(QStringLiteral("select g.name from data d join contact_group g on g._id = d.data1 "
                                         "where d.type = 7")),
             group.isEmpty() ? QStringList() : QStringList { group });
    QCOMPARE(probe.column(QStringLiteral("select data1 from data where type = 5")),
             nickname.isEmpty() ? QStringList() : QStringList { nickname });
    QCOMPARE(probe.column(QStringLiteral("select data4 from data where type = 10")), titles);
}

// A birthday and an anniversary on one day are two dates, from one card
// or from two files; a date whose file named no kind is the same date as
// one of its day that a later file names. Importing every file again
// changes nothing.
void TestImportContactsToLocalThread::keepsADateOfEachKindOnOneDay_data()
{
    QTest::addColumn<QList<QByteArray>>("files");
    QTest::addColumn<QStringList>("dates");
    const auto mira = [](const QByteArray& version, const QByteArray& lines) {
        return "BEGIN:VCARD\r\nVERSION:" + version + "\r\nN:Holt;Mira;;;\r\nFN:Mira Holt\r\n" + lines
            + "END:VCARD\r\n";
    };
    const QString birthday = QStringLiteral("2018-12-01T00:00:00|3|");
    const QString anniversary = QStringLiteral("2018-12-01T00:00:00|1|");
    QTest::newRow("a 4.0 card with both")
        << QList<QByteArray> { mira("4.0", "BDAY:2018-12-01\r\nANNIVERSARY:2018-12-01\r\n") }
        << QStringList { birthday, anniversary };
    QTest::newRow("a 3.0 card with both, the anniversary first")
        << QList<QByteArray> { mira("3.0", "X-ANNIVERSARY:2018-12-01\r\nBDAY:2018-12-01\r\n") }
        << QStringList { anniversary, birthday };
    QTest::newRow("two files, one with each")
        << QList<QByteArray> { mira("3.0", "BDAY:2018-12-01\r\n"), mira("4.0", "ANNIVERSARY:2018-12-01\r\n") }
        << QStringList { birthday, anniversary };
    QTest::newRow("a date of no kind, then a birthday of its day")
        << QList<QByteArray> { mira("3.0", "X-ABDATE:2018-12-01\r\n"), mira("3.0", "BDAY:2018-12-01\r\n") }
        << QStringList { birthday };
}

void TestImportContactsToLocalThread::keepsADateOfEachKindOnOneDay()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QStringList, dates);
    QStringList paths;
    for (const QByteArray& file : files)
        paths << writeFile(file);
    for (const QString& path : paths) {
        RecordingReporter reporter;
        runImport(path, ImportContactsToLocalThread::TYPE_VCARD, reporter);
        QCOMPARE(reporter.successes().size(), 1);
    }
    const QString datesSql = QStringLiteral("select data1||'|'||data2||'|'||data3 from data where type = 6 order by _id");
    QCOMPARE(SqlProbe(dbPath()).column(datesSql), dates);
    const QList<QVariantList> before = SqlProbe(dbPath()).rows(QStringLiteral("select * from data order by _id"));
    for (const QString& path : paths) {
        RecordingReporter again;
        runImport(path, ImportContactsToLocalThread::TYPE_VCARD, again);
        QCOMPARE(again.successes(), QStringList { QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_TO_DB_1_MERGED") });
    }
    QCOMPARE(SqlProbe(dbPath()).rows(QStringLiteral("select * from data order by _id")), before);
}

// The blanks and tabs around the cells of a table and the values of a card
// are nobody's: the rows and cards of one person, with them or without,
// are one contact, its number, e-mail address and address stored once.
void TestImportContactsToLocalThread::mergesOnePersonWhateverBlanksSurroundTheValues_data()
{
    QTest::addColumn<QList<QByteArray>>("files");
    QTest::addColumn<QStringList>("endings");
    const QByteArray header = "First Name,Last Name,E-mail Address,Mobile Phone,Home City\r\n";
    QTest::newRow("two rows of one table, the family name of one after a blank")
        << QList<QByteArray> { header + "Ida,Lindqvist,ida@example.org,555 0100,Uppsala\r\n"
               + "Ida , Lindqvist, ida@example.org ,\t555 0100 ,Uppsala \r\n" }
        << QStringList { QStringLiteral("IDS_SUC_IMPORT_1_CONTACTS_TO_DB_1_MERGED") };
    QTest::newRow("a phone's card with blanks after its values, then a row of a table")
        << QList<QByteArray> { "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lindqvist ;Ida ;;;\r\nFN:Ida Lindqvist \r\n"
                               "TEL;CELL:555 0100 \r\nEMAIL;INTERNET:ida@example.org\t\r\n"
                               "ADR;HOME:;;;Uppsala ;;;\r\nEND:VCARD\r\n",
               header + " Ida, Lindqvist,ida@example.org,555 0100, Uppsala\r\n" }
        << QStringList { QStringLiteral("IDS_SUC_IMPORT_1_CONTACTS_TO_DB"),
               QStringLiteral("IDS_SUC_IMPORT_0_CONTACTS_TO_DB_1_MERGED") };
}

void TestImportContactsToLocalThread::mergesOnePersonWhateverBlanksSurroundTheValues()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QStringList, endings);
    QStringList said;
    for (const QByteArray& file : files) {
        const bool card = file.startsWith("BEGIN:VCARD");
        RecordingReporter reporter;
        runImport(writeScratch(*m_dir, file, card ? QStringLiteral("vcf") : QStringLiteral("csv")),
            card ? ImportContactsToLocalThread::TYPE_VCARD : ImportContactsToLocalThread::TYPE_CSV, reporter);
        said << reporter.successes();
    }
    QCOMPARE(said, endings);
    SqlProbe probe(dbPath());
    QCOMPARE(probe.column(QStringLiteral("select full_name from contact")),
        QStringList { QStringLiteral("Ida Lindqvist") });
    QCOMPARE(probe.column(QStringLiteral("select data2||'|'||data3 from data where type = 1")),
        QStringList { QStringLiteral("Ida|Lindqvist") });
    QCOMPARE(probe.column(
                 QStringLiteral("select type||': '||data1 from data where type in (3, 4, 12) order by type")),
        QStringList({ QStringLiteral("3: 555 0100"), QStringLiteral("4: ida@example.org"),
            QStringLiteral("12: Uppsala") }));
}

// A contact keeps one photo: of those cards of its name bring (a digit
// each, "-" none) after those stored before, it keeps the one read last,
// and the ending counts the others, again when the file is imported again.
void TestImportContactsToLocalThread::endingNamesThePhotosTheMergeLeftOut_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("leftOut");
    QTest::newRow("two cards of one name, each with its photo") << QByteArray() << QByteArray("01") << 1;
    QTest::newRow("the first photo again after a card without one") << QByteArray() << QByteArray("01-0") << 1;
    QTest::newRow("three photos") << QByteArray() << QByteArray("012") << 2;
    QTest::newRow("another photo than the stored one") << QByteArray("0") << QByteArray("1") << 1;
    QTest::newRow("the stored photo again") << QByteArray("0") << QByteArray("0-") << 0;
}

void TestImportContactsToLocalThread::endingNamesThePhotosTheMergeLeftOut()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, file);
    QFETCH(int, leftOut);
    const auto photo = [](char digit) {
        return testkit::imageBytes(QSize(8, 8), "PNG", QColor::fromHsv((digit - '0') * 90, 200, 150));
    };
    const auto cards = [&photo](const QByteArray& photos) {
        QByteArray bytes;
        for (const char digit : photos)
            bytes += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Haddad;Lina;;;\r\n"
                + (digit == '-' ? QByteArray() : "PHOTO;ENCODING=b;TYPE=PNG:" + photo(digit).toBase64() + "\r\n")
                + "END:VCARD\r\n";
        return bytes;
    };
    if (!before.isEmpty()) {
        RecordingReporter first;
        runImport(writeFile(cards(before)), ImportContactsToLocalThread::TYPE_VCARD, first);
    }
    const QString path = writeFile(cards(file));
    const char kept = *std::find_if(file.crbegin(), file.crend(), [](char digit) { return digit != '-'; });
    for (int round = 0; round < 2; ++round) {
        RecordingReporter reporter;
        runImport(path, ImportContactsToLocalThread::TYPE_VCARD, reporter);
        // Imported again, the file holds more than one photo only of its own.
        const int named = round == 0 || before.isEmpty() ? leftOut : 0;
        const QString text = named == 1 ? QStringLiteral("1 other photo was left out.")
                                        : QStringLiteral("%1 other photos were left out.").arg(named);
        QCOMPARE(reporter.successes().first().split(QLatin1String("<br/>")).mid(2),
                 named == 0 ? QStringList()
                            : QStringList { "Lina Haddad: a contact keeps one photo, so it keeps the one read "
                                            "last; " + text });
        QCOMPARE(SqlProbe(dbPath()).column(QStringLiteral("select data4 from data where type = 2")),
                 QStringList { pim::Entity::photoHash(photo(kept)) });
    }
}

// Cards of one name, "|" before each value: t= a mobile, e= an e-mail
// address, a= an assistant's number. Where two share no number or e-mail
// address of their own, the ending names the contact once, however often;
// the file imported again names none.
void TestImportContactsToLocalThread::endingNamesTheMergesByTheNameAlone_data()
{
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<QStringList>("named");
    const QString one
        = QStringLiteral("%1: a contact was merged with the contact of the same name; they share no "
                         "phone number or e-mail address.");
    const QStringList ann { one.arg(QLatin1String("Ann Lee")) };
    QTest::newRow("two mobiles") << QStringList { "Ann Lee|t=+1 555 0101", "Ann Lee|t=+1 555 0102" } << ann;
    QTest::newRow("a mobile and an e-mail address")
        << QStringList { "Ann Lee|t=+1 555 0101", "Ann Lee|e=a@x.example" } << ann;
    QTest::newRow("one mobile of two shared")
        << QStringList { "Ann Lee|t=+1 555 0101|t=+1 555 0102", "Ann Lee|t=+1 555 0102" } << QStringList();
    QTest::newRow("a number with a run of blanks")
        << QStringList { "Ann Lee|t=+1 555 0101", "Ann Lee|t=+1 555  0101" } << QStringList();
    QTest::newRow("a card of no number")
        << QStringList { "Ann Lee|t=+1 555 0101", "Ann Lee" } << QStringList();
    QTest::newRow("an assistant's number alone shared")
        << QStringList { "Ann Lee|e=a@x.example|a=+1 555 0199", "Ann Lee|e=b@x.example|a=+1 555 0199" }
        << ann;
    QTest::newRow("three cards")
        << QStringList { "Ann Lee|t=+1 555 0101", "Ann Lee|t=+1 555 0102", "Ann Lee|e=a@x.example" }
        << QStringList { QStringLiteral("Ann Lee: 2 contacts were merged with the contact of the same name; "
                                        "they share no phone number or e-mail address.") };
}

void TestImportContactsToLocalThread::endingNamesTheMergesByTheNameAlone()
{
    QFETCH(QStringList, file);
    QFETCH(QStringList, named);
    QByteArray cards;
    for (const QString& spec : file) {
        const QStringList values = spec.split(u'|');
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + values.first().section(u' ', 1).toUtf8() + ';'
            + values.first().section(u' ', 0, 0).toUtf8() + ";;;\r\n";
        for (const QString& value : values.mid(1)) {
            const char* kind = value[0] == u't' ? "TEL;TYPE=CELL:"
                : value[0] == u'e'              ? "EMAIL:"
                                                : "X-ASSISTANT-TEL:";
            cards += kind + value.mid(2).toUtf8() + "\r\n";
        }
        cards += "END:VCARD\r\n";
    }
    const QString path = writeFile(cards);
    for (int round = 0; round < 2; ++round) {
        RecordingReporter reporter;
        runImport(path, ImportContactsToLocalThread::TYPE_VCARD, reporter);
        QCOMPARE(reporter.successes().first().split(QLatin1String("<br/>")).mid(2),
            round == 0 ? named : QStringList());
    }
}

MARROWLINK_TEST_PARTS_GUILESS_MAIN(TestImportContactsToLocalThread)
#include "tst_importcontactstolocalthread.moc"
