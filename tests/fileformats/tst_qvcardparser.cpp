// SPDX-License-Identifier: GPL-3.0-or-later
#include "qvcardparser.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

namespace {

using Cards = QList<QList<QVCardParser::_Property>>;

// One line per property ("NAME;k=v:value", value bytes escaped), cards
// separated by "--".
QByteArray dump(const Cards& cards)
{
    QByteArray out;
    for (const auto& card : cards) {
        out += "--\n";
        for (const auto& p : card) {
            out += p.name.toLatin1();
            for (auto it = p.params.constBegin(); it != p.params.constEnd(); ++it)
                out += ';' + it.key().toLatin1() + '=' + it.value().toLatin1();
            out += ':';
            for (const char c : p.value) {
                const auto b = static_cast<unsigned char>(c);
                if (b >= 0x20 && b < 0x7F)
                    out += c;
                else
                    out += "\\x" + QByteArray::number(b, 16).rightJustified(2, '0');
            }
            out += '\n';
        }
    }
    return out;
}

QVCardParser::_Property makeProperty(const QByteArray& value, const QMap<QString, QString>& params = {})
{
    QVCardParser::_Property p;
    p.name = QStringLiteral("X");
    p.params = params;
    p.value = value;
    return p;
}

QByteArray randomBytes(QRandomGenerator& rng, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(rng.bounded(256));
    return bytes;
}

// A file of many cards of both versions with every kind of line the
// tokenizer treats specially.
QByteArray mixedFile()
{
    QByteArray file;
    for (int i = 0; i < 40; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (i % 2) {
            file += "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BC=\r\nller;Jo" + n
                + "\r\nTEL;CELL;VOICE:+49 " + n + "\r\nPHOTO;ENCODING=BASE64:\r\n QUJD\r\n RA==\r\n\r\n"
                + "NOTE:a\r\n folded\r\nEND:VCARD\r\n\r\n";
        } else {
            file += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Sm\r\n ith;Ann" + n + ";;;\r\nitem1.EMAIL;type=INTERNET:a" + n
                + "@x.org\r\nitem1.X-ABLabel:Other\r\nNOTE:line\\nnext\\, more\r\nTEL;:broken\r\n"
                + "PHOTO;ENCODING=b;TYPE=JPEG:QUJD\r\n RA==\r\nEND:VCARD\r\n";
        }
    }
    return file;
}

} // namespace

class TestQVCardParser : public QObject {
    Q_OBJECT

private slots:
    void parsesCards_data();
    void parsesCards();
    void wholeAndChunkedParsesAgree_data();
    void wholeAndChunkedParsesAgree();
    void countsSkippedLines();
    void readsUtf16Files_data();
    void readsUtf16Files();
    void decodesCharsets_data();
    void decodesCharsets();
    void splitsComponents_data();
    void splitsComponents();
    void unescapesText_data();
    void unescapesText();
    void encodesQuoted_data();
    void encodesQuoted();
    void encodesBase64_data();
    void encodesBase64();
    void serialisesACard();
    void quotedPrintableRoundTrip_data();
    void quotedPrintableRoundTrip();
    void base64RoundTrip_data();
    void base64RoundTrip();
};

