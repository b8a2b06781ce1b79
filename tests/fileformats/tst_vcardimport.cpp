// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/qvcardparser.h"
#include "fileformats/vcardencoders.h"
#include "scratchfiles.h"
#include "fileformats/vcardimport.h"

#include <QFile>
#include <QStringEncoder>
#include <QTest>

#include <stdexcept>

namespace {

// Each entity as "key=value" pairs in key order, "; " between them.
QStringList textOf(const QList<pim::Entity>& entities)
{
    QStringList out;
    for (const pim::Entity& entity : entities) {
        QStringList fields;
        for (auto it = entity.fields.constBegin(); it != entity.fields.constEnd(); ++it)
            fields.append(it.key() + QLatin1Char('=') + it.value().toString());
        out.append(fields.join(QLatin1String("; ")));
    }
    return out;
}

QString field(const pim::_Contact& c, int type, const char* key)
{
    return c.entities.value(type).value(0).fields.value(QLatin1String(key)).toString();
}

// Folds a logical line at 75 octets the way 3.0 writers do: wherever the
// 75th byte falls, UTF-8 sequences included.
QByteArray fold75(const QByteArray& line)
{
    QByteArray out;
    for (qsizetype at = 0; at < line.size(); at += 75)
        out += (at > 0 ? "\r\n " : "") + line.mid(at, 75);
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
    void readsEntities_data();
    void readsEntities();
    void readsNames_data();
    void readsNames();
    void readsTextEscapes_data();
    void readsTextEscapes();
    void readsVersion21SampleCard();
    void readsVersion30SampleCard();
    void readsVersion40CardWithFormattedNameOnly();
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
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    QTest::newRow("three cards") << three << 3;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("no BEGIN line") << QByteArray("N:A;B\r\nTEL:1\r\n") << 0;
    QTest::newRow("byte-order mark keeps first card") << QByteArray("\xEF\xBB\xBF") + three << 3;
    QTest::newRow("UTF-16 file with byte-order mark") << QByteArray(utf16.encode(QString::fromUtf8(three))) << 3;
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
        QVERIFY(!reader.nextContact().fullName.isEmpty());
    }
    QVERIFY(!reader.hasNext());
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
    QCOMPARE(reader.nextContact().fullName, QStringLiteral("Jane Doe"));
}

