// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactfixture.h"
#include "fileformats/vcardexport.h"

#include <QDateTime>
#include <QtTest>

using fixture::contact;
using fixture::entity;

using Lines = QList<QByteArray>;

class TestVCardExport : public QObject {
    Q_OBJECT
private slots:
    void shouldWriteTheCardLines_data();
    void shouldWriteTheCardLines();
    void shouldFrameEveryCard();
    void shouldFoldLongLines_data();
    void shouldFoldLongLines();
};

void TestVCardExport::shouldWriteTheCardLines_data()
{
    QTest::addColumn<pim::_Contact>("input");
    QTest::addColumn<Lines>("expected");
    const auto row = [](const char* name, const pim::_Contact& c, const Lines& lines) { QTest::newRow(name) << c << lines; };
    // A contact "x" with one entity, and the line it gives after its FN.
    const auto one = [](const char* name, int type, fixture::Fields fields, const Lines& lines) {
        QTest::newRow(name) << contact("x", { { type, entity(fields) } }) << Lines { "FN;CHARSET=UTF-8:x" } + lines;
    };
    using namespace pim;
    row("non-ASCII full name in UTF-8", contact(QStringLiteral("Zoë 王伟")),
        { "FN;CHARSET=UTF-8:Zo\xC3\xAB \xE7\x8E\x8B\xE4\xBC\x9F" });
    one("N in standard order: family first", ENTITY_NAME,
        { { "data1", "Dr John" }, { "data2", "John" }, { "data3", "Smith" }, { "data4", "Q" }, { "data5", "Dr" },
          { "data6", "Jr" }, { "data7", "jon" } },
        { "N;CHARSET=UTF-8:Smith;John;Q;Dr;Jr" });
    row("semicolon in first name escaped, in full name not", contact("a;b", { { ENTITY_NAME, entity({ { "data2", "a;b" } }) } }),
        { "FN;CHARSET=UTF-8:a;b", "N;CHARSET=UTF-8:;a\\;b;;;" });
    one("backslash and comma escaped in name components", ENTITY_NAME, { { "data3", "C:\\dir" }, { "data2", "Smith, Jr" } },
        { "N;CHARSET=UTF-8:C:\\\\dir;Smith\\, Jr;;;" });
    row("backslash and comma escaped in full name", contact("Smith, J\\B"), { "FN;CHARSET=UTF-8:Smith\\, J\\\\B" });
    row("line feed in full name goes quoted-printable", contact("a\nb"),
        { "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=0Ab" });
    row("leading blank goes quoted-printable, unescaped", contact(" a,b"),
        { "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=20a,b" });
    one("line feed in a name component: escaped, then quoted-printable", ENTITY_NAME, { { "data2", "a;\nb" } },
        { "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;a\\;=0Ab;;;" });
    one("photo bytes in base64", ENTITY_PHOTO, { { "data15", QByteArray("\xFF\xD8\xFF\xE0", 4) } },
        { "PHOTO;ENCODING=B;TYPE=JPEG:/9j/4A==" });
    // The full mapping is proven by the round trip; these are the forms.
    one("phone Home: one TYPE value holding a comma", ENTITY_PHONE, { { "data1", "1" }, { "data2", 1 }, { "data3", "x" } },
        { "TEL;TYPE=home,voice:1" });
    one("phone Main has no parameter", ENTITY_PHONE, { { "data1", "1" }, { "data2", 12 } }, { "TEL:1" });
    one("phone number with a leading blank goes quoted-printable", ENTITY_PHONE, { { "data1", " 555" }, { "data2", 2 } },
        { "TEL;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=cell:=20555" });
    one("e-mail is internet whatever the sub-type", ENTITY_EMAIL, { { "data1", "a@b.c" }, { "data2", 2 } },
        { "EMAIL;TYPE=internet:a@b.c" });
    one("date sub-type 3 is BDAY", ENTITY_EVENT, { { "data1", "1980-01-15" }, { "data2", 3 } }, { "BDAY:1980-01-15" });
    one("date sub-type 1 is an anniversary", ENTITY_EVENT, { { "data1", "2001-02-03" }, { "data2", 1 } },
        { "X-EVENT;TYPE=anniversary:2001-02-03" });
    one("date stored as a date-time goes out as ISO text", ENTITY_EVENT,
        { { "data1", QDateTime(QDate(1980, 1, 15), QTime(10, 30)) }, { "data2", 3 } }, { "BDAY:1980-01-15T10:30:00" });
    row("two groups give two CATEGORIES",
        contact("x", { { ENTITY_GROUP, entity({ { "data1", 4 }, { "data2", "Family" } }) },
                       { ENTITY_GROUP, entity({ { "data2", "Work, Sales" } }) } }),
        { "FN;CHARSET=UTF-8:x", "CATEGORIES;CHARSET=UTF-8:Family", "CATEGORIES;CHARSET=UTF-8:Work\\, Sales" });
    one("IM with a known protocol", ENTITY_IM, { { "data1", "me" }, { "data5", 9 }, { "data6", "x" } },
        { "X-IM;CHARSET=UTF-8;TYPE=netmetting:me" });
    one("several note lines stay one quoted-printable line", ENTITY_NOTES, { { "data1", QStringLiteral("one\ntwo=é") } },
        { "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:one=0Atwo=3D=C3=A9" });
    one("organisation with company but no title", ENTITY_ORG, { { "data1", "Acme; Inc" }, { "data5", "R&D" } },
        { "TITLE;CHARSET=UTF-8:", "ORG;CHARSET=UTF-8:Acme\\; Inc;R&D;;" });
    one("semicolon in a job title unescaped", ENTITY_ORG, { { "data4", "Lead;QA" } },
        { "TITLE;CHARSET=UTF-8:Lead;QA", "ORG;CHARSET=UTF-8:;;;" });
    one("relation sub-type 11", ENTITY_REL, { { "data1", "Bo" }, { "data2", 11 } }, { "X-REL;CHARSET=UTF-8;TYPE=ref:Bo" });
    one("home address, quoted-printable, starts with two empty components", ENTITY_ADDR,
        { { "data1", "ignored" }, { "data2", 1 }, { "data4", "1 Main St" }, { "data7", QStringLiteral("Köln") },
          { "data8", "NRW" }, { "data9", "50667" }, { "data10", "DE" } },
        { "ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=home:;;1=20Main=20St;K=C3=B6ln;NRW;50667;DE" });
    one("address sub-type 0 is intl; semicolon in street escaped", ENTITY_ADDR, { { "data2", 0 }, { "data4", "a;b" } },
        { "ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=intl:;;a\\;b;;;;" });
    one("website sub-type 0 is other", ENTITY_URL, { { "data1", "http://x/?a=b,c" }, { "data2", 0 } },
        { "URL;TYPE=other:http://x/?a=b\\,c" });
    row("types come out in ascending code order, list order within a type",
        contact("z", { { ENTITY_URL, entity({ { "data1", "u" }, { "data2", 1 } }) }, { ENTITY_EMAIL, entity({ { "data1", "e" } }) },
                       { ENTITY_PHONE, entity({ { "data1", "2" }, { "data2", 2 } }) },
                       { ENTITY_PHONE, entity({ { "data1", "1" }, { "data2", 2 } }) } }),
        { "FN;CHARSET=UTF-8:z", "TEL;TYPE=cell:2", "TEL;TYPE=cell:1", "EMAIL;TYPE=internet:e", "URL;TYPE=homepage:u" });
    row("unknown entity types write nothing",
        contact("k", { { 0, entity({ { "data1", "x" } }) }, { 14, entity({ { "data1", "y" } }) } }), { "FN;CHARSET=UTF-8:k" });
}

