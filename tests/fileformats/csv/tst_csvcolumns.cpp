// SPDX-License-Identifier: GPL-3.0-or-later
// Every column name of other programs' CSV exports that the reader knows,
// each read from a real file: its cell lands in the field and sub-type the
// name stands for, and the name is not reported as unknown.
#include "fileformats/csv/csvcolumndictionary.h"
#include "fileformats/csv/csvimport.h"
#include "model/contact.h"
#include "../scratchfiles.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Known {
    const char* name;
    int type;
    int subType;
    const char* valueKey;
};

// As the exports write them: what each name means.
const Known kForeignColumns[] = {
        { "Title", pim::ENTITY_NAME, 0, "data5" },
        { "Web Page", pim::ENTITY_URL, 1, "data1" },
        { "Birthday", pim::ENTITY_EVENT, 3, "data1" },
        { "Anniversary", pim::ENTITY_EVENT, 1, "data1" },
        { "E-mail Address", pim::ENTITY_EMAIL, 1, "data1" },
        { "E-mail 2 Address", pim::ENTITY_EMAIL, 2, "data1" },
        { "E-mail 3 Address", pim::ENTITY_EMAIL, 0, "data1" },
        { "Primary Phone", pim::ENTITY_PHONE, 12, "data1" },
        { "Home Phone", pim::ENTITY_PHONE, 1, "data1" },
        { "Home Phone 2", pim::ENTITY_PHONE, 1, "data1" },
        { "Mobile Phone", pim::ENTITY_PHONE, 2, "data1" },
        { "Pager", pim::ENTITY_PHONE, 6, "data1" },
        { "Company Main Phone", pim::ENTITY_PHONE, 10, "data1" },
        { "Business Phone", pim::ENTITY_PHONE, 3, "data1" },
        { "Business Phone 2", pim::ENTITY_PHONE, 17, "data1" },
        { "Business Fax", pim::ENTITY_PHONE, 4, "data1" },
        { "Assistant's Phone", pim::ENTITY_PHONE, 19, "data1" },
        { "Other Phone", pim::ENTITY_PHONE, 0, "data1" },
        { "Other Fax", pim::ENTITY_PHONE, 13, "data1" },
        { "Home Fax", pim::ENTITY_PHONE, 5, "data1" },
        { "Callback", pim::ENTITY_PHONE, 8, "data1" },
        { "Car Phone", pim::ENTITY_PHONE, 9, "data1" },
        { "ISDN", pim::ENTITY_PHONE, 11, "data1" },
        { "Radio Phone", pim::ENTITY_PHONE, 14, "data1" },
        { "TTY/TDD Phone", pim::ENTITY_PHONE, 16, "data1" },
        { "Telex", pim::ENTITY_PHONE, 15, "data1" },
        { "Home Street", pim::ENTITY_ADDR, 1, "data4" },
        { "Home Street 2", pim::ENTITY_ADDR, 1, "data4" },
        { "Home Street 3", pim::ENTITY_ADDR, 1, "data4" },
        { "Home City", pim::ENTITY_ADDR, 1, "data7" },
        { "Home State", pim::ENTITY_ADDR, 1, "data8" },
        { "Home Postal Code", pim::ENTITY_ADDR, 1, "data9" },
        { "Home Country", pim::ENTITY_ADDR, 1, "data10" },
        { "Spouse", pim::ENTITY_REL, 14, "data1" },
        { "Children", pim::ENTITY_REL, 3, "data1" },
        { "Manager's Name", pim::ENTITY_REL, 7, "data1" },
        { "Assistant's Name", pim::ENTITY_REL, 1, "data1" },
        { "Referred By", pim::ENTITY_REL, 11, "data1" },
        { "Business Street", pim::ENTITY_ADDR, 2, "data4" },
        { "Business Street 2", pim::ENTITY_ADDR, 2, "data4" },
        { "Business Street 3", pim::ENTITY_ADDR, 2, "data4" },
        { "Business City", pim::ENTITY_ADDR, 2, "data7" },
        { "Business State", pim::ENTITY_ADDR, 2, "data8" },
        { "Business Postal Code", pim::ENTITY_ADDR, 2, "data9" },
        { "Business Country", pim::ENTITY_ADDR, 2, "data10" },
        { "Other Street", pim::ENTITY_ADDR, 0, "data4" },
        { "Other Street 2", pim::ENTITY_ADDR, 0, "data4" },
        { "Other Street 3", pim::ENTITY_ADDR, 0, "data4" },
        { "Other City", pim::ENTITY_ADDR, 0, "data7" },
        { "Other State", pim::ENTITY_ADDR, 0, "data8" },
        { "Other Postal Code", pim::ENTITY_ADDR, 0, "data9" },
        { "Other Country", pim::ENTITY_ADDR, 0, "data10" },
        { "Categories", pim::ENTITY_GROUP, 0, "data2" },
        { "Given Name", pim::ENTITY_NAME, 0, "data2" },
        { "Additional Name", pim::ENTITY_NAME, 0, "data4" },
        { "Family Name", pim::ENTITY_NAME, 0, "data3" },
        { "Name Prefix", pim::ENTITY_NAME, 0, "data5" },
        { "Name Suffix", pim::ENTITY_NAME, 0, "data6" },
        { "Nickname", pim::ENTITY_NICKNAME, 1, "data1" },
        { "E-mail 1 - Value", pim::ENTITY_EMAIL, 1, "data1" },
        { "Primary Email", pim::ENTITY_EMAIL, 1, "data1" },
        { "Secondary Email", pim::ENTITY_EMAIL, 0, "data1" },
        { "Email", pim::ENTITY_EMAIL, 1, "data1" },
        { "E-mail", pim::ENTITY_EMAIL, 1, "data1" },
        { "Email Address", pim::ENTITY_EMAIL, 1, "data1" },
        { "Home Email", pim::ENTITY_EMAIL, 1, "data1" },
        { "Work Email", pim::ENTITY_EMAIL, 2, "data1" },
        { "Other Email", pim::ENTITY_EMAIL, 0, "data1" },
        { "E-mail 2 - Value", pim::ENTITY_EMAIL, 1, "data1" },
        { "E-mail 3 - Value", pim::ENTITY_EMAIL, 1, "data1" },
        { "Mobile Number", pim::ENTITY_PHONE, 2, "data1" },
        { "Mobile", pim::ENTITY_PHONE, 2, "data1" },
        { "Cell Phone", pim::ENTITY_PHONE, 2, "data1" },
        { "Business Mobile", pim::ENTITY_PHONE, 17, "data1" },
        { "Home Number", pim::ENTITY_PHONE, 1, "data1" },
        { "Work Phone", pim::ENTITY_PHONE, 3, "data1" },
        { "Work Number", pim::ENTITY_PHONE, 3, "data1" },
        { "Main Phone", pim::ENTITY_PHONE, 12, "data1" },
        { "Phone", pim::ENTITY_PHONE, 0, "data1" },
        { "Phone Number", pim::ENTITY_PHONE, 0, "data1" },
        { "Fax", pim::ENTITY_PHONE, 13, "data1" },
        { "Fax Number", pim::ENTITY_PHONE, 13, "data1" },
        { "Work Fax", pim::ENTITY_PHONE, 4, "data1" },
        { "Pager Number", pim::ENTITY_PHONE, 6, "data1" },
        { "Phone 1 - Value", pim::ENTITY_PHONE, 0, "data1" },
        { "Phone 2 - Value", pim::ENTITY_PHONE, 0, "data1" },
        { "Phone 3 - Value", pim::ENTITY_PHONE, 0, "data1" },
        { "Organization", pim::ENTITY_ORG, 0, "data1" },
        { "Organisation", pim::ENTITY_ORG, 0, "data1" },
        { "Company Name", pim::ENTITY_ORG, 0, "data1" },
        { "Organization 1 - Name", pim::ENTITY_ORG, 0, "data1" },
        { "Organization 1 - Title", pim::ENTITY_ORG, 0, "data4" },
        { "Organization 1 - Department", pim::ENTITY_ORG, 0, "data5" },
        { "Position", pim::ENTITY_ORG, 0, "data4" },
        { "Surname", pim::ENTITY_NAME, 0, "data3" },
        { "Address 1 - Street", pim::ENTITY_ADDR, 0, "data4" },
        { "Address 1 - City", pim::ENTITY_ADDR, 0, "data7" },
        { "Address 1 - Region", pim::ENTITY_ADDR, 0, "data8" },
        { "Address 1 - Postal Code", pim::ENTITY_ADDR, 0, "data9" },
        { "Address 1 - Country", pim::ENTITY_ADDR, 0, "data10" },
        { "Home ZIP", pim::ENTITY_ADDR, 1, "data9" },
        { "Work Street", pim::ENTITY_ADDR, 2, "data4" },
        { "Work City", pim::ENTITY_ADDR, 2, "data7" },
        { "Work State", pim::ENTITY_ADDR, 2, "data8" },
        { "Work ZIP", pim::ENTITY_ADDR, 2, "data9" },
        { "Work Postal Code", pim::ENTITY_ADDR, 2, "data9" },
        { "Work Country", pim::ENTITY_ADDR, 2, "data10" },
        { "Website", pim::ENTITY_URL, 1, "data1" },
        { "Web Site", pim::ENTITY_URL, 1, "data1" },
        { "Website 1 - Value", pim::ENTITY_URL, 0, "data1" },
        { "Personal Web Page", pim::ENTITY_URL, 4, "data1" },
        { "Business Web Page", pim::ENTITY_URL, 5, "data1" },
        { "Note", pim::ENTITY_NOTES, 0, "data1" },
        { "Birth Date", pim::ENTITY_EVENT, 3, "data1" },
        { "Birthdate", pim::ENTITY_EVENT, 3, "data1" },
        { "Business Country/Region", pim::ENTITY_ADDR, 2, "data10" },
        { "Home Country/Region", pim::ENTITY_ADDR, 1, "data10" },
        { "Other Country/Region", pim::ENTITY_ADDR, 0, "data10" },
        { "IMAddress", pim::ENTITY_IM, 0, "data1" },
        { "Organization Name", pim::ENTITY_ORG, 0, "data1" },
        { "Organization Title", pim::ENTITY_ORG, 0, "data4" },
        { "Organization Department", pim::ENTITY_ORG, 0, "data5" },
        { "Address 2 - Street", pim::ENTITY_ADDR, 0, "data4" },
        { "Address 2 - City", pim::ENTITY_ADDR, 0, "data7" },
        { "Address 2 - Region", pim::ENTITY_ADDR, 0, "data8" },
        { "Address 2 - Postal Code", pim::ENTITY_ADDR, 0, "data9" },
        { "Address 2 - Country", pim::ENTITY_ADDR, 0, "data10" },
        { "Website 2 - Value", pim::ENTITY_URL, 0, "data1" },
        { "Relation 1 - Value", pim::ENTITY_REL, 0, "data1" },
        { "Relation 2 - Value", pim::ENTITY_REL, 0, "data1" },
        { "Event 1 - Value", pim::ENTITY_EVENT, 0, "data1" },
        { "Event 2 - Value", pim::ENTITY_EVENT, 0, "data1" },
        { "IM 1 - Value", pim::ENTITY_IM, 0, "data1" },
        { "IM 2 - Value", pim::ENTITY_IM, 0, "data1" },
        { "Home Address", pim::ENTITY_ADDR, 1, "data4" },
        { "Home Address 2", pim::ENTITY_ADDR, 1, "data4" },
        { "Home ZipCode", pim::ENTITY_ADDR, 1, "data9" },
        { "Work Address", pim::ENTITY_ADDR, 2, "data4" },
        { "Work Address 2", pim::ENTITY_ADDR, 2, "data4" },
        { "Work ZipCode", pim::ENTITY_ADDR, 2, "data9" },
        { "Business Address", pim::ENTITY_ADDR, 2, "data4" },
        { "Other Address", pim::ENTITY_ADDR, 0, "data4" },
        { "Web Page 1", pim::ENTITY_URL, 5, "data1" },
        { "Web Page 2", pim::ENTITY_URL, 4, "data1" },
        { "Screen Name", pim::ENTITY_IM, 0, "data1" },
        { "First", pim::ENTITY_NAME, 0, "data2" },
        { "Middle", pim::ENTITY_NAME, 0, "data4" },
        { "Last", pim::ENTITY_NAME, 0, "data3" },
        { "Alternate Email 1", pim::ENTITY_EMAIL, 0, "data1" },
        { "Alternate Email 2", pim::ENTITY_EMAIL, 0, "data1" },
        { "Messenger ID", pim::ENTITY_IM, 0, "data1" },
        { "Personal Website", pim::ENTITY_URL, 4, "data1" },
        { "Business Website", pim::ENTITY_URL, 5, "data1" },
        { "Address", pim::ENTITY_ADDR, 0, "data4" },
        { "Street", pim::ENTITY_ADDR, 0, "data4" },
        { "City", pim::ENTITY_ADDR, 0, "data7" },
        { "State", pim::ENTITY_ADDR, 0, "data8" },
        { "Postal Code", pim::ENTITY_ADDR, 0, "data9" },
        { "ZIP", pim::ENTITY_ADDR, 0, "data9" },
        { "Country", pim::ENTITY_ADDR, 0, "data10" },
        { "Name", pim::ENTITY_NAME, 0, "data1" },
        { "Full Name", pim::ENTITY_NAME, 0, "data1" },
        { "Display Name", pim::ENTITY_NAME, 0, "data1" },
        { "Group Membership", pim::ENTITY_GROUP, 0, "data2" },
        // An address given by these alone keeps them as its street.
        { "Address 1 - PO Box", pim::ENTITY_ADDR, 0, "data4" },
        { "Address 1 - Extended Address", pim::ENTITY_ADDR, 0, "data4" },
        { "Address 1 - Formatted", pim::ENTITY_ADDR, 0, "data4" },
        // A web-mail export's numbered columns, whatever the number.
        { "Phone 7 - Value", pim::ENTITY_PHONE, 0, "data1" },
        { "E-mail 4 - Value", pim::ENTITY_EMAIL, 1, "data1" },
        { "Address 3 - City", pim::ENTITY_ADDR, 0, "data7" },
        { "Address 12 - PO Box", pim::ENTITY_ADDR, 0, "data4" },
        { "Organization 2 - Title", pim::ENTITY_ORG, 0, "data4" },
        { "Relation 9 - Value", pim::ENTITY_REL, 0, "data1" },
        { "Website 10 - Value", pim::ENTITY_URL, 0, "data1" },
        { "Event 3 - Value", pim::ENTITY_EVENT, 0, "data1" },
        { "IM 4 - Value", pim::ENTITY_IM, 0, "data1" },
        // A phone suite's fields of three kinds; "General" names none.
        { "General mobile", pim::ENTITY_PHONE, 2, "data1" },
        { "General phone", pim::ENTITY_PHONE, 2, "data1" },
        { "General email", pim::ENTITY_EMAIL, 1, "data1" },
        { "General fax", pim::ENTITY_PHONE, 13, "data1" },
        { "General video call", pim::ENTITY_PHONE, 2, "data1" },
        { "General web address", pim::ENTITY_URL, 0, "data1" },
        { "General P.O.Box", pim::ENTITY_ADDR, 0, "data4" },
        { "General extension", pim::ENTITY_ADDR, 0, "data4" },
        { "General street", pim::ENTITY_ADDR, 0, "data4" },
        { "General postal/ZIP code", pim::ENTITY_ADDR, 0, "data9" },
        { "General city", pim::ENTITY_ADDR, 0, "data7" },
        { "General state/province", pim::ENTITY_ADDR, 0, "data8" },
        { "General country/region", pim::ENTITY_ADDR, 0, "data10" },
        { "Home mobile", pim::ENTITY_PHONE, 2, "data1" },
        { "Home video call", pim::ENTITY_PHONE, 1, "data1" },
        { "Home web address", pim::ENTITY_URL, 4, "data1" },
        { "Home P.O.Box", pim::ENTITY_ADDR, 1, "data4" },
        { "Home extension", pim::ENTITY_ADDR, 1, "data4" },
        { "Home postal/ZIP code", pim::ENTITY_ADDR, 1, "data9" },
        { "Home state/province", pim::ENTITY_ADDR, 1, "data8" },
        { "Business email", pim::ENTITY_EMAIL, 2, "data1" },
        { "Business video call", pim::ENTITY_PHONE, 3, "data1" },
        { "Business web address", pim::ENTITY_URL, 5, "data1" },
        { "Business P.O.Box", pim::ENTITY_ADDR, 2, "data4" },
        { "Business extension", pim::ENTITY_ADDR, 2, "data4" },
        { "Business postal/ZIP code", pim::ENTITY_ADDR, 2, "data9" },
        { "Business state/province", pim::ENTITY_ADDR, 2, "data8" },
        // CRM, mailing-list and accounting exports.
        { "Salutation", pim::ENTITY_NAME, 0, "data5" },
        { "Email ID", pim::ENTITY_EMAIL, 1, "data1" },
        { "Telephone", pim::ENTITY_PHONE, 0, "data1" },
        { "Office Phone", pim::ENTITY_PHONE, 3, "data1" },
        { "Cell", pim::ENTITY_PHONE, 2, "data1" },
        { "Street Address", pim::ENTITY_ADDR, 0, "data4" },
        { "Address 1", pim::ENTITY_ADDR, 0, "data4" },
        { "Address 2", pim::ENTITY_ADDR, 0, "data4" },
        { "Address 3", pim::ENTITY_ADDR, 0, "data4" },
        { "Address Line 1", pim::ENTITY_ADDR, 0, "data4" },
        { "Address Line 2", pim::ENTITY_ADDR, 0, "data4" },
        { "Address Line 3", pim::ENTITY_ADDR, 0, "data4" },
        { "Town", pim::ENTITY_ADDR, 0, "data7" },
        { "Province", pim::ENTITY_ADDR, 0, "data8" },
        { "State/Province", pim::ENTITY_ADDR, 0, "data8" },
        { "Zip Code", pim::ENTITY_ADDR, 0, "data9" },
        { "Postcode", pim::ENTITY_ADDR, 0, "data9" },
        { "URL", pim::ENTITY_URL, 1, "data1" },
};

