// SPDX-License-Identifier: GPL-3.0-or-later
// The readers take plain runs of bytes (names, parameters, base64 groups,
// unquoted CSV rows) in one piece instead of one byte at a time. These cases
// sit on the edges of those runs, where a byte that must change state could
// be swallowed by a run.
#include "csvimport.h"
#include "qvcardparser.h"
#include "vcardimport.h"
#include "vcardrules.h"
#include "vcardtokenizer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct Trace {
    QByteArray text;
};

void onProp(void* user, const char* name, const char** params)
{
    auto* t = static_cast<Trace*>(user);
    t->text += name;
    for (const char** p = params; p[0]; p += 2) {
        t->text += ';';
        t->text += p[0];
        if (p[1])
            t->text += QByteArray("=") + p[1];
    }
    t->text += ':';
}

void onData(void* user, const char* data, int len)
{
    auto* t = static_cast<Trace*>(user);
    if (data)
        t->text += QByteArray(data, len).toPercentEncoding(" :;=\"\\/+,.");
    else
        t->text += '|';
}

void onError(void* user, long long line)
{
    static_cast<Trace*>(user)->text += '!' + QByteArray::number(line);
}

// The trace of the input fed whole or in pieces of one size.
QByteArray traceOf(const QByteArray& input, int piece)
{
    Trace trace;
    std::unique_ptr<CARD_Parser, decltype(&CARD_ParserFree)> parser(CARD_ParserCreate(), &CARD_ParserFree);
    CARD_SetUserData(parser.get(), &trace);
    CARD_SetPropHandler(parser.get(), &onProp);
    CARD_SetDataHandler(parser.get(), &onData);
    CARD_SetErrorHandler(parser.get(), &onError);
    const int step = piece > 0 ? piece : int(qMax<qsizetype>(1, input.size()));
    for (qsizetype at = 0; at < input.size(); at += step)
        CARD_Parse(parser.get(), input.constData() + at, int(qMin<qsizetype>(step, input.size() - at)), 0);
    CARD_Parse(parser.get(), nullptr, 0, 1);
    return trace.text;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

// Every contact of a CSV file, one line each: name, then type:key=value.
QStringList csvContacts(const QString& path)
{
    CSVImport reader;
    reader.initialize(path);
    QStringList out;
    while (reader.hasNext()) {
        const pim::_Contact contact = reader.nextContact();
        QStringList parts { contact.fullName };
        for (auto type = contact.entities.cbegin(); type != contact.entities.cend(); ++type) {
            for (const pim::Entity& entity : type.value()) {
                for (auto f = entity.fields.cbegin(); f != entity.fields.cend(); ++f)
                    parts << QStringLiteral("%1:%2=%3").arg(type.key()).arg(f.key(), f.value().toString());
            }
        }
        out << parts.join(u'|');
    }
    return out;
}

// The same row with every cell quoted, quotes inside doubled.
QByteArray quoteEveryCell(const QByteArray& line)
{
    QList<QByteArray> cells = line.split(',');
    for (QByteArray& cell : cells)
        cell = '"' + cell.replace("\"", "\"\"") + '"';
    return cells.join(',');
}

} // namespace

class TestParseFastPaths : public QObject {
    Q_OBJECT

private slots:
    void tokenizesRunEdges_data();
    void tokenizesRunEdges();
    void keepsEveryParameterName();
    void scanFollowsSoftBreaks_data();
    void scanFollowsSoftBreaks();
    void splitsComponents_data();
    void splitsComponents();
    void formatsDates_data();
    void formatsDates();
    void readsPlainAndQuotedRowsAlike_data();
    void readsPlainAndQuotedRowsAlike();
    void findsRowEnds_data();
    void findsRowEnds();
};

