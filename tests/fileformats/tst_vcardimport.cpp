// SPDX-License-Identifier: GPL-3.0-or-later
#include "qvcardparser.h"
#include "scratchfiles.h"
#include "vcardimport.h"

#include <QFile>
#include <QStringEncoder>
#include <QTest>

#include <stdexcept>

namespace {

using Fields = QMap<QString, QString>;

// The fields of an entity as text ("data2" -> "3"), for comparing rows.
Fields textOf(const pim::Entity& entity)
{
    Fields out;
    for (auto it = entity.fields.constBegin(); it != entity.fields.constEnd(); ++it)
        out.insert(it.key(), it.value().toString());
    return out;
}

// Folds a logical line at 75 octets the way 3.0 writers do: wherever the
// 75th byte falls, UTF-8 sequences included.
QByteArray fold75(const QByteArray& line)
{
    QByteArray out;
    for (qsizetype at = 0; at < line.size(); at += 75) {
        if (at > 0)
            out += "\r\n ";
        out += line.mid(at, 75);
    }
    return out + "\r\n";
}

QByteArray card(const QByteArray& version, const QByteArray& body)
{
    return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + body + "END:VCARD\r\n";
}

} // namespace

class TestVCardImport : public QObject {
    Q_OBJECT

private:
    ScratchFiles m_dir;

    QString writeFile(const QByteArray& bytes) { return m_dir.write(bytes, QStringLiteral("vcf")); }
    QList<pim::_Contact> readAll(const QByteArray& bytes, int* skipped = nullptr)
    {
        VCardImport reader;
        reader.initialize(writeFile(bytes));
        QList<pim::_Contact> contacts;
        while (reader.hasNext())
            contacts.append(reader.nextContact());
        if (skipped)
            *skipped = reader.skippedCount();
        return contacts;
    }
    // The one contact of a 3.0 card (or of the version given) with this body.
    pim::_Contact readOne(const QByteArray& body, const QByteArray& version = "3.0")
    {
        const QList<pim::_Contact> contacts = readAll(card(version, body));
        if (contacts.size() != 1)
            qFatal("expected one contact");
        return contacts.first();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void countsCards_data();
    void countsCards();
    void failsOnMissingFileAndKeepsEarlierLoad();
    void readsPhoneTypes_data();
    void readsPhoneTypes();
    void readsTypedEntities_data();
    void readsTypedEntities();
    void readsNames_data();
    void readsNames();
    void readsDates_data();
    void readsDates();
    void readsSingleValuedKinds_data();
    void readsSingleValuedKinds();
    void readsOrganizations_data();
    void readsOrganizations();
    void readsAddresses_data();
    void readsAddresses();
    void readsTextEscapes_data();
    void readsTextEscapes();
    void readsPhotos_data();
    void readsPhotos();
    void readsVersion21SampleCard();
    void readsVersion30SampleCard();
    void readsVersion40CardWithFormattedNameOnly();
    void readsFileWithByteOrderMark();
    void keepsEveryCardAroundABrokenLine_data();
    void keepsEveryCardAroundABrokenLine();
    void decodesLegacyCharsets_data();
    void decodesLegacyCharsets();
    void readsCardsAcrossReadWindows();
};

void TestVCardImport::countsCards_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("total");
    const QByteArray three = card("3.0", "N:A;B\r\n") + card("2.1", "N:C;D\r\n") + card("3.0", "N:E;F\r\n");
    QTest::newRow("three cards") << three << 3;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("no BEGIN line") << QByteArray("N:A;B\r\nTEL:1\r\n") << 0;
    QTest::newRow("byte-order mark keeps first card") << QByteArray("\xEF\xBB\xBF") + three << 3;
    QTest::newRow("BEGIN inside a card counts") << QByteArray("BEGIN:VCARD\nN:A\nBEGIN:VCARD\nN:B\nEND:VCARD\n") << 2;
}

void TestVCardImport::countsCards()
{
    QFETCH(QByteArray, file);
    QFETCH(int, total);
    VCardImport reader;
    reader.initialize(writeFile(file));
    QCOMPARE(reader.total(), total);
    for (int i = 0; i < total; ++i) {
        QVERIFY(reader.hasNext());
        reader.nextContact();
    }
    QVERIFY(!reader.hasNext());
    QCOMPARE(reader.total(), total);
}