void TestVCardExport::shouldWriteTheCardLines()
{
    QFETCH(pim::_Contact, input);
    QFETCH(Lines, expected);

    VCardExport writer;
    const Lines lines = fixture::unfoldedLines(writer.ct2Bytes(input));
    QVERIFY(lines.size() >= 3);
    QCOMPARE(lines.first(), QByteArray("BEGIN:VCARD"));
    QCOMPARE(lines.at(1), QByteArray("VERSION:3.0"));
    QCOMPARE(lines.last(), QByteArray("END:VCARD"));
    QCOMPARE(lines.mid(2, lines.size() - 3), expected);
}

// Cards follow one another with nothing around them.
void TestVCardExport::shouldFrameEveryCard()
{
    VCardExport writer;
    QVERIFY(writer.initialize({ contact("a"), contact("b") }).isEmpty());
    QCOMPARE(writer.ct2Bytes(contact("Ann")),
             QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN;CHARSET=UTF-8:Ann\r\nEND:VCARD\r\n"));
    QVERIFY(writer.uninitialize().isEmpty());
}

// Checks the shape of folded bytes and returns what is wrong, empty if fine.
static QString foldingFault(const QByteArray& folded, const QByteArray& original)
{
    QByteArray joined = folded;
    joined.replace("\r\n ", "");
    if (joined != original)
        return QStringLiteral("unfolding does not give the original back");
    const QList<QByteArray> physical = folded.split('\n');
    for (int i = 0; i < physical.size(); ++i) {
        QByteArray line = physical.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > 75)
            return QStringLiteral("line %1 has %2 octets").arg(i + 1).arg(line.size());
        if (QString::fromUtf8(line).toUtf8() != line)
            return QStringLiteral("line %1 splits a UTF-8 sequence").arg(i + 1);
        const bool folded = i + 1 < physical.size() && physical.at(i + 1).startsWith(' ');
        if (folded && (line.endsWith('=') || (line.size() >= 2 && line.at(line.size() - 2) == '=')))
            return QStringLiteral("line %1 splits a quoted-printable code").arg(i + 1);
    }
    return QString();
}

