// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvhelper.h"
#include "fileformats/contactreadahead.h"
#include "fileformats/csv/csvimport.h"
#include "fileformats/export/vcardencoders.h"
#include "fileformats/vcard/vcardimport.h"
#include "scratchfiles.h"
#include "support/testparts.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>

#include <memory>
#include <stdexcept>

class TestFileImport : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void keepsEarlierLoadWhenFileIsUnreadable_data();
    void keepsEarlierLoadWhenFileIsUnreadable();
    void readsCardsAcrossReadWindows();
    void countsTheCardsItReads_data();
    void countsTheCardsItReads();
    void readsHostileCsvShapesInLinearTime_data();
    void readsHostileCsvShapesInLinearTime();
    void readAheadKeepsOrderThenFails();
    void readAheadStopsWhenLeftEarly();
};

namespace {

// Gives contacts "0", "1", ... and throws in place of the one after the last.
class CountingReader : public AbsImport {
public:
    explicit CountingReader(int count)
        : m_count(count)
    {
    }
    void initialize(QString) override { }
    int total() override { return m_count; }
    bool hasNext() override { return m_next <= m_count; }
    pim::_Contact nextContact() override
    {
        if (m_next == m_count)
            throw std::runtime_error("unreadable record");
        return pim::_Contact(0, QString(), QString::number(m_next++));
    }
    void uninitialize() override { }
    int m_next = 0;

private:
    int m_count;
};

} // namespace

void TestFileImport::keepsEarlierLoadWhenFileIsUnreadable_data()
{
    QTest::addColumn<bool>("csv");
    QTest::addColumn<QString>("kind");
    QTest::newRow("CSV: folder instead of a file") << true << "folder";
    QTest::newRow("CSV: file beyond the size bound") << true << "huge";
    QTest::newRow("vCard: missing file") << false << "missing";
}

void TestFileImport::keepsEarlierLoadWhenFileIsUnreadable()
{
    QFETCH(bool, csv);
    QFETCH(QString, kind);
    QString bad = m_dir.filePath(QStringLiteral("bad-%1").arg(kind));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(bad));
    } else if (kind == QLatin1String("huge")) {
        // Sparse: costs no disk space, but its size is past the bound.
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(csvhelper::kMaxFileBytes + 1));
    }

    std::unique_ptr<AbsImport> reader;
    if (csv) {
        reader = std::make_unique<CSVImport>();
        reader->initialize(writeScratch(m_dir, "First Name\nA\nB\n", QStringLiteral("csv")));
    } else {
        reader = std::make_unique<VCardImport>();
        reader->initialize(
            writeScratch(m_dir, "BEGIN:VCARD\r\nN:;A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:;B\r\nEND:VCARD\r\n",
                QStringLiteral("vcf")));
    }
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, reader->initialize(bad));
    QCOMPARE(reader->total(), 2);
    QVERIFY(reader->hasNext());
    QCOMPARE(reader->nextContact().fullName, QStringLiteral("A"));
}

// Cards are read through a window of the file and very large cards past
// it; both must give every card whole, in order. The large card says it is
// 3.0 only after its photo, as address books write it: its name, folded
// before, is unfolded the 3.0 way all the same.
void TestFileImport::readsCardsAcrossReadWindows()
{
    // Noise, so that the picture stays larger than a read window as a PNG.
    QImage noise(720, 720, QImage::Format_RGB32);
    QRandomGenerator rng(131);
    for (int y = 0; y < noise.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            row[x] = rng.generate() | 0xFF000000u;
    }
    QByteArray photo;
    QBuffer buffer(&photo);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && noise.save(&buffer, "PNG"));
    QVERIFY(photo.size() > 1024 * 1024);
    QByteArray file;
    for (int i = 0; i < 3000; ++i) {
        QByteArray body = "N:Family" + QByteArray::number(i) + ";Given\r\nNOTE:" + QByteArray(500, 'x') + "\r\n";
        QByteArray version = "VERSION:" + QByteArray(i % 2 ? "2.1" : "3.0") + "\r\n";
        if (i == 1500) {
            body = "N:Family1500;Giv\r\n en\r\nPHOTO;ENCODING=b:" + VCardEncoders::encodeBase64(photo, 75) + "\r\n"
                + version;
            version.clear();
        }
        file += "BEGIN:VCARD\r\n" + version + body + "END:VCARD\r\n";
    }
    QVERIFY(file.size() > 3 * 1024 * 1024);
    VCardImport reader;
    reader.initialize(writeScratch(m_dir, file, QStringLiteral("vcf")));
    QList<pim::_Contact> contacts;
    while (reader.hasNext())
        contacts.append(reader.nextContact());
    QCOMPARE(contacts.size(), 3000);
    for (int i = 0; i < 3000; ++i)
        QCOMPARE(contacts.at(i).fullName, QStringLiteral("Given Family%1").arg(i));
    QCOMPARE(contacts.at(1500).entities.value(pim::ENTITY_PHOTO).first().fields.value(QStringLiteral("data15")).toByteArray(),
             photo);
    QVERIFY(!contacts.at(1501).entities.contains(pim::ENTITY_PHOTO));
}