void TestVCardImport::failsOnMissingFileAndKeepsEarlierLoad()
{
    VCardImport reader;
    reader.initialize(writeFile(card("3.0", "N:Doe;Jane\r\n")));
    const QString missing = m_dir.filePath(QStringLiteral("no-such.vcf"));
    QFile probe(missing);
    QVERIFY(!probe.open(QIODevice::ReadOnly));
    try {
        reader.initialize(missing);
        QFAIL("no exception for a missing file");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), probe.errorString());
    }
    QCOMPARE(reader.total(), 1);
    QVERIFY(reader.hasNext());
    QCOMPARE(reader.nextContact().fullName, QStringLiteral("Jane Doe"));
}

void TestVCardImport::readsPhoneTypes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("type");
    QTest::newRow("cell") << QByteArray("TEL;TYPE=cell:1") << 2;
    QTest::newRow("home,voice") << QByteArray("TEL;TYPE=home,voice:1") << 1;
    QTest::newRow("work,voice") << QByteArray("TEL;TYPE=work,voice:1") << 3;
    QTest::newRow("work,fax") << QByteArray("TEL;TYPE=work,fax:1") << 4;
    QTest::newRow("home,fax") << QByteArray("TEL;TYPE=home,fax:1") << 5;
    QTest::newRow("pager") << QByteArray("TEL;TYPE=pager:1") << 6;
    QTest::newRow("car") << QByteArray("TEL;TYPE=car:1") << 9;
    QTest::newRow("isdn") << QByteArray("TEL;TYPE=isdn:1") << 11;
    QTest::newRow("fax alone") << QByteArray("TEL;TYPE=fax:1") << 13;
    QTest::newRow("no parameter") << QByteArray("TEL:1") << 2;
    QTest::newRow("capitals") << QByteArray("TEL;TYPE=HOME,VOICE:1") << 2;
    QTest::newRow("words swapped") << QByteArray("TEL;TYPE=voice,home:1") << 2;
    QTest::newRow("single word") << QByteArray("TEL;TYPE=home:1") << 2;
    QTest::newRow("longer list") << QByteArray("TEL;TYPE=home,voice,pref:1") << 2;
    QTest::newRow("lower-case parameter name") << QByteArray("TEL;type=fax:1") << 2;
    QTest::newRow("bare markers") << QByteArray("TEL;HOME;VOICE:1") << 2;
    QTest::newRow("repeated TYPE, last wins") << QByteArray("TEL;TYPE=work;TYPE=fax:1") << 13;
    QTest::newRow("blank after comma") << QByteArray("TEL;TYPE=home, voice:1") << 1;
    QTest::newRow("quoted value") << QByteArray("TEL;TYPE=\"home,voice\":1") << 2;
    QTest::newRow("group prefix and lower-case name") << QByteArray("item2.tel;TYPE=car:1") << 9;
}

void TestVCardImport::readsPhoneTypes()
{
    QFETCH(QByteArray, line);
    QFETCH(int, type);
    const pim::_Contact c = readOne(line + "\r\n", "2.1");
    QCOMPARE(c.entities.value(pim::ENTITY_PHONE).size(), 1);
    const pim::Entity phone = c.entities.value(pim::ENTITY_PHONE).first();
    QCOMPARE(phone.fields.value(QStringLiteral("data1")).toString(), QStringLiteral("1"));
    QCOMPARE(phone.fields.value(QStringLiteral("data2")).toInt(), type);
    QVERIFY(!phone.fields.contains(QStringLiteral("data3")));
}