void TestParseFastPaths::tokenizesRunEdges_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char* name, const QByteArray& input, const QByteArray& expected) {
        QTest::newRow(name) << input << expected;
    };
    row("blank inside a name dropped", "TE L:1\n", "TEL:1|");
    row("CR inside a name dropped", "TE\rL:1\r\n", "TEL:1|");
    row("equals sign belongs to a name", "A=B:1\n", "A=B:1|");
    row("name ends at semicolon", "TEL;HOME:1\n", "TEL;HOME:1|");
    row("parameter name ends at equals", "X;TYPE=a:1\n", "X;TYPE=a:1|");
    row("CR inside a parameter name dropped", "X;TY\rPE=a:1\n", "X;TYPE=a:1|");
    row("backslash escapes a semicolon in a value", "X;P=a\\;b;Q=c:1\n", "X;P=a;b;Q=c:1|");
    row("doubled backslash gives one", "X;P=a\\\\b:1\n", "X;P=a\\b:1|");
    row("backslash before a letter dropped", "X;P=a\\bc:1\n", "X;P=abc:1|");
    row("quote inside an unquoted value kept", "X;P=a\"b:1\n", "X;P=a\"b:1|");
    row("quoted value holds colon, semicolon, backslash", "X;P=\"g:1;2\\3\":v\n", "X;P=\"g:1;2\\3\":v|");
    row("blank inside a quoted value dropped", "X;P=\"a b\":v\n", "X;P=\"ab\":v|");
    row("text after a closing quote", "X;P=\"a\"b;Q=c:v\n", "X;P=\"a\"b;Q=c:v|");
    row("line end inside a parameter drops the line", "X;P=ab\nY:2\n", "!1Y:2|");
    row("CR inside a plain value dropped", "NOTE:a\rb\r\n", "NOTE:ab|");
    row("CR only before line feeds", "NOTE:abc\r\nFN:x\r\n", "NOTE:abc|FN:x|");
    row("base64 whole groups", "P;ENCODING=b:QUJDRA==\n", "P;ENCODING=b:ABCD|");
    row("base64 blank inside a group", "P;ENCODING=b:QU JD\n", "P;ENCODING=b:ABC|");
    row("base64 group over a fold", "P;ENCODING=b:QUJ\r\n DRA==\r\n", "P;ENCODING=b:ABCD|");
    row("base64 bad character drops the line", "P;ENCODING=b:QU*D\nFN:x\n", "P;ENCODING=b:!1FN:x|");
    row("base64 padding mid value", "P;ENCODING=b:QQ==QUJD\n", "P;ENCODING=b:AABC|");
    row("quoted-printable text around escapes", "N;QUOTED-PRINTABLE:ab=3Dcd\n", "N;QUOTED-PRINTABLE:ab=cd|");
    row("quoted-printable soft break", "N;QUOTED-PRINTABLE:ab=\r\ncd\r\n", "N;QUOTED-PRINTABLE:abcd|");
}

// The expected trace whole, and the same trace in pieces of every size up
// to 9, so that runs are cut anywhere.
void TestParseFastPaths::tokenizesRunEdges()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(traceOf(input, 0), expected);
    for (int piece = 1; piece < 10; ++piece)
        QCOMPARE(traceOf(input, piece), expected);
}

// Parameter texts are shared between properties; names that fall on the
// same shared slot must still each keep their own text.
void TestParseFastPaths::keepsEveryParameterName()
{
    QByteArray line = "X-MANY";
    for (int i = 0; i < 600; ++i)
        line += ";P" + QByteArray::number(i) + "=v" + QByteArray::number(i % 7);
    const QByteArray data = "BEGIN:VCARD\nVERSION:3.0\n" + line + ":x\n" + line + ":y\nEND:VCARD\n";
    const auto cards = QVCardParser::parse(data);
    QCOMPARE(cards.size(), 1);
    QCOMPARE(cards.first().size(), 3);
    for (int p = 1; p < 3; ++p) {
        const VCardProperty& property = cards.first().at(p);
        QCOMPARE(property.params.size(), 600);
        for (int i = 0; i < 600; ++i)
            QCOMPARE(property.params.value(QStringLiteral("P%1").arg(i)), QStringLiteral("v%1").arg(i % 7));
    }
}

void TestParseFastPaths::scanFollowsSoftBreaks_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("cards");
    QTest::addColumn<QString>("firstNote");
    QTest::newRow("soft break before a BEGIN line")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:A;B;;;\r\nNOTE;ENCODING=QUOTED-PRINTABLE:x=\r\n"
                      "BEGIN:VCARD\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:C;D;;;\r\nEND:VCARD\r\n")
        << 2 << QStringLiteral("xBEGIN:VCARD");
    QTest::newRow("escape split at a soft break")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:A;B;;;\nNOTE;QUOTED-PRINTABLE:=C3=\n=A9=\nBEGIN:VCARD\nEND:VCARD\n")
        << 1 << QStringLiteral("\u00e9BEGIN:VCARD");
    QTest::newRow("plain value is no soft break")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:A;B;;;\nNOTE:x=\nEND:VCARD\nBEGIN:VCARD\nN:C;;;;\nEND:VCARD\n")
        << 2 << QStringLiteral("x=");
}

// The first pass only looks for card boundaries, without decoding values;
// it must still see where a quoted-printable value goes on.
void TestParseFastPaths::scanFollowsSoftBreaks()
{
    QFETCH(QByteArray, file);
    QFETCH(int, cards);
    QFETCH(QString, firstNote);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    VCardImport reader;
    reader.initialize(writeFile(dir, QStringLiteral("a.vcf"), file));
    QCOMPARE(reader.total(), cards);
    const pim::_Contact first = reader.nextContact();
    QCOMPARE(first.entities.value(pim::ENTITY_NOTES).value(0).fields.value(QStringLiteral("data1")).toString(), firstNote);
}

void TestParseFastPaths::splitsComponents_data()
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
    row("inner empty components kept", QStringLiteral("a;;c;;"), false, { "a", "", "c", "" });
    row("escaped separator stays text", QStringLiteral("a\\;b;c"), false, { "a;b", "c" });
    row("escaped separator then empty end", QStringLiteral("a\\;;"), false, { "a;" });
    row("trailing backslash dropped", QStringLiteral("a;b\\"), false, { "a", "b" });
    row("newline escape kept as letter in 2.1", QStringLiteral("a\\nb;c"), false, { "anb", "c" });
    row("newline escape decoded in 3.0", QStringLiteral("a\\nb;c\\N"), true, { "a\nb", "c\n" });
    row("escaped backslash in 3.0", QStringLiteral("a\\\\n;x"), true, { "a\\n", "x" });
}