void TestFileImport::countsTheCardsItReads_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names"); // of the cards read, in order
    QTest::addColumn<QStringList>("problems");
    const QByteArray agent = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Agent;Al\r\nEND:VCARD\r\n";
    const QByteArray last = "BEGIN:VCARD\r\nN:Last;Lu\r\nEND:VCARD\r\n";
    QTest::newRow("an agent's agent")
        << "BEGIN:VCARD\r\nN:Host;Hu\r\nAGENT:\r\nBEGIN:VCARD\r\nN:Agent;Al\r\nAGENT:\r\n" + agent
            + "END:VCARD\r\nTEL:1\r\nEND:VCARD\r\n" + last
        << QStringList { "Hu Host", "Lu Last" } << QStringList();
    QTest::newRow("an agent's card without END ends at its host's")
        << "BEGIN:VCARD\r\nN:Host;Hu\r\nAGENT:\r\nBEGIN:VCARD\r\nN:Agent;Al\r\nEND:VCARD\r\n" + last
        << QStringList { "Hu Host", "Lu Last" }
        << QStringList { "Line 7: a card begins inside the card of line 1, which has no END; each was read as a "
                         "card of its own." };
    QTest::newRow("damage before, between and after the cards, lines ending in CR")
        << QByteArray("\0\x01\rjunk;\r\x7F\x02:\r", 13) + agent + QByteArray("\x1A\r\0:\r\r\x03\r", 8) + last
            + "\x04:x\rEND:VCARD\r"
        << QStringList { "Al Agent", "Lu Last" }
        << QStringList { "Lines 1-3: the lines stand outside any card and were left out.",
                         "Lines 8-11: the lines stand outside any card and were left out.",
                         "Lines 15-16: the lines stand outside any card and were left out." };
}

// What the count of the cards takes for a card is what the reader reads as
// one, and the lines outside the cards are named once, a stretch as one.
void TestFileImport::countsTheCardsItReads()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    QFETCH(QStringList, problems);
    VCardImport reader;
    reader.initialize(writeScratch(m_dir, file, QStringLiteral("vcf")));
    QCOMPARE(reader.total(), names.size());
    QStringList read;
    while (reader.hasNext())
        read.append(reader.nextContact().fullName);
    QCOMPARE(read, names);
    QCOMPARE(reader.problems().listed(), problems);
}

// Shapes that once made the reader quadratic: a search for the row end
// that ran to the end of the file for every row, and a header whose
// repeated column was joined by copying the growing text.
void TestFileImport::readsHostileCsvShapesInLinearTime_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("noteSize");
    QTest::newRow("3 million short rows ending in CR only")
        << "First Name,Phone\r" + QByteArray("A,1\r").repeated(3000000) << 3000000 << 0;
    // Copied again at each column, a note of 400,000 cells takes ten
    // minutes in a sanitizer build; read once, a few seconds.
    QTest::newRow("a header naming one column 400,000 times")
        << "First Name" + QByteArray(",Notes").repeated(400000) + "\nAnn" + QByteArray(",n").repeated(400000) << 1
        << 2 * 400000 - 1;
}

void TestFileImport::readsHostileCsvShapesInLinearTime()
{
    QFETCH(QByteArray, file);
    QFETCH(int, rows);
    QFETCH(int, noteSize);
    const QString path = writeScratch(m_dir, file, QStringLiteral("csv"));
    QElapsedTimer timer;
    timer.start();
    CSVImport reader;
    reader.initialize(path);
    QCOMPARE(reader.total(), rows);
    const QList<pim::Entity> notes = reader.nextContact().entities.value(pim::ENTITY_NOTES);
    QCOMPARE(notes.isEmpty() ? 0 : int(notes.first().fields.value(QStringLiteral("data1")).toString().size()), noteSize);
    // Not a measure of speed: the header takes eight seconds on a quiet
    // machine in a sanitizer build and a minute or two beside 24 busy loops,
    // while either shape read quadratically runs for ten minutes (the header)
    // or hours (the rows).
    QVERIFY2(timer.elapsed() < 300000, qPrintable(QString::number(timer.elapsed())));
}

void TestFileImport::readAheadKeepsOrderThenFails()
{
    // Several times the read-ahead bound, so the reader waits for room.
    const int count = int(ContactReadAhead::kAhead) * 3 + 5;
    CountingReader reader(count);
    ContactReadAhead records(reader);
    pim::_Contact contact;
    int taken = 0;
    try {
        while (records.next(contact))
            QCOMPARE(contact.fullName, QString::number(taken++));
        QFAIL("the reader's failure was not passed on");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("unreadable record"));
    }
    QCOMPARE(taken, count);
}

void TestFileImport::readAheadStopsWhenLeftEarly()
{
    CountingReader reader(1000000);
    {
        ContactReadAhead records(reader);
        pim::_Contact contact;
        QVERIFY(records.next(contact));
    }
    // The reading thread stopped with the read-ahead, a few batches ahead.
    QVERIFY(reader.m_next <= int(ContactReadAhead::kAhead + 4 * ContactReadAhead::kBatch));
}

MARROWLINK_TEST_PARTS_GUILESS_MAIN(TestFileImport)
#include "tst_fileimport.moc"