void TestVCardImport::readsTypedEntities_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("entityType");
    QTest::addColumn<Fields>("expected");
    QTest::newRow("e-mail always home") << QByteArray("EMAIL;TYPE=work:a@b.org") << int(pim::ENTITY_EMAIL)
                                        << Fields { { "data1", "a@b.org" }, { "data2", "1" } };
    QTest::newRow("empty e-mail kept") << QByteArray("EMAIL:") << int(pim::ENTITY_EMAIL)
                                       << Fields { { "data1", "" }, { "data2", "1" } };
    QTest::newRow("skype") << QByteArray("X-IM;TYPE=skype:joe") << int(pim::ENTITY_IM)
                           << Fields { { "data1", "joe" }, { "data2", "1" }, { "data5", "4" } };
    QTest::newRow("netmetting as written") << QByteArray("X-IM;TYPE=netmetting:joe") << int(pim::ENTITY_IM)
                                           << Fields { { "data1", "joe" }, { "data2", "1" }, { "data5", "9" } };
    QTest::newRow("unknown protocol has no data5") << QByteArray("X-IM;TYPE=netmeeting:joe") << int(pim::ENTITY_IM)
                                                   << Fields { { "data1", "joe" }, { "data2", "1" } };
    QTest::newRow("protocol in capitals") << QByteArray("X-IM;TYPE=SKYPE:joe") << int(pim::ENTITY_IM)
                                          << Fields { { "data1", "joe" }, { "data2", "1" } };
    QTest::newRow("spouse") << QByteArray("X-REL;TYPE=spouse:Ann") << int(pim::ENTITY_REL)
                            << Fields { { "data1", "Ann" }, { "data2", "14" } };
    QTest::newRow("referred by") << QByteArray("X-REL;TYPE=ref:Ann") << int(pim::ENTITY_REL)
                                 << Fields { { "data1", "Ann" }, { "data2", "11" } };
    QTest::newRow("relation in capitals") << QByteArray("X-REL;TYPE=SPOUSE:Ann") << int(pim::ENTITY_REL)
                                          << Fields { { "data1", "Ann" }, { "data2", "0" } };
    QTest::newRow("homepage") << QByteArray("URL;TYPE=homepage:http://a.b/c;d") << int(pim::ENTITY_URL)
                              << Fields { { "data1", "http://a.b/c;d" }, { "data2", "1" } };
    QTest::newRow("url home is 4") << QByteArray("URL;TYPE=home:x") << int(pim::ENTITY_URL)
                                   << Fields { { "data1", "x" }, { "data2", "4" } };
    QTest::newRow("url ftp") << QByteArray("URL;TYPE=ftp:x") << int(pim::ENTITY_URL)
                             << Fields { { "data1", "x" }, { "data2", "6" } };
    QTest::newRow("url without type") << QByteArray("URL:x") << int(pim::ENTITY_URL)
                                      << Fields { { "data1", "x" }, { "data2", "0" } };
    QTest::newRow("birthday ignores type") << QByteArray("BDAY;TYPE=anniversary:1980-01-15") << int(pim::ENTITY_EVENT)
                                           << Fields { { "data1", "1980-01-15T00:00:00" }, { "data2", "3" } };
    QTest::newRow("anniversary") << QByteArray("X-EVENT;TYPE=anniversary:2001-06-30") << int(pim::ENTITY_EVENT)
                                 << Fields { { "data1", "2001-06-30T00:00:00" }, { "data2", "1" } };
    QTest::newRow("anniversary capitalised is other") << QByteArray("X-EVENT;TYPE=Anniversary:2001-06-30")
                                                      << int(pim::ENTITY_EVENT)
                                                      << Fields { { "data1", "2001-06-30T00:00:00" }, { "data2", "0" } };
    QTest::newRow("event named birthday is other") << QByteArray("X-EVENT;TYPE=birthday:2001-06-30")
                                                   << int(pim::ENTITY_EVENT)
                                                   << Fields { { "data1", "2001-06-30T00:00:00" }, { "data2", "0" } };
}

void TestVCardImport::readsTypedEntities()
{
    QFETCH(QByteArray, line);
    QFETCH(int, entityType);
    QFETCH(Fields, expected);
    // Twice: entities of these kinds are one per property, equal or not.
    const pim::_Contact c = readOne(line + "\r\n" + line + "\r\n", "2.1");
    const QList<pim::Entity> list = c.entities.value(entityType);
    QCOMPARE(list.size(), 2);
    QCOMPARE(textOf(list.at(0)), expected);
    QCOMPARE(textOf(list.at(1)), expected);
}