// One splitter serves the structured values of the rules and the
// property's own component list.
void TestParseFastPaths::splitsComponents()
{
    QFETCH(QString, text);
    QFETCH(bool, newlineEscapes);
    QFETCH(QStringList, expected);
    QCOMPARE(VCardProperty::splitComponents(text, newlineEscapes), expected);
    if (!newlineEscapes) {
        VCardProperty property;
        property.value = text.toUtf8();
        QCOMPARE(property.values(), expected);
    }
}

void TestParseFastPaths::formatsDates_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("basic date") << "19800115" << "1980-01-15T00:00:00";
    QTest::newRow("first year") << "0001-01-01" << "0001-01-01T00:00:00";
    QTest::newRow("last second of 9999") << "9999-12-31T23:59:59Z" << "9999-12-31T23:59:59";
    QTest::newRow("basic date and time") << "20240229T070809" << "2024-02-29T07:08:09";
    QTest::newRow("invalid day kept as written") << " 2023-02-29 " << "2023-02-29";
}

void TestParseFastPaths::formatsDates()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(vcardrules::dateText(value), expected);
}

void TestParseFastPaths::readsPlainAndQuotedRowsAlike_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QList<QByteArray>>("rows");
    QTest::addColumn<QByteArray>("lineEnd");
    const QByteArray header = "First Name,Last Name,Home Phone,Home Phone 2,Company,Home Street,Home City";
    const QList<QByteArray> rows {
        "Ann,Lee,+1 555 0100,+1 555 0101,Acme,1 Main St,Town",
        ",,,,Solo Corp,,",
        "J\xC3\xBCrgen,M\xC3\xBCller,,030 1234,,Stra\xC3\x9F" "e 5,Berlin",
        "Bo,Ek,1,2,3,4,5,extra,cells",
        "Cy,,,,,,",
    };
    QTest::newRow("LF line ends") << header << rows << QByteArray("\n");
    QTest::newRow("CR LF line ends") << header << rows << QByteArray("\r\n");
    QTest::newRow("lone CR line ends") << header << rows << QByteArray("\r");
}

// Rows without quotes are cut at commas directly; the same rows with every
// cell quoted go through the full scanner and must give the same contacts,
// also for the last row without a line end.
void TestParseFastPaths::readsPlainAndQuotedRowsAlike()
{
    QFETCH(QByteArray, header);
    QFETCH(QList<QByteArray>, rows);
    QFETCH(QByteArray, lineEnd);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray plain = header + lineEnd;
    QByteArray quoted = header + lineEnd;
    for (const QByteArray& row : rows) {
        plain += row + lineEnd;
        quoted += quoteEveryCell(row) + lineEnd;
    }
    plain.chop(lineEnd.size());
    quoted.chop(lineEnd.size());
    const QStringList fromPlain = csvContacts(writeFile(dir, QStringLiteral("plain.csv"), plain));
    QCOMPARE(fromPlain.size(), rows.size());
    QCOMPARE(csvContacts(writeFile(dir, QStringLiteral("quoted.csv"), quoted)), fromPlain);
    QVERIFY(fromPlain.at(0).contains(QStringLiteral("3:data1=+1 555 0101")));
    QVERIFY(fromPlain.at(1).startsWith(QStringLiteral("Solo Corp|")));
    QVERIFY(fromPlain.at(2).startsWith(QStringLiteral("J\u00fcrgen M\u00fcller|")));
}

void TestParseFastPaths::findsRowEnds_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("blank lines between rows")
        << QByteArray("First Name\n\nA\r\n\r\nB\n\n") << QStringList { "A", "B" };
    QTest::newRow("quoted cell holds a line end")
        << QByteArray("First Name,Notes\nA,\"x\ny\"\nB,z\n") << QStringList { "A", "B" };
    QTest::newRow("quote after plain cells")
        << QByteArray("First Name,Notes\nA,\"1\r\n2\"\rB,\n") << QStringList { "A", "B" };
    QTest::newRow("row of commas is no blank line")
        << QByteArray("First Name,Notes\n,\nC,\n") << QStringList { "", "C" };
}

// Rows are located before any is read: plain rows by their first line end,
// rows with quotes by the scanner.
void TestParseFastPaths::findsRowEnds()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CSVImport reader;
    reader.initialize(writeFile(dir, QStringLiteral("rows.csv"), file));
    QCOMPARE(reader.total(), int(names.size()));
    QStringList read;
    while (reader.hasNext())
        read << reader.nextContact().fullName;
    QCOMPARE(read, names);
}

QTEST_GUILESS_MAIN(TestParseFastPaths)
#include "tst_parsefastpaths.moc"