void TestQVCardParser::parsesCards_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("two cards with CRLF")
        << QByteArray("BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n")
        << QByteArray("--\nFN:A\n--\nFN:B\n");
    QTest::newRow("blank CRLF lines between cards")
        << QByteArray("BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n\r\n\r\nBEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n")
        << QByteArray("--\nFN:A\n--\nFN:B\n");
    QTest::newRow("names ignore case")
        << QByteArray("begin:vcard\nfn:A\nTel;type=cell:1\nend:vcard\n")
        << QByteArray("--\nFN:A\nTEL;type=cell:1\n");
    QTest::newRow("group prefix stripped")
        << QByteArray("BEGIN:VCARD\nitem1.EMAIL;type=INTERNET:a@b\nitem1.X-ABLabel:Other\nEND:VCARD\n")
        << QByteArray("--\nEMAIL;type=INTERNET:a@b\nX-ABLABEL:Other\n");
    QTest::newRow("lines outside cards dropped")
        << QByteArray("FN:before\nBEGIN:VCARD\nFN:A\nEND:VCARD\nFN:after\n")
        << QByteArray("--\nFN:A\n");
    QTest::newRow("missing END keeps last card")
        << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B")
        << QByteArray("--\nFN:A\n--\nFN:B\n");
    QTest::newRow("repeated parameter keeps last")
        << QByteArray("BEGIN:VCARD\nTEL;TYPE=home;TYPE=work:1\nEND:VCARD\n")
        << QByteArray("--\nTEL;TYPE=work:1\n");
    QTest::newRow("bare parameters empty")
        << QByteArray("BEGIN:VCARD\nTEL;HOME;VOICE:1\nEND:VCARD\n")
        << QByteArray("--\nTEL;HOME=;VOICE=:1\n");
    QTest::newRow("BEGIN inside a card opens the next")
        << QByteArray("BEGIN:VCARD\nFN:A\nBEGIN:VCARD\nFN:B\nEND:VCARD\nFN:lost\nEND:VCARD\n")
        << QByteArray("--\nFN:A\n--\nFN:B\n");
    QTest::newRow("UTF-8 byte-order mark skipped")
        << QByteArray("\xEF\xBB\xBF" "BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n")
        << QByteArray("--\nFN:A\n--\nFN:B\n");
    QTest::newRow("3.0 unfolds without a blank")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:ab\r\n cd\r\nEND:VCARD\r\n")
        << QByteArray("--\nVERSION:3.0\nNOTE:abcd\n");
    QTest::newRow("2.1 unfolds with a blank")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE:ab\r\n cd\r\nEND:VCARD\r\n")
        << QByteArray("--\nVERSION:2.1\nNOTE:ab cd\n");
    QTest::newRow("version applies to its own card only")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nNOTE:a\n b\nEND:VCARD\nBEGIN:VCARD\nNOTE:a\n b\nEND:VCARD\n")
        << QByteArray("--\nVERSION:4.0\nNOTE:ab\n--\nNOTE:a b\n");
    QTest::newRow("broken line costs only itself")
        << QByteArray("BEGIN:VCARD\nFN:A\nTEL;:1\nEMAIL:a@b\nEND:VCARD\n")
        << QByteArray("--\nFN:A\nEMAIL:a@b\n");
    QTest::newRow("broken base64 drops its property")
        << QByteArray("BEGIN:VCARD\nPHOTO;ENCODING=b:QU*D\nFN:A\nEND:VCARD\n")
        << QByteArray("--\nFN:A\n");
    QTest::newRow("empty value kept empty")
        << QByteArray("BEGIN:VCARD\nNOTE:\nEND:VCARD\n")
        << QByteArray("--\nNOTE:\n");
    QTest::newRow("empty file") << QByteArray() << QByteArray();
}

void TestQVCardParser::parsesCards()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(dump(QVCardParser::parse(input)), expected);
}

void TestQVCardParser::wholeAndChunkedParsesAgree_data()
{
    QTest::addColumn<qsizetype>("chunk");
    QTest::newRow("one byte") << qsizetype(1);
    QTest::newRow("seven bytes") << qsizetype(7);
    QTest::newRow("76 bytes") << qsizetype(76);
    QTest::newRow("4 KiB") << qsizetype(4096);
}

void TestQVCardParser::wholeAndChunkedParsesAgree()
{
    QFETCH(qsizetype, chunk);
    const QByteArray file = mixedFile();
    QVCardParser::ParseStats whole;
    QVCardParser::ParseStats pieces;
    const QByteArray expected = dump(QVCardParser::parse(file, &whole));
    QCOMPARE(dump(QVCardParser::parseChunked(file, chunk, &pieces)), expected);
    QCOMPARE(pieces.skippedLines, whole.skippedLines);
    QCOMPARE(pieces.skippedLineNumbers, whole.skippedLineNumbers);
    QVERIFY(expected.contains("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M\\xc3\\xbcller;Jo1\n"));
    QVERIFY(expected.contains("N:Smith;Ann0;;;\n"));
    QVERIFY(expected.contains("PHOTO;ENCODING=BASE64:ABCD\n"));
}

void TestQVCardParser::countsSkippedLines()
{
    QVCardParser::ParseStats stats;
    const Cards cards = QVCardParser::parse(mixedFile(), &stats);
    QCOMPARE(cards.size(), 40);
    // One "TEL;:" line in each of the 20 3.0 cards, each on line 8 of its
    // card; the first card starts on line 1.
    QCOMPARE(stats.skippedLines, 20);
    QCOMPARE(stats.skippedLineNumbers.first(), qint64(8));
}

void TestQVCardParser::readsUtf16Files_data()
{
    QTest::addColumn<bool>("littleEndian");
    QTest::newRow("UTF-16 LE") << true;
    QTest::newRow("UTF-16 BE") << false;
}