void TestVCardImport::readsNames_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<Fields>("name");
    QTest::newRow("standard order") << QByteArray("N:Doe;John;;;\r\nFN:John Doe\r\n") << "John Doe"
                                    << Fields { { "data1", "John Doe" }, { "data2", "John" }, { "data3", "Doe" },
                                                { "data4", "" }, { "data5", "" } };
    QTest::newRow("swapped by older builds") << QByteArray("N:John;Doe;;;\r\nFN:John Doe\r\n") << "John Doe"
                                             << Fields { { "data1", "John Doe" }, { "data2", "John" },
                                                         { "data3", "Doe" }, { "data4", "" }, { "data5", "" } };
    QTest::newRow("swap needs a matching FN") << QByteArray("N:John;Doe\r\nFN:Someone\r\n") << "Doe John"
                                              << Fields { { "data1", "Doe John" }, { "data2", "Doe" },
                                                          { "data3", "John" } };
    QTest::newRow("no FN reads standard") << QByteArray("N:John;Doe\r\n") << "Doe John"
                                          << Fields { { "data1", "Doe John" }, { "data2", "Doe" }, { "data3", "John" } };
    QTest::newRow("both readings equal") << QByteArray("N:Ann;Ann\r\nFN:Ann Ann\r\n") << "Ann Ann"
                                         << Fields { { "data1", "Ann Ann" }, { "data2", "Ann" }, { "data3", "Ann" } };
    QTest::newRow("five components") << QByteArray("N:Family;Given;Middle;Dr.;Jr.\r\n") << "Dr. Given Middle Family Jr."
                                     << Fields { { "data1", "Dr. Given Middle Family Jr." }, { "data2", "Given" },
                                                 { "data3", "Family" }, { "data4", "Middle" }, { "data5", "Dr." },
                                                 { "data6", "Jr." } };
    QTest::newRow("later N replaces its parts") << QByteArray("N:A;B\r\nN:Z\r\n") << "B Z"
                                                << Fields { { "data1", "B Z" }, { "data2", "B" }, { "data3", "Z" } };
    QTest::newRow("empty N takes FN") << QByteArray("N:;;;;\r\nFN:  Jane Q  \r\n") << "Jane Q"
                                      << Fields { { "data1", "Jane Q" }, { "data2", "Jane Q" }, { "data3", "" },
                                                  { "data4", "" }, { "data5", "" } };
    QTest::newRow("FN only") << QByteArray("FN:Acme Support\r\nTEL:1\r\n") << "Acme Support"
                             << Fields { { "data1", "Acme Support" }, { "data2", "Acme Support" } };
    QTest::newRow("neither N nor FN") << QByteArray("TEL:1\r\n") << QString() << Fields {};
    QTest::newRow("escaped comma in family name") << QByteArray("N:O\\,Brien;Pat;;;\r\n") << "Pat O,Brien"
                                                  << Fields { { "data1", "Pat O,Brien" }, { "data2", "Pat" },
                                                              { "data3", "O,Brien" }, { "data4", "" }, { "data5", "" } };
    QTest::newRow("escaped separator stays in part") << QByteArray("N:A\\;B;C\r\n") << "C A;B"
                                                     << Fields { { "data1", "C A;B" }, { "data2", "C" },
                                                                 { "data3", "A;B" } };
}

void TestVCardImport::readsNames()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, fullName);
    QFETCH(Fields, name);
    const pim::_Contact c = readOne(body);
    QCOMPARE(c.fullName, fullName);
    const QList<pim::Entity> names = c.entities.value(pim::ENTITY_NAME);
    if (name.isEmpty()) {
        QVERIFY(names.isEmpty());
        return;
    }
    QCOMPARE(names.size(), 1);
    QCOMPARE(textOf(names.first()), name);
}

void TestVCardImport::readsDates_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("extended date") << QByteArray("1980-01-15") << "1980-01-15T00:00:00";
    QTest::newRow("extended date and time") << QByteArray("1980-01-15T10:30:00") << "1980-01-15T10:30:00";
    QTest::newRow("extended with Z") << QByteArray("1980-01-15T10:30:00Z") << "1980-01-15T10:30:00";
    QTest::newRow("basic date") << QByteArray("19800115") << "1980-01-15T00:00:00";
    QTest::newRow("basic date and time") << QByteArray("19800115T103000") << "1980-01-15T10:30:00";
    QTest::newRow("basic with Z") << QByteArray("19800115T103000Z") << "1980-01-15T10:30:00";
    QTest::newRow("basic without seconds") << QByteArray("19800115T1030Z") << "1980-01-15T10:30:00";
    QTest::newRow("extended with fraction and offset") << QByteArray("1980-01-15T10:30:00.250+01:00")
                                                       << "1980-01-15T10:30:00";
    QTest::newRow("time out of range kept as written") << QByteArray("1980-01-15T25:00:00") << "1980-01-15T25:00:00";
    QTest::newRow("trailing garbage kept as written") << QByteArray("1980-01-15x") << "1980-01-15x";
    QTest::newRow("surrounding blanks trimmed") << QByteArray("  1980-01-15 ") << "1980-01-15T00:00:00";
    QTest::newRow("no year kept as written") << QByteArray("--0415") << "--0415";
    QTest::newRow("impossible day kept as written") << QByteArray("1980-02-30") << "1980-02-30";
    QTest::newRow("empty") << QByteArray("") << "";
}

