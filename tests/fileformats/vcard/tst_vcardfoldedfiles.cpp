// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardimport.h"
#include "../scratchfiles.h"
#include "syntax/foldedcards.h"
#include "vcardfuzzinput.h"

#include <QTest>

using namespace foldedcards;

namespace {

struct Read {
    QByteArray contacts;
    QStringList ending;
};

Read readFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    VCardImport reader;
    reader.initialize(writeScratch(dir, bytes, QStringLiteral("vcf")));
    Read read;
    while (reader.hasNext())
        read.contacts += vcardfuzz::dumpContact(reader.nextContact());
    read.ending = reader.problems().listed();
    return read;
}

// The file as its writer meant it, every value on one line: each fold's
// blank was the fold's own.
QByteArray joined(const QByteArray& file)
{
    return QByteArray(file).replace("\r\n ", "");
}

bool says(const QStringList& ending, const char* words)
{
    return std::any_of(ending.cbegin(), ending.cend(),
        [words](const QString& text) { return text.contains(QLatin1String(words)); });
}

const char kLinesCut[] = "the writer cut the text at one width, inside words";
const char kFileCut[] = "The file's writer cut its lines at one width";

} // namespace

// Files written by one 2.1 writer, read as the import reads them and set
// against their copy without folds.
class TestVCardFoldedFiles : public QObject {
    Q_OBJECT

private slots:
    void keepsTheBlanksOfAFileFoldedAtThem_data();
    void keepsTheBlanksOfAFileFoldedAtThem();
    void readsAFileCutAtOneWidthWhole_data();
    void readsAFileCutAtOneWidthWhole();
    void judgesEachCardOfAFileOfTwoWriters();
};

void TestVCardFoldedFiles::keepsTheBlanksOfAFileFoldedAtThem_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("mostCut");
    // Lines folded before blanks are of one width only by chance: a few
    // one-card files of three or four folds may look cut, and say so.
    QTest::newRow("one card a file") << 1000 << 1 << 20;
    QTest::newRow("many cards a file") << 50 << 40 << 0;
}

// Each file by a writer of its own width, counted in octets or characters;
// the lines whose folds lost their blank are named in the ending, so a file
// whose ending names none kept every blank.
void TestVCardFoldedFiles::keepsTheBlanksOfAFileFoldedAtThem()
{
    QFETCH(int, files);
    QFETCH(int, cards);
    QFETCH(int, mostCut);
    const QTemporaryDir dir;
    QRandomGenerator rng { quint32(qHash(QByteArray(QTest::currentDataTag()))) };
    int cut = 0;
    for (int f = 0; f < files; ++f) {
        const Writer writer { true, rng.bounded(2) == 0, true };
        const int width = 72 + int(rng.bounded(5));
        QByteArray file;
        for (int c = 0; c < cards; ++c)
            file += makeCard(rng, writer, 2 + int(rng.bounded(5)), file.count('\n') + 1, width).text;
        const Read read = readFile(dir, file);
        const bool readAsCut = says(read.ending, kLinesCut);
        QCOMPARE(says(read.ending, kFileCut), readAsCut);
        cut += readAsCut ? 1 : 0;
    }
    QVERIFY2(cut <= mostCut, qPrintable(QStringLiteral("%1 of %2 files read as cut").arg(cut).arg(files)));
}

void TestVCardFoldedFiles::readsAFileCutAtOneWidthWhole_data()
{
    QTest::addColumn<bool>("characters");
    QTest::addColumn<bool>("blankCounted");
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("fewestFolds");
    QTest::addColumn<int>("moreFolds");
    for (const bool characters : { false, true }) {
        for (const bool blankCounted : { true, false }) {
            const QByteArray writer = QByteArray(characters ? "characters" : "octets")
                + (blankCounted ? ", the blank counted" : ", the blank not counted");
            QTest::newRow("one card of 3 to 9 folds a file, " + writer)
                << characters << blankCounted << 100 << 1 << 3 << 7;
            QTest::newRow("cards of 1 or 2 folds, " + writer)
                << characters << blankCounted << 20 << 12 << 1 << 2;
        }
    }
}

void TestVCardFoldedFiles::readsAFileCutAtOneWidthWhole()
{
    QFETCH(bool, characters);
    QFETCH(bool, blankCounted);
    QFETCH(int, files);
    QFETCH(int, cards);
    QFETCH(int, fewestFolds);
    QFETCH(int, moreFolds);
    const QTemporaryDir dir;
    QRandomGenerator rng { quint32(qHash(QByteArray(QTest::currentDataTag()))) };
    const Writer writer { false, characters, blankCounted };
    for (int f = 0; f < files; ++f) {
        const int width = 72 + int(rng.bounded(5));
        QByteArray file;
        for (int c = 0; c < cards; ++c) {
            const int folds = fewestFolds + int(rng.bounded(quint32(moreFolds)));
            file += makeCard(rng, writer, folds, file.count('\n') + 1, width).text;
        }
        const Read read = readFile(dir, file);
        QVERIFY2(read.contacts == readFile(dir, joined(file)).contacts, file.constData());
        QVERIFY(says(read.ending, kFileCut));
        QVERIFY(says(read.ending, kLinesCut));
    }
}

// Cards cut at one width among cards folded before blanks, as when two
// address books' exports are appended: the folds disagree, so each card
// is judged by its own, and cut cards of five folds or more read whole.
void TestVCardFoldedFiles::judgesEachCardOfAFileOfTwoWriters()
{
    const QTemporaryDir dir;
    QRandomGenerator rng(11);
    for (int f = 0; f < 20; ++f) {
        QByteArray file;
        QByteArray meant;
        for (int c = 0; c < 16; ++c) {
            const bool cut = rng.bounded(2) == 0;
            const Writer writer { !cut, rng.bounded(2) == 0, true };
            const QByteArray text
                = makeCard(rng, writer, (cut ? 5 : 2) + int(rng.bounded(5)), file.count('\n') + 1).text;
            file += text;
            meant += QByteArray(text).replace("\r\n ", cut ? "" : " ");
        }
        const Read read = readFile(dir, file);
        QVERIFY2(read.contacts == readFile(dir, meant).contacts, file.constData());
        QVERIFY(!says(read.ending, kFileCut));
    }
}

QTEST_GUILESS_MAIN(TestVCardFoldedFiles)
#include "tst_vcardfoldedfiles.moc"
