// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/qvcardparser.h"
#include "fileformats/vcardencoders.h"

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

} // namespace

class TestQVCardParser : public QObject {
    Q_OBJECT

private slots:
    void parsesCards_data();
    void parsesCards();
    void splitsComponents_data();
    void splitsComponents();
    void readsBackEncodedValues_data();
    void readsBackEncodedValues();
};

void TestQVCardParser::parsesCards_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char* name, const QByteArray& input, const QByteArray& expected) {
        QTest::newRow(name) << input << expected;
    };
    const auto card = [](const QByteArray& body) { return "BEGIN:VCARD\r\n" + body + "END:VCARD\r\n"; };
    QStringEncoder utf16(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom);

    row("blank CRLF lines between cards", card("FN:A\r\n") + "\r\n\r\n" + card("FN:B\r\n"), "--\nFN:A\n--\nFN:B\n");
    row("names ignore case", "begin:vcard\nfn:A\nTel;type=cell:1\nend:vcard\n", "--\nFN:A\nTEL;type=cell:1\n");
    row("group prefix stripped", card("item1.EMAIL;type=INTERNET:a@b\r\nitem1.X-ABLabel:Other\r\n"),
        "--\nEMAIL;type=INTERNET:a@b\nX-ABLABEL:Other\n");
    row("lines outside cards dropped", "FN:before\n" + card("FN:A\r\n") + "FN:after\n", "--\nFN:A\n");
    row("missing END keeps last card", card("FN:A\r\n") + "BEGIN:VCARD\nFN:B", "--\nFN:A\n--\nFN:B\n");
    row("repeated TYPE collects its values", card("TEL;TYPE=home;TYPE=work:1\r\n"), "--\nTEL;TYPE=home,work:1\n");
    row("repeated other parameter keeps last", card("TEL;X-A=1;X-A=2:1\r\n"), "--\nTEL;X-A=2:1\n");
    row("bare parameters empty", card("TEL;HOME;VOICE:1\r\n"), "--\nTEL;HOME=;VOICE=:1\n");
    row("UTF-16 BE file with byte-order mark", utf16.encode(QString::fromUtf8(card("FN:Zo\xC3\xAB \xE7\x8E\x8B\r\n"))),
        "--\nFN:Zo\\xc3\\xab \\xe7\\x8e\\x8b\n");
    row("3.0 unfolds without a blank", card("VERSION:3.0\r\nNOTE:ab\r\n cd\r\n"), "--\nVERSION:3.0\nNOTE:abcd\n");
    row("2.1 unfolds with a blank", card("VERSION:2.1\r\nNOTE:ab\r\n cd\r\n"), "--\nVERSION:2.1\nNOTE:ab cd\n");
    row("version applies to its own card only", card("VERSION:4.0\r\nNOTE:a\r\n b\r\n") + card("NOTE:a\r\n b\r\n"),
        "--\nVERSION:4.0\nNOTE:ab\n--\nNOTE:a b\n");
    row("broken line costs only itself", card("FN:A\r\nTEL;:1\r\nEMAIL:a@b\r\n"), "--\nFN:A\nEMAIL:a@b\n");
    row("empty file", QByteArray(), QByteArray());
}

void TestQVCardParser::parsesCards()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(dump(QVCardParser::parse(input)), expected);
}

void TestQVCardParser::splitsComponents_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("newlineEscapes");
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char* name, const QString& text, bool newlines, const QStringList& expected) {
        QTest::newRow(name) << text << newlines << expected;
    };
    row("empty text has no component", QString(), false, {});
    row("lone separator gives one empty", QStringLiteral(";"), false, { QString() });
    row("empty trailing component left out", QStringLiteral("a;b;"), false, { "a", "b" });
    row("inner and leading empty components kept", QStringLiteral(";a;;c;;"), false, { "", "a", "", "c", "" });
    row("escaped separator stays text", QStringLiteral("a\\;b;c"), false, { "a;b", "c" });
    row("escaped separator then empty end", QStringLiteral("a\\;;"), false, { "a;" });
    row("trailing backslash dropped", QStringLiteral("a;b\\"), false, { "a", "b" });
    row("newline escape kept as letter in 2.1", QStringLiteral("a\\nb;c"), false, { "anb", "c" });
    row("newline escape decoded in 3.0", QStringLiteral("a\\nb;c\\N"), true, { "a\nb", "c\n" });
    row("escaped backslash in 3.0", QStringLiteral("a\\\\n;x"), true, { "a\\n", "x" });
}

// One splitter serves the structured values of the rules and the
// property's own component list.
void TestQVCardParser::splitsComponents()
{
    QFETCH(QString, text);
    QFETCH(bool, newlineEscapes);
    QFETCH(QStringList, expected);
    QCOMPARE(VCardProperty::splitComponents(text, newlineEscapes), expected);
    if (!newlineEscapes)
        QCOMPARE(makeProperty(text.toUtf8()).values(), expected);
}

void TestQVCardParser::readsBackEncodedValues_data()
{
    QTest::addColumn<bool>("base64");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("quoted-printable on one line, 2.1") << false << 0 << QByteArray("2.1");
    QTest::newRow("quoted-printable soft breaks at 76, 2.1") << false << 76 << QByteArray("2.1");
    QTest::newRow("quoted-printable soft breaks at 8, 2.1") << false << 8 << QByteArray("2.1");
    QTest::newRow("base64 folded at 75, 2.1") << true << 75 << QByteArray("2.1");
    QTest::newRow("base64 folded at 75, 3.0") << true << 75 << QByteArray("3.0");
}

// Random bytes through our own encoder and back through the parser, fed in
// random chunks; the property after the value must survive too.
void TestQVCardParser::readsBackEncodedValues()
{
    QFETCH(bool, base64);
    QFETCH(int, lineLength);
    QFETCH(QByteArray, version);
    QRandomGenerator rng(4711u + quint32(lineLength) + quint32(version.at(0)));
    for (int round = 0; round < 200; ++round) {
        const QByteArray data = randomBytes(rng, int(rng.bounded(1, 600)));
        const QByteArray property = base64
            ? "PHOTO;ENCODING=b;TYPE=JPEG:" + VCardEncoders::encodeBase64(data, lineLength)
            : "NOTE;ENCODING=QUOTED-PRINTABLE:" + VCardEncoders::encodeQuoted(data, lineLength);
        const QByteArray file
            = "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + property + "\r\nFN:after\r\nEND:VCARD\r\n";
        const Cards cards = QVCardParser::parseChunked(file, 1 + qsizetype(rng.bounded(100)));
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().size(), 3);
        QCOMPARE(cards.first().at(1).value, data);
        QCOMPARE(cards.first().at(2).value, QByteArray("after"));
    }
}

QTEST_APPLESS_MAIN(TestQVCardParser)
#include "tst_qvcardparser.moc"