void TestQVCardParser::readsUtf16Files()
{
    QFETCH(bool, littleEndian);
    const QString text = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Zoë 王\r\nEND:VCARD\r\n");
    QStringEncoder encoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                           QStringConverter::Flag::WriteBom);
    const QByteArray file = encoder.encode(text);
    const Cards cards = QVCardParser::parse(file);
    QCOMPARE(cards.size(), 1);
    QCOMPARE(cards.first().at(1).toString(), QStringLiteral("Zoë 王"));
}

void TestQVCardParser::decodesCharsets_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QString key = QStringLiteral("CHARSET");
    QTest::newRow("UTF-8") << key << "UTF-8" << QByteArray("Zo\xC3\xAB") << QStringLiteral("Zoë");
    QTest::newRow("lower-case key") << QStringLiteral("charset") << "utf-8" << QByteArray("Zo\xC3\xAB")
                                    << QStringLiteral("Zoë");
    QTest::newRow("no charset reads UTF-8") << QString() << QString() << QByteArray("Zo\xC3\xAB")
                                            << QStringLiteral("Zoë");
    QTest::newRow("GBK") << key << "GBK" << QByteArray::fromHex("d5c5c8fd") << QStringLiteral("张三");
    QTest::newRow("Shift_JIS") << key << "Shift_JIS" << QByteArray::fromHex("93fa967b") << QStringLiteral("日本");
    QTest::newRow("windows-1252") << key << "windows-1252" << QByteArray::fromHex("636166e92080")
                                  << QStringLiteral("café €");
    QTest::newRow("unknown charset falls back to UTF-8") << key << "X-NO-SUCH" << QByteArray("Zo\xC3\xAB")
                                                         << QStringLiteral("Zoë");
    QTest::newRow("two charsets fall back to UTF-8") << key << "UTF-8,GBK" << QByteArray("Zo\xC3\xAB")
                                                     << QStringLiteral("Zoë");
}

void TestQVCardParser::decodesCharsets()
{
    QFETCH(QString, key);
    QFETCH(QString, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QMap<QString, QString> params;
    if (!key.isEmpty())
        params.insert(key, charset);
    QCOMPARE(makeProperty(bytes, params).toString(), expected);
}

void TestQVCardParser::splitsComponents_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("three") << QByteArray("a;b;c") << QStringList { "a", "b", "c" };
    QTest::newRow("empty middle") << QByteArray("a;;b") << QStringList { "a", "", "b" };
    QTest::newRow("trailing separator") << QByteArray("a;b;") << QStringList { "a", "b" };
    QTest::newRow("leading empties") << QByteArray(";;;;x") << QStringList { "", "", "", "", "x" };
    QTest::newRow("empty value") << QByteArray() << QStringList {};
    QTest::newRow("escaped separator") << QByteArray("a\\;b") << QStringList { "a;b" };
    QTest::newRow("two trailing separators") << QByteArray("a;b;;") << QStringList { "a", "b", "" };
    QTest::newRow("escaped n stays a letter") << QByteArray("a\\nb") << QStringList { "anb" };
}

void TestQVCardParser::splitsComponents()
{
    QFETCH(QByteArray, value);
    QFETCH(QStringList, expected);
    QCOMPARE(makeProperty(value).values(), expected);
}

void TestQVCardParser::unescapesText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("line feed") << "a\\nb" << "a\nb";
    QTest::newRow("capital N line feed") << "a\\Nb" << "a\nb";
    QTest::newRow("comma semicolon backslash") << "a\\,b\\;c\\\\d" << "a,b;c\\d";
    QTest::newRow("unknown escape kept") << "C:\\temp" << "C:\\temp";
    QTest::newRow("trailing backslash kept") << "a\\" << "a\\";
    QTest::newRow("double backslash before n") << "a\\\\nb" << "a\\nb";
}

void TestQVCardParser::unescapesText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(QVCardParser::unescapeText(text), expected);
}

void TestQVCardParser::encodesQuoted_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("UTF-8 e acute") << QByteArray("\xC3\xA9") << 0 << QByteArray("=C3=A9");
    QTest::newRow("blank and equals") << QByteArray("a b=c") << 0 << QByteArray("a=20b=3Dc");
    QTest::newRow("soft breaks every five") << QByteArray(10, 'a') << 8
                                            << QByteArray("aaaaa=\r\n aaaaa=\r\n ");
    QTest::newRow("line ends encoded") << QByteArray("a\r\nb") << 0 << QByteArray("a=0D=0Ab");
    QTest::newRow("tilde plain, DEL encoded") << QByteArray("~\x7F") << 0 << QByteArray("~=7F");
    QTest::newRow("empty") << QByteArray() << 76 << QByteArray();
}