void TestVCardImport::readsEntities_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("entityType");
    QTest::addColumn<QStringList>("expected");
    auto row = [](const char* name, const QByteArray& body, int type, const QStringList& expected) {
        QTest::newRow(name) << body << type << expected;
    };
    using namespace pim;
    row("phone: cell", "TEL;TYPE=cell:1\r\n", ENTITY_PHONE, { "data1=1; data2=2" });
    row("phone: home,voice", "TEL;TYPE=home,voice:1\r\n", ENTITY_PHONE, { "data1=1; data2=1" });
    row("phone: work,fax", "TEL;TYPE=work,fax:1\r\n", ENTITY_PHONE, { "data1=1; data2=4" });
    row("phone: fax alone", "TEL;TYPE=fax:1\r\n", ENTITY_PHONE, { "data1=1; data2=13" });
    row("phone: no parameter", "TEL:1\r\n", ENTITY_PHONE, { "data1=1; data2=2" });
    row("phone: capitals", "TEL;TYPE=HOME,VOICE:1\r\n", ENTITY_PHONE, { "data1=1; data2=2" });
    row("phone: lower-case parameter name", "TEL;type=fax:1\r\n", ENTITY_PHONE, { "data1=1; data2=2" });
    row("phone: bare markers", "TEL;HOME;VOICE:1\r\n", ENTITY_PHONE, { "data1=1; data2=2" });
    row("phone: repeated TYPE, last wins", "TEL;TYPE=work;TYPE=fax:1\r\n", ENTITY_PHONE, { "data1=1; data2=13" });
    row("phone: blank after comma", "TEL;TYPE=home, voice:1\r\n", ENTITY_PHONE, { "data1=1; data2=1" });
    row("phone: group prefix and lower-case name", "item2.tel;TYPE=car:1\r\n", ENTITY_PHONE, { "data1=1; data2=9" });
    row("birthday: basic date", "BDAY:19800115\r\n", ENTITY_EVENT, { "data1=1980-01-15T00:00:00; data2=3" });
    row("birthday: basic with Z", "BDAY:19800115T103000Z\r\n", ENTITY_EVENT, { "data1=1980-01-15T10:30:00; data2=3" });
    row("birthday: basic date and time", "BDAY:20240229T070809\r\n", ENTITY_EVENT, { "data1=2024-02-29T07:08:09; data2=3" });
    row("birthday: year 1 keeps four digits", "BDAY:0001-01-01\r\n", ENTITY_EVENT, { "data1=0001-01-01T00:00:00; data2=3" });
    row("birthday: last second of 9999", "BDAY:9999-12-31T23:59:59Z\r\n", ENTITY_EVENT, { "data1=9999-12-31T23:59:59; data2=3" });
    row("birthday: basic without seconds", "BDAY:19800115T1030Z\r\n", ENTITY_EVENT, { "data1=1980-01-15T10:30:00; data2=3" });
    row("birthday: fraction and offset", "BDAY:1980-01-15T10:30:00.250+01:00\r\n", ENTITY_EVENT, { "data1=1980-01-15T10:30:00; data2=3" });
    row("birthday: time out of range kept as written", "BDAY:1980-01-15T25:00:00\r\n", ENTITY_EVENT, { "data1=1980-01-15T25:00:00; data2=3" });
    row("birthday: surrounding blanks trimmed", "BDAY:  1980-01-15 \r\n", ENTITY_EVENT, { "data1=1980-01-15T00:00:00; data2=3" });
    row("birthday: no year kept as written", "BDAY:--0415\r\n", ENTITY_EVENT, { "data1=--0415; data2=3" });
    row("birthday: impossible day kept as written", "BDAY:1980-02-30\r\n", ENTITY_EVENT, { "data1=1980-02-30; data2=3" });
    // Entities of these kinds are one per property, equal or not.
    row("e-mail always home, twice", "EMAIL;TYPE=work:a@b.org\r\nEMAIL;TYPE=work:a@b.org\r\n", ENTITY_EMAIL,
        { "data1=a@b.org; data2=1", "data1=a@b.org; data2=1" });
    row("empty e-mail kept", "EMAIL:\r\n", ENTITY_EMAIL, { "data1=; data2=1" });
    row("skype", "X-IM;TYPE=skype:joe\r\n", ENTITY_IM, { "data1=joe; data2=1; data5=4" });
    row("netmetting as written", "X-IM;TYPE=netmetting:joe\r\n", ENTITY_IM, { "data1=joe; data2=1; data5=9" });
    row("protocol in capitals has no data5", "X-IM;TYPE=SKYPE:joe\r\n", ENTITY_IM, { "data1=joe; data2=1" });
    row("referred by", "X-REL;TYPE=ref:Ann\r\n", ENTITY_REL, { "data1=Ann; data2=11" });
    row("relation in capitals", "X-REL;TYPE=SPOUSE:Ann\r\n", ENTITY_REL, { "data1=Ann; data2=0" });
    row("homepage keeps its semicolon", "URL;TYPE=homepage:http://a.b/c;d\r\n", ENTITY_URL,
        { "data1=http://a.b/c;d; data2=1" });
    row("url without type", "URL:x\r\n", ENTITY_URL, { "data1=x; data2=0" });
    row("birthday ignores type", "BDAY;TYPE=anniversary:1980-01-15\r\n", ENTITY_EVENT,
        { "data1=1980-01-15T00:00:00; data2=3" });
    row("anniversary", "X-EVENT;TYPE=anniversary:2001-06-30\r\n", ENTITY_EVENT, { "data1=2001-06-30T00:00:00; data2=1" });
    row("event named birthday is other", "X-EVENT;TYPE=birthday:2001-06-30\r\n", ENTITY_EVENT,
        { "data1=2001-06-30T00:00:00; data2=0" });
    row("later nickname replaces", "NICKNAME:first\r\nNICKNAME:second,more;x\r\n", ENTITY_NICKNAME,
        { "data1=second,more;x" });
    row("later note replaces", "NOTE:first\r\nNOTE:second\r\n", ENTITY_NOTES, { "data1=second" });
    row("later categories replace", "CATEGORIES:a\r\nCATEGORIES:b,c\r\n", ENTITY_GROUP, { "data2=b,c" });
    row("three organisation components", "ORG:Acme;Sales;Dropped\r\n", ENTITY_ORG, { "data1=Acme; data5=Sales" });
    row("one component keeps department", "ORG:Acme;Sales\r\nORG:Other\r\n", ENTITY_ORG, { "data1=Other; data5=Sales" });
    row("empty organisation still makes the entity", "ORG:\r\n", ENTITY_ORG, { "" });
    row("escaped separator in organisation", "ORG:A\\;B;C\r\n", ENTITY_ORG, { "data1=A;B; data5=C" });
    row("title first then org", "TITLE:Boss\r\nORG:Acme;Sales\r\n", ENTITY_ORG, { "data1=Acme; data4=Boss; data5=Sales" });
    row("full home address", "ADR;TYPE=home:;;S;T;R;P;N\r\n", ENTITY_ADDR,
        { "data1=S\nT, R P\nN; data10=N; data2=1; data4=S; data7=T; data8=R; data9=P" });
    row("work address", "ADR;TYPE=work:;;S\r\n", ENTITY_ADDR, { "data1=S; data2=2; data4=S" });
    row("address bare marker is other", "ADR;HOME:;;S\r\n", ENTITY_ADDR, { "data1=S; data2=0; data4=S" });
    row("trailing separator leaves country absent", "ADR:B;X;S;T;R;P;\r\n", ENTITY_ADDR,
        { "data1=S\nT, R P; data2=0; data4=S; data7=T; data8=R; data9=P" });
    row("empty address", "ADR:\r\n", ENTITY_ADDR, { "data1=; data2=0" });
    row("postcode and country only", "ADR:;;;;;P;N\r\n", ENTITY_ADDR,
        { "data1=N; data10=N; data2=0; data4=; data7=; data8=; data9=P" });
    row("base64 photo", "PHOTO;ENCODING=b;TYPE=JPEG:QUJD\r\n", ENTITY_PHOTO, { "data15=ABC" });
    row("second photo wins", "PHOTO;ENCODING=b:QUJD\r\nPHOTO;ENCODING=b:REVG\r\n", ENTITY_PHOTO, { "data15=DEF" });
    row("4.0 data URI photo", "PHOTO:data:image/jpeg;base64,QUJD\r\n", ENTITY_PHOTO, { "data15=ABC" });
    row("photo reference kept as text", "PHOTO;VALUE=uri:http://x/y.jpg\r\n", ENTITY_PHOTO, { "data15=http://x/y.jpg" });
}