void TestVCardImport::readsDates()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, stored);
    const pim::_Contact c = readOne("N:A;B\r\nBDAY:" + value + "\r\n");
    const QList<pim::Entity> dates = c.entities.value(pim::ENTITY_EVENT);
    QCOMPARE(dates.size(), 1);
    QCOMPARE(dates.first().fields.value(QStringLiteral("data1")).toString(), stored);
    QCOMPARE(dates.first().fields.value(QStringLiteral("data2")).toInt(), 3);
}

void TestVCardImport::readsSingleValuedKinds_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("entityType");
    QTest::addColumn<QString>("key");
    QTest::newRow("nickname") << QByteArray("NICKNAME") << int(pim::ENTITY_NICKNAME) << "data1";
    QTest::newRow("note") << QByteArray("NOTE") << int(pim::ENTITY_NOTES) << "data1";
    QTest::newRow("categories") << QByteArray("CATEGORIES") << int(pim::ENTITY_GROUP) << "data2";
}

void TestVCardImport::readsSingleValuedKinds()
{
    QFETCH(QByteArray, name);
    QFETCH(int, entityType);
    QFETCH(QString, key);
    const pim::_Contact c = readOne(name + ":first\r\n" + name + ":second,more;x\r\n", "2.1");
    const QList<pim::Entity> list = c.entities.value(entityType);
    QCOMPARE(list.size(), 1);
    QCOMPARE(textOf(list.first()), Fields({ { key, "second,more;x" } }));
}

void TestVCardImport::readsOrganizations_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Fields>("expected");
    QTest::newRow("three components") << QByteArray("ORG:Acme;Sales;Dropped\r\n")
                                      << Fields { { "data1", "Acme" }, { "data5", "Sales" } };
    QTest::newRow("one component keeps department") << QByteArray("ORG:Acme;Sales\r\nORG:Other\r\n")
                                                    << Fields { { "data1", "Other" }, { "data5", "Sales" } };
    QTest::newRow("leading separator") << QByteArray("ORG:;Sales\r\n") << Fields { { "data1", "" }, { "data5", "Sales" } };
    QTest::newRow("empty value still makes the entity") << QByteArray("ORG:\r\n") << Fields {};
    QTest::newRow("own export form") << QByteArray("ORG:Acme;Sales;;\r\n")
                                     << Fields { { "data1", "Acme" }, { "data5", "Sales" } };
    QTest::newRow("escaped separator") << QByteArray("ORG:A\\;B;C\r\n") << Fields { { "data1", "A;B" }, { "data5", "C" } };
    QTest::newRow("title first then org") << QByteArray("TITLE:Boss\r\nORG:Acme;Sales\r\n")
                                          << Fields { { "data1", "Acme" }, { "data4", "Boss" }, { "data5", "Sales" } };
}

void TestVCardImport::readsOrganizations()
{
    QFETCH(QByteArray, body);
    QFETCH(Fields, expected);
    const pim::_Contact c = readOne(body, "2.1");
    QCOMPARE(c.entities.value(pim::ENTITY_ORG).size(), 1);
    QCOMPARE(textOf(c.entities.value(pim::ENTITY_ORG).first()), expected);
}