void TestQVCardParser::encodesQuoted()
{
    QFETCH(QByteArray, data);
    QFETCH(int, lineLength);
    QFETCH(QByteArray, expected);
    QCOMPARE(QVCardParser::encodeQuoted(data, lineLength), expected);
}

void TestQVCardParser::encodesBase64_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<QList<int>>("lineSizes");
    QTest::newRow("100 bytes at 75") << 100 << 75 << QList<int> { 75, 61 };
    QTest::newRow("exactly one line") << 54 << 72 << QList<int> { 72 };
    QTest::newRow("empty") << 0 << 75 << QList<int> {};
}

void TestQVCardParser::encodesBase64()
{
    QFETCH(int, size);
    QFETCH(int, lineLength);
    QFETCH(QList<int>, lineSizes);
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 7);
    const QByteArray encoded = QVCardParser::encodeBase64(data, lineLength);
    QList<int> sizes;
    if (!encoded.isEmpty()) {
        for (const QByteArray& line : encoded.split('\n'))
            sizes.append(int(line.size()) - (line.endsWith('\r') ? 1 : 0) - (line.startsWith(' ') ? 1 : 0));
    }
    QCOMPARE(sizes, lineSizes);
    QByteArray joined = encoded;
    joined.replace("\r\n ", "");
    QCOMPARE(QByteArray::fromBase64(joined), data);
}

void TestQVCardParser::serialisesACard()
{
    QVCardParser::_Property tel;
    tel.name = QStringLiteral("TEL");
    tel.params.insert(QStringLiteral("TYPE"), QStringLiteral("cell"));
    tel.value = "123";
    QVCardParser::_Property note;
    note.name = QStringLiteral("NOTE");
    note.params.insert(QStringLiteral("ENCODING"), QStringLiteral("QUOTED-PRINTABLE"));
    note.params.insert(QStringLiteral("CHARSET"), QStringLiteral("UTF-8"));
    note.value = "=C3=A9";
    QCOMPARE(QVCardParser::vcard2Bytes({ tel, note }),
             QByteArray("BEGIN:VCARD\r\nTEL;TYPE=cell:123\r\nNOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=A9\r\n"
                        "END:VCARD\r\n"));
}

void TestQVCardParser::quotedPrintableRoundTrip_data()
{
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("one line, 2.1") << 0 << QByteArray("2.1");
    QTest::newRow("soft breaks at 76, 2.1") << 76 << QByteArray("2.1");
    QTest::newRow("soft breaks at 8, 3.0") << 8 << QByteArray("3.0");
}

void TestQVCardParser::quotedPrintableRoundTrip()
{
    QFETCH(int, lineLength);
    QFETCH(QByteArray, version);
    QRandomGenerator rng(4711u + quint32(lineLength));
    for (int round = 0; round < 200; ++round) {
        const QByteArray data = randomBytes(rng, int(rng.bounded(300)));
        const QByteArray file = "BEGIN:VCARD\r\nVERSION:" + version + "\r\nNOTE;ENCODING=QUOTED-PRINTABLE:"
            + QVCardParser::encodeQuoted(data, lineLength) + "\r\nFN:after\r\nEND:VCARD\r\n";
        const Cards cards = QVCardParser::parse(file);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().size(), 3);
        QCOMPARE(cards.first().at(1).value, data);
        QCOMPARE(cards.first().at(2).value, QByteArray("after"));
    }
}

void TestQVCardParser::base64RoundTrip_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("2.1") << QByteArray("2.1");
    QTest::newRow("3.0") << QByteArray("3.0");
}

void TestQVCardParser::base64RoundTrip()
{
    QFETCH(QByteArray, version);
    QRandomGenerator rng(815u + quint32(version.at(0)));
    for (int round = 0; round < 200; ++round) {
        const QByteArray data = randomBytes(rng, int(rng.bounded(1, 800)));
        const QByteArray file = "BEGIN:VCARD\r\nVERSION:" + version + "\r\nPHOTO;ENCODING=b;TYPE=JPEG:"
            + QVCardParser::encodeBase64(data, 75) + "\r\nFN:after\r\nEND:VCARD\r\n";
        const Cards cards = QVCardParser::parseChunked(file, 1 + qsizetype(rng.bounded(100)));
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().size(), 3);
        QCOMPARE(cards.first().at(1).value, data);
    }
}

QTEST_APPLESS_MAIN(TestQVCardParser)
#include "tst_qvcardparser.moc"