void TestVCardImport::readsEntities()
{
    QFETCH(QByteArray, body);
    QFETCH(int, entityType);
    QFETCH(QStringList, expected);
    QCOMPARE(textOf(readOne(body, "2.1").entities.value(entityType)), expected);
}

void TestVCardImport::readsNames_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QStringList>("name");
    auto row = [](const char* name, const QByteArray& body, const QString& fullName, const QStringList& entity) {
        QTest::newRow(name) << body << fullName << entity;
    };
    row("standard order", "N:Doe;John;;;\r\nFN:John Doe\r\n", "John Doe",
        { "data1=John Doe; data2=John; data3=Doe; data4=; data5=" });
    row("swapped by older builds", "N:John;Doe;;;\r\nFN:John Doe\r\n", "John Doe",
        { "data1=John Doe; data2=John; data3=Doe; data4=; data5=" });
    row("swap needs a matching FN", "N:John;Doe\r\nFN:Someone\r\n", "Doe John", { "data1=Doe John; data2=Doe; data3=John" });
    row("both readings equal", "N:Ann;Ann\r\nFN:Ann Ann\r\n", "Ann Ann", { "data1=Ann Ann; data2=Ann; data3=Ann" });
    row("five components", "N:Family;Given;Middle;Dr.;Jr.\r\n", "Dr. Given Middle Family Jr.",
        { "data1=Dr. Given Middle Family Jr.; data2=Given; data3=Family; data4=Middle; data5=Dr.; data6=Jr." });
    row("later N replaces its parts", "N:A;B\r\nN:Z\r\n", "B Z", { "data1=B Z; data2=B; data3=Z" });
    row("empty N takes FN", "N:;;;;\r\nFN:  Jane Q  \r\n", "Jane Q", { "data1=Jane Q; data2=Jane Q; data3=; data4=; data5=" });
    row("neither N nor FN", "TEL:1\r\n", QString(), {});
    row("escaped separator stays in part", "N:A\\;B;C\\,D\r\n", "C,D A;B", { "data1=C,D A;B; data2=C,D; data3=A;B" });
}