void TestVCardImport::readsAddresses_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Fields>("expected");
    QTest::newRow("full home address")
        << QByteArray("ADR;TYPE=home:;;S;T;R;P;N")
        << Fields { { "data1", "S\nT, R P\nN" }, { "data2", "1" }, { "data4", "S" }, { "data7", "T" },
                    { "data8", "R" }, { "data9", "P" }, { "data10", "N" } };
    QTest::newRow("work") << QByteArray("ADR;TYPE=work:;;S") << Fields { { "data1", "S" }, { "data2", "2" }, { "data4", "S" } };
    QTest::newRow("intl is other") << QByteArray("ADR;TYPE=intl:;;S") << Fields { { "data1", "S" }, { "data2", "0" }, { "data4", "S" } };
    QTest::newRow("capitals are other") << QByteArray("ADR;TYPE=HOME:;;S") << Fields { { "data1", "S" }, { "data2", "0" }, { "data4", "S" } };
    QTest::newRow("bare marker is other") << QByteArray("ADR;HOME:;;S") << Fields { { "data1", "S" }, { "data2", "0" }, { "data4", "S" } };
    QTest::newRow("four components") << QByteArray("ADR:;;S;T")
                                     << Fields { { "data1", "S\nT" }, { "data2", "0" }, { "data4", "S" }, { "data7", "T" } };
    QTest::newRow("trailing separator leaves country absent")
        << QByteArray("ADR:;;S;T;R;P;")
        << Fields { { "data1", "S\nT, R P" }, { "data2", "0" }, { "data4", "S" }, { "data7", "T" }, { "data8", "R" }, { "data9", "P" } };
    QTest::newRow("box and extended dropped")
        << QByteArray("ADR:B;X;S;T;R;P;N;extra")
        << Fields { { "data1", "S\nT, R P\nN" }, { "data2", "0" }, { "data4", "S" }, { "data7", "T" },
                    { "data8", "R" }, { "data9", "P" }, { "data10", "N" } };
    QTest::newRow("empty address") << QByteArray("ADR:") << Fields { { "data1", "" }, { "data2", "0" } };
    QTest::newRow("postcode and country only")
        << QByteArray("ADR:;;;;;P;N") << Fields { { "data1", "N" }, { "data2", "0" }, { "data4", "" }, { "data7", "" },
                                                  { "data8", "" }, { "data9", "P" }, { "data10", "N" } };
    QTest::newRow("backslashes in components")
        << QByteArray("ADR:;;a\\;b\\,c\\nd") << Fields { { "data1", "a;b,cnd" }, { "data2", "0" }, { "data4", "a;b,cnd" } };
}

void TestVCardImport::readsAddresses()
{
    QFETCH(QByteArray, line);
    QFETCH(Fields, expected);
    const pim::_Contact c = readOne(line + "\r\n", "2.1");
    QCOMPARE(c.entities.value(pim::ENTITY_ADDR).size(), 1);
    QCOMPARE(textOf(c.entities.value(pim::ENTITY_ADDR).first()), expected);
}

void TestVCardImport::readsTextEscapes_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("note");
    QTest::newRow("3.0 escapes decoded") << QByteArray("3.0") << QByteArray("NOTE:a\\nb\\, c\\; d\\\\e") << "a\nb, c; d\\e";
    QTest::newRow("4.0 escapes decoded") << QByteArray("4.0") << QByteArray("NOTE:a\\Nb") << "a\nb";
    QTest::newRow("2.1 keeps backslashes") << QByteArray("2.1") << QByteArray("NOTE:a\\nb") << "a\\nb";
    QTest::newRow("quoted-printable not unescaped") << QByteArray("3.0")
                                                    << QByteArray("NOTE;ENCODING=QUOTED-PRINTABLE:a\\n=0Ab") << "a\\n\nb";
}

void TestVCardImport::readsTextEscapes()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, line);
    QFETCH(QString, note);
    const pim::_Contact c = readOne(line + "\r\n", version);
    QCOMPARE(c.entities.value(pim::ENTITY_NOTES).first().fields.value(QStringLiteral("data1")).toString(), note);
}

void TestVCardImport::readsPhotos_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("base64") << QByteArray("PHOTO;ENCODING=b;TYPE=JPEG:QUJD\r\n") << QByteArray("ABC");
    QTest::newRow("second photo wins") << QByteArray("PHOTO;ENCODING=b:QUJD\r\nPHOTO;ENCODING=b:REVG\r\n") << QByteArray("DEF");
    QTest::newRow("4.0 data URI") << QByteArray("PHOTO:data:image/jpeg;base64,QUJD\r\n") << QByteArray("ABC");
    QTest::newRow("reference kept as text") << QByteArray("PHOTO;VALUE=uri:http://x/y.jpg\r\n")
                                            << QByteArray("http://x/y.jpg");
}

void TestVCardImport::readsPhotos()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, bytes);
    const pim::_Contact c = readOne(body);
    QCOMPARE(c.entities.value(pim::ENTITY_PHOTO).size(), 1);
    const pim::Entity photo = c.entities.value(pim::ENTITY_PHOTO).first();
    QCOMPARE(photo.fields.value(QStringLiteral("data15")).toByteArray(), bytes);
    QCOMPARE(photo.fields.size(), 1);
}