void TestVCardExport::shouldFoldLongLines_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<int>("physicalLines");

    const QByteArray a75(75, 'a');
    QTest::newRow("75 octets stay on one line") << QByteArray(a75 + "\r\n") << 1;
    QTest::newRow("continuation lines hold 74 octets after the blank")
        << QByteArray(a75 + QByteArray(74, 'b') + "c\r\n") << 3;
    QTest::newRow("last line without line end") << QByteArray(a75 + "bb") << 2;
    QTest::newRow("two-byte character across the boundary")
        << QByteArray(QByteArray(74, 'a') + "\xC3\xA9" + "z\r\n") << 2;
    QTest::newRow("four-byte character across the boundary")
        << QByteArray(QByteArray(73, 'a') + "\xF0\x9F\x98\x80" + "z\r\n") << 2;
    QTest::newRow("quoted-printable code across the boundary, = last")
        << QByteArray(QByteArray(74, 'a') + "=0A" + "z\r\n") << 2;
    QTest::newRow("quoted-printable code across the boundary, = second to last")
        << QByteArray(QByteArray(73, 'a') + "=0A" + "z\r\n") << 2;
    QByteArray chinese("FN;CHARSET=UTF-8:");
    for (int i = 0; i < 60; ++i)
        chinese += "\xE7\x8E\x8B";
    QTest::newRow("long run of three-byte characters") << QByteArray(chinese + "\r\n") << 3;
    QByteArray qp("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:");
    for (int i = 0; i < 100; ++i)
        qp += "=C3=A9";
    QTest::newRow("long run of quoted-printable codes") << QByteArray(qp + "\r\n") << 9;
}

void TestVCardExport::shouldFoldLongLines()
{
    QFETCH(QByteArray, card);
    QFETCH(int, physicalLines);

    const QByteArray folded = VCardExport::foldLines(card);
    const QString fault = foldingFault(folded, card);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(int(folded.count('\n') + (folded.endsWith('\n') ? 0 : 1)), physicalLines);
}

QTEST_GUILESS_MAIN(TestVCardExport)
#include "tst_vcardexport.moc"