void TestVCardImport::readsNames()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, fullName);
    QFETCH(QStringList, name);
    const pim::_Contact c = readOne(body);
    QCOMPARE(c.fullName, fullName);
    QCOMPARE(textOf(c.entities.value(pim::ENTITY_NAME)), name);
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
    QCOMPARE(field(readOne(line + "\r\n", version), pim::ENTITY_NOTES, "data1"), note);
}

void TestVCardImport::readsVersion21SampleCard()
{
    const QByteArray file = "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=\r\n=BCrgen;;;\r\n"
                            "TEL;CELL;VOICE:+49 30 1234\r\n"
                            "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:first line=0D=0Asecond line goes on and =\r\n"
                            "on=\r\n and ends.\r\n"
                            "END:VCARD\r\n";
    const QList<pim::_Contact> contacts = readAll(file);
    QCOMPARE(contacts.size(), 1);
    QCOMPARE(contacts.first().fullName, QStringLiteral("Jürgen Müller"));
    QCOMPARE(field(contacts.first(), pim::ENTITY_PHONE, "data2"), QStringLiteral("2"));
    QCOMPARE(field(contacts.first(), pim::ENTITY_NOTES, "data1"),
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
    QCOMPARE(field(c, pim::ENTITY_NOTES, "data1"), QStringLiteral("Écrit à Zürich — 王伟, 李娜; line\none ").repeated(4));
    QCOMPARE(c.entities.value(pim::ENTITY_EMAIL).size(), 1);
    QCOMPARE(field(c, pim::ENTITY_PHONE, "data1"), QStringLiteral("+45 1234"));
}

void TestVCardImport::readsVersion40CardWithFormattedNameOnly()
{
    const pim::_Contact c = readOne("FN:Dr. Jane Roe\r\nEMAIL:jane@example.org\r\n", "4.0");
    QCOMPARE(c.fullName, QStringLiteral("Dr. Jane Roe"));
    QCOMPARE(textOf(c.entities.value(pim::ENTITY_NAME)), QStringList { "data1=Dr. Jane Roe; data2=Dr. Jane Roe" });
    QCOMPARE(c.entities.value(pim::ENTITY_EMAIL).size(), 1);
}

void TestVCardImport::keepsEveryCardAroundABrokenLine_data()
{
    QTest::addColumn<QByteArray>("brokenLine");
    QTest::newRow("empty parameter value") << QByteArray("TEL;TYPE=:1\r\n");
    QTest::newRow("bad base64") << QByteArray("PHOTO;ENCODING=b:@@@@\r\n");
    QTest::newRow("line without colon") << QByteArray("this is not a property\r\n");
    QTest::newRow("parameters cut by line end") << QByteArray("TEL;TYPE=HOME\r\n");
}

void TestVCardImport::keepsEveryCardAroundABrokenLine()
{
    QFETCH(QByteArray, brokenLine);
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
    QCOMPARE(skippedLines, 1);
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
                                           + ";ENCODING=QUOTED-PRINTABLE:" + VCardEncoders::encodeQuoted(bytes, 0) + "\r\n");
    const QList<pim::_Contact> contacts = readAll(one + one);
    QCOMPARE(contacts.size(), 2);
    for (const pim::_Contact& c : contacts) {
        QCOMPARE(field(c, pim::ENTITY_NAME, "data3"), text);
        QCOMPARE(field(c, pim::ENTITY_NOTES, "data1"), text);
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
        QByteArray body = "N:Family" + QByteArray::number(i) + ";Given\r\nNOTE:" + QByteArray(500, 'x') + "\r\n";
        if (i == 1500)
            body += "PHOTO;ENCODING=b:" + VCardEncoders::encodeBase64(photo, 75) + "\r\n";
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