void TestVCardImport::readsVersion21SampleCard()
{
    const QByteArray file = "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=\r\n=BCrgen;;;\r\n"
                            "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\r\n"
                            "TEL;CELL;VOICE:+49 30 1234\r\n"
                            "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:first line=0D=0Asecond line goes on and =\r\n"
                            "on=\r\n"
                            " and ends.\r\n"
                            "END:VCARD\r\n";
    const QList<pim::_Contact> contacts = readAll(file);
    QCOMPARE(contacts.size(), 1);
    const pim::_Contact& c = contacts.first();
    QCOMPARE(c.fullName, QStringLiteral("Jürgen Müller"));
    QCOMPARE(c.entities.value(pim::ENTITY_PHONE).first().fields.value(QStringLiteral("data2")).toInt(), 2);
    QCOMPARE(c.entities.value(pim::ENTITY_NOTES).first().fields.value(QStringLiteral("data1")).toString(),
             QStringLiteral("first line\r\nsecond line goes on and onand ends."));
}

void TestVCardImport::readsVersion30SampleCard()
{
    const QByteArray note = "NOTE:" + QStringLiteral("Écrit à Zürich — 王伟, 李娜; line\\none ").repeated(4).toUtf8();
    const QByteArray file = "BEGIN:VCARD\r\nVERSION:3.0\r\n"
        + fold75("N:" + QStringLiteral("Søndergård-Østerbø;Åsa Æbeltoft;;;").toUtf8())
        + fold75("FN:" + QStringLiteral("Åsa Æbeltoft Søndergård-Østerbø").toUtf8()) + fold75(note)
        + "item1.EMAIL;type=INTERNET:asa@example.org\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"
        + "item2.tel;type=CELL:+45 1234\r\nEND:VCARD\r\n";
    // The sample is only worth its name if a fold splits a character.
    bool splitsCharacter = false;
    for (qsizetype at = file.indexOf("\r\n "); at >= 0; at = file.indexOf("\r\n ", at + 1))
        splitsCharacter |= at + 3 < file.size() && (static_cast<unsigned char>(file.at(at + 3)) & 0xC0) == 0x80;
    QVERIFY(splitsCharacter);
    const QList<pim::_Contact> contacts = readAll(file);
    QCOMPARE(contacts.size(), 1);
    const pim::_Contact& c = contacts.first();
    QCOMPARE(c.fullName, QStringLiteral("Åsa Æbeltoft Søndergård-Østerbø"));
    QCOMPARE(c.entities.value(pim::ENTITY_NOTES).first().fields.value(QStringLiteral("data1")).toString(),
             QStringLiteral("Écrit à Zürich — 王伟, 李娜; line\none ").repeated(4));
    QCOMPARE(c.entities.value(pim::ENTITY_EMAIL).size(), 1);
    QCOMPARE(c.entities.value(pim::ENTITY_PHONE).size(), 1);
    QCOMPARE(c.entities.value(pim::ENTITY_PHONE).first().fields.value(QStringLiteral("data1")).toString(),
             QStringLiteral("+45 1234"));
}

void TestVCardImport::readsVersion40CardWithFormattedNameOnly()
{
    const QList<pim::_Contact> contacts
        = readAll("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Dr. Jane Roe\r\nEMAIL:jane@example.org\r\nEND:VCARD\r\n");
    QCOMPARE(contacts.size(), 1);
    QCOMPARE(contacts.first().fullName, QStringLiteral("Dr. Jane Roe"));
    QCOMPARE(contacts.first().entities.value(pim::ENTITY_EMAIL).size(), 1);
}

void TestVCardImport::readsFileWithByteOrderMark()
{
    const QByteArray body = card("3.0", "N:Roe;Jane\r\n") + card("3.0", "N:Doe;John\r\n");
    const QList<pim::_Contact> plain = readAll("\xEF\xBB\xBF" + body);
    QCOMPARE(plain.size(), 2);
    QCOMPARE(plain.first().fullName, QStringLiteral("Jane Roe"));
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const QList<pim::_Contact> wide = readAll(encoder.encode(QString::fromUtf8(body)));
    QCOMPARE(wide.size(), 2);
    QCOMPARE(wide.last().fullName, QStringLiteral("John Doe"));
}

