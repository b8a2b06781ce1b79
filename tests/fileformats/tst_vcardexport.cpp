// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactfixture.h"
#include "vcardexport.h"

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
    QTest::newRow("contact without entities")
        << contact("Ann Lee") << Lines { "FN;CHARSET=UTF-8:Ann Lee" };
    QTest::newRow("non-ASCII full name in UTF-8")
        << contact(QStringLiteral("Zoë 王伟")) << Lines { "FN;CHARSET=UTF-8:Zo\xC3\xAB \xE7\x8E\x8B\xE4\xBC\x9F" };
    QTest::newRow("N in standard order: family first")
        << contact("Dr John Q Smith Jr",
                   { { pim::ENTITY_NAME, entity({ { "data1", "Dr John Q Smith Jr" },
                                                  { "data2", "John" }, { "data3", "Smith" },
                                                  { "data4", "Q" }, { "data5", "Dr" },
                                                  { "data6", "Jr" }, { "data7", "jon" } }) } })
        << Lines { "FN;CHARSET=UTF-8:Dr John Q Smith Jr", "N;CHARSET=UTF-8:Smith;John;Q;Dr;Jr" };
    QTest::newRow("semicolon in first name escaped, in full name not")
        << contact("a;b", { { pim::ENTITY_NAME, entity({ { "data2", "a;b" } }) } })
        << Lines { "FN;CHARSET=UTF-8:a;b", "N;CHARSET=UTF-8:;a\\;b;;;" };
    QTest::newRow("backslash and comma escaped in name components")
        << contact("x", { { pim::ENTITY_NAME,
                            entity({ { "data3", "C:\\dir" }, { "data2", "Smith, Jr" } }) } })
        << Lines { "FN;CHARSET=UTF-8:x", "N;CHARSET=UTF-8:C:\\\\dir;Smith\\, Jr;;;" };
    QTest::newRow("backslash and comma escaped in full name")
        << contact("Smith, J\\B") << Lines { "FN;CHARSET=UTF-8:Smith\\, J\\\\B" };
    QTest::newRow("line feed in full name goes quoted-printable")
        << contact("a\nb") << Lines { "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=0Ab" };
    QTest::newRow("leading blank goes quoted-printable, unescaped")
        << contact(" a,b") << Lines { "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=20a,b" };
    QTest::newRow("line feed in a name component: escaped, then quoted-printable")
        << contact("n", { { pim::ENTITY_NAME, entity({ { "data2", "a;\nb" } }) } })
        << Lines { "FN;CHARSET=UTF-8:n", "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;a\\;=0Ab;;;" };
    QTest::newRow("photo bytes in base64")
        << contact("p", { { pim::ENTITY_PHOTO,
                            entity({ { "data15", QByteArray("\xFF\xD8\xFF\xE0", 4) } }) } })
        << Lines { "FN;CHARSET=UTF-8:p", "PHOTO;ENCODING=B;TYPE=JPEG:/9j/4A==" };

    // The full mapping is proven by the round trip; these are the forms.
    QTest::newRow("phone Home: one TYPE value holding a comma")
        << contact("t", { { pim::ENTITY_PHONE, entity({ { "data1", "1" }, { "data2", 1 }, { "data3", "x" } }) } })
        << Lines { "FN;CHARSET=UTF-8:t", "TEL;TYPE=home,voice:1" };
    QTest::newRow("phone Main has no parameter")
        << contact("t", { { pim::ENTITY_PHONE, entity({ { "data1", "1" }, { "data2", 12 } }) } })
        << Lines { "FN;CHARSET=UTF-8:t", "TEL:1" };
    QTest::newRow("phone number with a leading blank goes quoted-printable")
        << contact("t", { { pim::ENTITY_PHONE, entity({ { "data1", " 555" }, { "data2", 2 } }) } })
        << Lines { "FN;CHARSET=UTF-8:t",
                   "TEL;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=cell:=20555" };
    QTest::newRow("e-mail is internet whatever the sub-type")
        << contact("e", { { pim::ENTITY_EMAIL, entity({ { "data1", "a@b.c" }, { "data2", 2 } }) } })
        << Lines { "FN;CHARSET=UTF-8:e", "EMAIL;TYPE=internet:a@b.c" };
    QTest::newRow("date sub-type 3 is BDAY")
        << contact("d", { { pim::ENTITY_EVENT, entity({ { "data1", "1980-01-15" }, { "data2", 3 } }) } })
        << Lines { "FN;CHARSET=UTF-8:d", "BDAY:1980-01-15" };
    QTest::newRow("date sub-type 1 is an anniversary")
        << contact("d", { { pim::ENTITY_EVENT, entity({ { "data1", "2001-02-03" }, { "data2", 1 } }) } })
        << Lines { "FN;CHARSET=UTF-8:d", "X-EVENT;TYPE=anniversary:2001-02-03" };
    QTest::newRow("date stored as a date-time goes out as ISO text")
        << contact("d", { { pim::ENTITY_EVENT,
                            entity({ { "data1", QDateTime(QDate(1980, 1, 15), QTime(10, 30)) },
                                     { "data2", 3 } }) } })
        << Lines { "FN;CHARSET=UTF-8:d", "BDAY:1980-01-15T10:30:00" };
    QTest::newRow("two groups give two CATEGORIES")
        << contact("g", { { pim::ENTITY_GROUP, entity({ { "data1", 4 }, { "data2", "Family" } }) },
                          { pim::ENTITY_GROUP, entity({ { "data2", "Work, Sales" } }) } })
        << Lines { "FN;CHARSET=UTF-8:g", "CATEGORIES;CHARSET=UTF-8:Family",
                   "CATEGORIES;CHARSET=UTF-8:Work\\, Sales" };
    QTest::newRow("IM with a known protocol")
        << contact("i", { { pim::ENTITY_IM, entity({ { "data1", "me" }, { "data5", 9 }, { "data6", "x" } }) } })
        << Lines { "FN;CHARSET=UTF-8:i", "X-IM;CHARSET=UTF-8;TYPE=netmetting:me" };
    QTest::newRow("several note lines stay one quoted-printable line")
        << contact("n", { { pim::ENTITY_NOTES, entity({ { "data1", QStringLiteral("one\ntwo=é") } }) } })
        << Lines { "FN;CHARSET=UTF-8:n",
                   "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:one=0Atwo=3D=C3=A9" };
    QTest::newRow("organisation with company but no title")
        << contact("o", { { pim::ENTITY_ORG, entity({ { "data1", "Acme; Inc" }, { "data5", "R&D" } }) } })
        << Lines { "FN;CHARSET=UTF-8:o", "TITLE;CHARSET=UTF-8:", "ORG;CHARSET=UTF-8:Acme\\; Inc;R&D;;" };
    QTest::newRow("semicolon in a job title unescaped")
        << contact("o", { { pim::ENTITY_ORG, entity({ { "data4", "Lead;QA" } }) } })
        << Lines { "FN;CHARSET=UTF-8:o", "TITLE;CHARSET=UTF-8:Lead;QA", "ORG;CHARSET=UTF-8:;;;" };
    QTest::newRow("relation sub-type 11")
        << contact("r", { { pim::ENTITY_REL, entity({ { "data1", "Bo" }, { "data2", 11 } }) } })
        << Lines { "FN;CHARSET=UTF-8:r", "X-REL;CHARSET=UTF-8;TYPE=ref:Bo" };
    QTest::newRow("home address, quoted-printable, starts with two empty components")
        << contact("a", { { pim::ENTITY_ADDR,
                            entity({ { "data1", "ignored" }, { "data2", 1 }, { "data4", "1 Main St" },
                                     { "data7", QStringLiteral("Köln") }, { "data8", "NRW" },
                                     { "data9", "50667" }, { "data10", "DE" } }) } })
        << Lines { "FN;CHARSET=UTF-8:a",
                   "ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=home:;;1=20Main=20St;K=C3=B6ln;NRW;50667;DE" };
    QTest::newRow("address sub-type 0 is intl; semicolon in street escaped")
        << contact("a", { { pim::ENTITY_ADDR, entity({ { "data2", 0 }, { "data4", "a;b" } }) } })
        << Lines { "FN;CHARSET=UTF-8:a",
                   "ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=intl:;;a\\;b;;;;" };
    QTest::newRow("website sub-type 0 is other")
        << contact("u", { { pim::ENTITY_URL, entity({ { "data1", "http://x/?a=b,c" }, { "data2", 0 } }) } })
        << Lines { "FN;CHARSET=UTF-8:u", "URL;TYPE=other:http://x/?a=b\\,c" };
    QTest::newRow("types come out in ascending code order, list order within a type")
        << contact("z", { { pim::ENTITY_URL, entity({ { "data1", "u" }, { "data2", 1 } }) },
                          { pim::ENTITY_EMAIL, entity({ { "data1", "e" } }) },
                          { pim::ENTITY_PHONE, entity({ { "data1", "2" }, { "data2", 2 } }) },
                          { pim::ENTITY_PHONE, entity({ { "data1", "1" }, { "data2", 2 } }) } })
        << Lines { "FN;CHARSET=UTF-8:z", "TEL;TYPE=cell:2", "TEL;TYPE=cell:1", "EMAIL;TYPE=internet:e",
                   "URL;TYPE=homepage:u" };
    QTest::newRow("unknown entity types write nothing")
        << contact("k", { { 0, entity({ { "data1", "x" } }) }, { 14, entity({ { "data1", "y" } }) } })
        << Lines { "FN;CHARSET=UTF-8:k" };
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