// A name's words joined in camel case ("homePhone2"), as CRM exports head
// their columns; empty for a name of one word or a numbered web-mail name,
// which no such export writes.
QString camelCase(const QString& name)
{
    const QStringList words = name.split(QLatin1Char(' '));
    if (words.size() < 2 || name.contains(QLatin1String(" - ")))
        return QString();
    QString joined = words.first().toLower();
    for (const QString& word : words.mid(1))
        joined += word.left(1).toUpper() + word.mid(1);
    return joined;
}

// Pieces of one date, put together as the golden case of a mail program's
// export shows.
const char* const kDatePieceColumns[] = { "Birth Year", "Birth Month", "Birth Day" };
// Phonetic names, which name no one alone: read beside the name they spell,
// as the golden cases of the older web-mail export show.
const char* const kPhoneticColumns[] = { "Given Name Yomi", "Family Name Yomi", "Yomi Name" };
// A phone suite's SIP addresses, kept with their service as the golden case
// of its export shows.
const char* const kServiceColumns[] = { "SIP address", "General VOIP address", "Home VOIP address",
                                        "Business VOIP address" };

// The system's own names, which other tests read.
bool isOwnName(const QString& name)
{
    static const QSet<QString> fixed { "Display Name", "Prefix", "First Name", "Middle Name", "Last Name",
        "Phonetic First Name", "Phonetic Last Name", "Suffix", "Nickname", "Category", "Notes", "Company",
        "Department", "Job Title" };
    for (const char* prefix : { "Tel:", "Email:", "Date:", "IM:", "Rel:", "Addr:", "Url:" }) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return fixed.contains(name);
}

} // namespace