void TestVCardImport::keepsEveryCardAroundABrokenLine_data()
{
    QTest::addColumn<QByteArray>("brokenLine");
    QTest::addColumn<int>("skipped");
    QTest::newRow("empty parameter name") << QByteArray("TEL;:1\r\n") << 1;
    QTest::newRow("empty parameter value") << QByteArray("TEL;TYPE=:1\r\n") << 1;
    QTest::newRow("bad base64") << QByteArray("PHOTO;ENCODING=b:@@@@\r\n") << 1;
    QTest::newRow("line without colon") << QByteArray("this is not a property\r\n") << 1;
    QTest::newRow("parameters cut by line end") << QByteArray("TEL;TYPE=HOME\r\n") << 1;
}

void TestVCardImport::keepsEveryCardAroundABrokenLine()
{
    QFETCH(QByteArray, brokenLine);
    QFETCH(int, skipped);
    QByteArray file;
    for (int i = 1; i <= 5; ++i) {
        const QByteArray n = QByteArray::number(i);
        file += card("3.0", "N:Family" + n + ";Given" + n + "\r\n" + (i == 2 ? brokenLine : QByteArray())
                                + "TEL:" + n + "\r\n");
    }
    int skippedLines = 0;
    const QList<pim::_Contact> contacts = readAll(file, &skippedLines);
    QCOMPARE(contacts.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(contacts.at(i).fullName, QStringLiteral("Given%1 Family%1").arg(i + 1));
        QCOMPARE(contacts.at(i).entities.value(pim::ENTITY_PHONE).size(), 1);
    }
    QCOMPARE(skippedLines, skipped);
}

void TestVCardImport::decodesLegacyCharsets_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("GBK") << QByteArray("GBK") << QByteArray::fromHex("d5c5c8fd") << QStringLiteral("张三");
    QTest::newRow("Shift_JIS") << QByteArray("Shift_JIS") << QByteArray::fromHex("93fa967b") << QStringLiteral("日本");
    QTest::newRow("windows-1252") << QByteArray("windows-1252") << QByteArray::fromHex("636166e92080")
                                  << QStringLiteral("café €");
}

void TestVCardImport::decodesLegacyCharsets()
{
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    // Twice on one reader: the second card goes through the cached decoder.
    const QByteArray one = card("2.1", "N;CHARSET=" + charset + ":" + bytes + "\r\nNOTE;CHARSET=" + charset
                                           + ";ENCODING=QUOTED-PRINTABLE:" + QVCardParser::encodeQuoted(bytes, 0) + "\r\n");
    const QList<pim::_Contact> contacts = readAll(one + one);
    QCOMPARE(contacts.size(), 2);
    for (const pim::_Contact& c : contacts) {
        QCOMPARE(c.entities.value(pim::ENTITY_NAME).first().fields.value(QStringLiteral("data3")).toString(), text);
        QCOMPARE(c.entities.value(pim::ENTITY_NOTES).first().fields.value(QStringLiteral("data1")).toString(), text);
    }
}

// Cards are read through a window of the file and very large cards past
// it; both must give every card whole, in order.
void TestVCardImport::readsCardsAcrossReadWindows()
{
    QByteArray photo(1536 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 131) >> 3);
    QByteArray file;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray n = QByteArray::number(i);
        QByteArray body = "N:Family" + n + ";Given\r\nNOTE:" + QByteArray(500, 'x') + "\r\n";
        if (i == 1500)
            body += "PHOTO;ENCODING=b:" + QVCardParser::encodeBase64(photo, 75) + "\r\n";
        file += card(i % 2 ? "2.1" : "3.0", body);
    }
    QVERIFY(file.size() > 3 * 1024 * 1024);
    const QList<pim::_Contact> contacts = readAll(file);
    QCOMPARE(contacts.size(), 3000);
    for (int i = 0; i < 3000; ++i)
        QCOMPARE(contacts.at(i).fullName, QStringLiteral("Given Family%1").arg(i));
    QCOMPARE(contacts.at(1500).entities.value(pim::ENTITY_PHOTO).first().fields.value(QStringLiteral("data15")).toByteArray(),
             photo);
    QVERIFY(!contacts.at(1501).entities.contains(pim::ENTITY_PHOTO));
}

QTEST_GUILESS_MAIN(TestVCardImport)
#include "tst_vcardimport.moc"
