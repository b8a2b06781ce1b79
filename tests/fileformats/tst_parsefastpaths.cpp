// SPDX-License-Identifier: GPL-3.0-or-later
// The readers take plain runs of bytes (parameters, card boundaries,
// unquoted CSV rows) in one piece instead of one byte at a time. These cases
// sit on the edges of those runs, where a byte that must change state could
// be swallowed by a run.
#include "fileformats/csvimport.h"
#include "fileformats/qvcardparser.h"
#include "fileformats/vcardimport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

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
    void keepsEveryParameterName();
    void scanFollowsSoftBreaks_data();
    void scanFollowsSoftBreaks();
    void readsPlainAndQuotedRowsAlike_data();
    void readsPlainAndQuotedRowsAlike();
    void findsRowEnds_data();
    void findsRowEnds();
};

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