class TestCsvColumns : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void readsEveryForeignColumnIntoItsField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("subType");
        QTest::addColumn<QString>("valueKey");
        for (const Known& k : kForeignColumns) {
            const QString name = QString::fromUtf8(k.name);
            QTest::newRow(k.name) << name << k.type << k.subType << QString::fromLatin1(k.valueKey);
            // Hand-made tables and other exports write the same names in
            // letters of another case, with blanks around them.
            QTest::addRow("%s, upper case with blanks", k.name)
                << QLatin1Char(' ') + name.toUpper() + QLatin1Char(' ') << k.type << k.subType
                << QString::fromLatin1(k.valueKey);
            // CRM and mailing-list exports join the words of the same
            // names in camel case or with "-".
            if (const QString camel = camelCase(name); !camel.isEmpty()) {
                QTest::addRow("%s, camel case", k.name) << camel << k.type << k.subType
                                                         << QString::fromLatin1(k.valueKey);
                QTest::addRow("%s, words joined by -", k.name)
                    << name.toLower().replace(QLatin1Char(' '), QLatin1Char('-')) << k.type << k.subType
                    << QString::fromLatin1(k.valueKey);
            }
        }
    }
    void readsEveryForeignColumnIntoItsField()
    {
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(int, subType);
        QFETCH(QString, valueKey);
        // Another column gives the row a name where the column gives none,
        // and a company where it gives a title or suffix, which names no one.
        const bool naming = type == pim::ENTITY_NAME;
        const bool title = naming && (valueKey == QLatin1String("data5") || valueKey == QLatin1String("data6"));
        const QString other = title ? QStringLiteral("Company") : naming ? QStringLiteral("Notes") : QStringLiteral("Last Name");
        // A title column holds what its cells tell it is: a title.
        const QString value = type == pim::ENTITY_EVENT ? QStringLiteral("1970-01-02")
            : naming && valueKey == QLatin1String("data5") ? QStringLiteral("Dr.")
                                                            : QStringLiteral("v 1");
        const QString path = writeScratch(m_dir,
            QStringLiteral("%1,\"%2\"\r\nLee,%3\r\n").arg(other, name, value).toUtf8(), QStringLiteral("csv"));

        CSVImport reader;
        reader.initialize(path);
        QCOMPARE(reader.total(), 1);
        const pim::_Contact contact = reader.nextContact();
        QCOMPARE(reader.problems().count(), 0); // no unknown column
        const QList<pim::Entity> entities = contact.entities.value(type);
        QCOMPARE(entities.size(), 1);
        const pim::Entity& e = entities.first();
        const QString stored = type == pim::ENTITY_EVENT ? QStringLiteral("1970-01-02T00:00:00") : value;
        QCOMPARE(e.fields.value(valueKey).toString(), naming ? value : stored);
        const QString subKey = type == pim::ENTITY_IM ? QStringLiteral("data5") : QStringLiteral("data2");
        const bool typed = type != pim::ENTITY_NAME && type != pim::ENTITY_GROUP && type != pim::ENTITY_NICKNAME
            && type != pim::ENTITY_NOTES;
        if (typed)
            QCOMPARE(e.fields.value(subKey).toInt(), subType);
        // A name that says nothing of the kind gives the kind only to a new
        // entry, and says so; "Web Page" and "Email" are such names.
        const bool kindless = type == pim::ENTITY_IM || !CsvColumnDictionary::lookup(name).typeNamed;
        QCOMPARE(!pim::isTypeGiven(e), kindless);
        // Every other field of the entity is one the reader derives; a whole
        // name stands for the given name too.
        const bool wholeName = naming && valueKey == QLatin1String("data1");
        for (auto it = e.fields.cbegin(); it != e.fields.cend(); ++it) {
            const bool derived = it.key() == subKey || (type == pim::ENTITY_ADDR && it.key() == QLatin1String("data1"))
                || (type == pim::ENTITY_IM && it.key() == QLatin1String("data2"))
                || (naming && it.key() == QLatin1String("data1")) || (wholeName && it.key() == QLatin1String("data2"))
                || it.key() == pim::typeNotGivenKey();
            QVERIFY2(it.key() == valueKey || derived, qPrintable(it.key()));
        }
    }

    // Names that only look like a web-mail export's numbered columns are
    // no column of it: the ending names them among those not read.
    void leavesOutNamesThatOnlyLookNumbered_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("number 0") << QStringLiteral("Phone 0 - Value");
        QTest::newRow("leading zero") << QStringLiteral("Phone 02 - Value");
        QTest::newRow("sign") << QStringLiteral("Phone +2 - Value");
        QTest::newRow("number too large for an int") << QStringLiteral("Phone 99999999999 - Value");
        QTest::newRow("other word after the dash") << QStringLiteral("Phone 2 - Values");
        QTest::newRow("kind without a first column") << QStringLiteral("Custom Field 2 - Value");
        QTest::newRow("own name numbered the web-mail way") << QStringLiteral("Tel:Home 2 - Value");
    }
    void leavesOutNamesThatOnlyLookNumbered()
    {
        QFETCH(QString, name);
        const QString path = writeScratch(m_dir,
            QStringLiteral("Last Name,\"%1\"\r\nLee,+1 555 0100\r\n").arg(name).toUtf8(), QStringLiteral("csv"));
        CSVImport reader;
        reader.initialize(path);
        QCOMPARE(reader.nextContact().entities.keys(), QList<int> { pim::ENTITY_NAME });
        QCOMPARE(reader.problems().listed(),
                 QStringList { QStringLiteral("Row 1: columns this program does not read were left out: \"%1\".")
                                   .arg(name) });
    }

    // A "Title" or "Salutation" column is what its cells say, decided for
    // the whole column: each cell lands in the field `kept` names (the
    // name's "title", the org's "job" title) or, for "none", in no field,
    // and the ending names the column where `named` says so.
    void tellsATitleColumnByItsCells_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("named");
        const QStringList teachers { "Teacher", "Librarian", "Custodian" };
        QTest::newRow("honorifics under Salutation")
            << "Salutation" << QStringList { "Mr.", "Ms", "Prof. Dr.", "Mr. & Mrs.", "Herr" } << "title" << "";
        QTest::newRow("job titles under Title")
            << "Title" << QStringList { "Director of Curriculum", "Head Teacher", "Registrar" } << "job" << "";
        QTest::newRow("a doctor among three job titles")
            << "title" << teachers + QStringList { "Dr." } << "job" << "";
        QTest::newRow("a doctor beside two job titles")
            << "title" << teachers.mid(1) + QStringList { "Dr." } << "title" << "";
        QTest::newRow("greetings under Salutation")
            << "Salutation" << QStringList { "Dear Amy,", "Hi Row1", "Dear Friend" } << "none" << "greetings";
        QTest::newRow("addressees under Title, in capitals")
            << "TITLE" << QStringList { "Amy and Raj", "The Lee1 Family", "Mr. Lee2" } << "none" << "greetings";
        QTest::newRow("honorifics and job titles alike under Title")
            << "Title" << QStringList { "Mr.", "Principal" } << "title" << "";
        QTest::newRow("honorifics and job titles alike under Salutation")
            << "salutation" << QStringList { "Mr.", "Principal" } << "none" << "not read";
        QTest::newRow("words that tell nothing under Title")
            << "Title" << QStringList { "Guest", "Patron" } << "title" << "";
        QTest::newRow("words that tell nothing under Salutation")
            << "Salutation" << QStringList { "Guest", "Patron" } << "none" << "not read";
    }
    void tellsATitleColumnByItsCells()
    {
        QFETCH(QString, column);
        QFETCH(QStringList, cells);
        QFETCH(QString, kept);
        QFETCH(QString, named);
        QByteArray text = column.toUtf8() + ",First Name,Last Name,Company\r\n";
        for (int r = 0; r < cells.size(); ++r)
            text += QStringLiteral("\"%1\",Row%2,Lee%2,Acme\r\n").arg(cells.at(r)).arg(r).toUtf8();
        CSVImport reader;
        reader.initialize(writeScratch(m_dir, text, QStringLiteral("csv")));
        for (const QString& cell : std::as_const(cells)) {
            const pim::_Contact contact = reader.nextContact();
            const QString title = contact.entities.value(pim::ENTITY_NAME).value(0).fields.value("data5").toString();
            const QString job = contact.entities.value(pim::ENTITY_ORG).value(0).fields.value("data4").toString();
            QCOMPARE(title, kept == QLatin1String("title") ? cell : QString());
            QCOMPARE(job, kept == QLatin1String("job") ? cell : QString());
        }
        const QString ending = reader.problems().listed().join(QLatin1Char('\n'));
        QCOMPARE(ending.contains(QLatin1String("holds greetings")), named == QLatin1String("greetings"));
        QCOMPARE(ending.contains(QLatin1String("does not read")), named == QLatin1String("not read"));
        QCOMPARE(ending.contains(column), !named.isEmpty());
    }

    // The table above holds every name the dictionary knows besides the
    // system's own.
    void tableCoversTheDictionary()
    {
        QSet<QString> listed;
        for (const Known& k : kForeignColumns)
            listed.insert(QString::fromUtf8(k.name));
        for (const char* name : kDatePieceColumns)
            listed.insert(QString::fromUtf8(name));
        for (const char* name : kPhoneticColumns)
            listed.insert(QString::fromUtf8(name));
        for (const char* name : kServiceColumns)
            listed.insert(QString::fromUtf8(name));
        QStringList missing;
        const auto& entries = CsvColumnDictionary::entries();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            if (!isOwnName(it.key()) && !listed.contains(it.key()))
                missing << it.key();
        }
        QCOMPARE(missing, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCsvColumns)
#include "tst_csvcolumns.moc"
