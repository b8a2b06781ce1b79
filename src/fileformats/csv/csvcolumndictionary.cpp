// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvcolumndictionary.h"

#include "model/contact.h"
#include "model/pimlabels.h"

#include <QHash>
#include <QSet>

#include <optional>

namespace {

using ColInfo = CsvColumnDictionary::_ColInfo;
using Table = QMap<QString, ColInfo>;

const QString kData1 = QStringLiteral("data1");
const QString kData2 = QStringLiteral("data2");

// One column per label: prefix + label, carrying the label's code.
void addLabelColumns(Table& t, const QString& prefix, const QMap<int, QString>& labels, int entityType,
                     const QString& typeKey)
{
    for (auto it = labels.cbegin(); it != labels.cend(); ++it)
        t.insert(prefix + it.value(), ColInfo(entityType, it.key(), typeKey, kData1));
}

void addOwnColumns(Table& t)
{
    t.insert(QStringLiteral("Prefix"), ColInfo(pim::ENTITY_NAME, 0, QString(), QStringLiteral("data5")));
    t.insert(QStringLiteral("First Name"), ColInfo(pim::ENTITY_NAME, 0, QString(), kData2));
    t.insert(QStringLiteral("Middle Name"), ColInfo(pim::ENTITY_NAME, 0, QString(), QStringLiteral("data4")));
    t.insert(QStringLiteral("Last Name"), ColInfo(pim::ENTITY_NAME, 0, QString(), QStringLiteral("data3")));
    t.insert(QStringLiteral("Suffix"), ColInfo(pim::ENTITY_NAME, 0, QString(), QStringLiteral("data6")));
    // Written only where it differs from the name the parts build; the
    // same name as a mail program's export gives it.
    t.insert(QStringLiteral("Display Name"), ColInfo(pim::ENTITY_NAME, 0, QString(), kData1));
    // As a web-mail export names them.
    t.insert(QStringLiteral("Phonetic First Name"),
        ColInfo(pim::ENTITY_NAME, 0, QString(), QStringLiteral("data7")));
    t.insert(QStringLiteral("Phonetic Last Name"),
        ColInfo(pim::ENTITY_NAME, 0, QString(), QStringLiteral("data8")));
    addLabelColumns(t, QStringLiteral("Tel:"), pim::phoneTypeMap(), pim::ENTITY_PHONE, kData2);
    addLabelColumns(t, QStringLiteral("Email:"), pim::emailTypeMap(), pim::ENTITY_EMAIL, kData2);
    t.insert(QStringLiteral("Nickname"), ColInfo(pim::ENTITY_NICKNAME, 1, QString(), kData1));
    addLabelColumns(t, QStringLiteral("Date:"), pim::eventTypeMap(), pim::ENTITY_EVENT, kData2);
    t.insert(QStringLiteral("Category"), ColInfo(pim::ENTITY_GROUP, 0, QString(), kData2));
    // Messaging columns are named after the protocol, not the sub-type.
    addLabelColumns(t, QStringLiteral("IM:"), pim::imProtocolMap(), pim::ENTITY_IM, QStringLiteral("data5"));
    t.insert(QStringLiteral("Notes"), ColInfo(pim::ENTITY_NOTES, 0, QString(), kData1));

    t.insert(QStringLiteral("Company"), ColInfo(pim::ENTITY_ORG, 0, kData2, kData1));
    t.insert(QStringLiteral("Department"), ColInfo(pim::ENTITY_ORG, 0, kData2, QStringLiteral("data5")));
    t.insert(QStringLiteral("Job Title"), ColInfo(pim::ENTITY_ORG, 0, kData2, QStringLiteral("data4")));
    addLabelColumns(t, QStringLiteral("Rel:"), pim::relTypeMap(), pim::ENTITY_REL, kData2);

    static const struct {
        const char* suffix;
        const char* valueKey;
    } addrParts[] = {
        { ":Country", "data10" }, { ":State", "data8" }, { ":City", "data7" },
        { ":Street", "data4" },   { ":Postcode", "data9" },
    };
    const QMap<int, QString> addrLabels = pim::addrTypeMap();
    for (auto it = addrLabels.cbegin(); it != addrLabels.cend(); ++it) {
        for (const auto& part : addrParts) {
            t.insert(QStringLiteral("Addr:") + it.value() + QLatin1String(part.suffix),
                     ColInfo(pim::ENTITY_ADDR, it.key(), kData2, QLatin1String(part.valueKey)));
        }
    }
    addLabelColumns(t, QStringLiteral("Url:"), pim::urlTypeMap(), pim::ENTITY_URL, kData2);
}

// One header name of another program's export and where its value goes.
struct NamedColumn {
    const char* name;
    int entityType;
    int subType;
    const char* typeKey;
    const char* valueKey;
};

// `replace`: a name already in the table takes the new meaning; otherwise
// it keeps the one it has.
template <size_t N>
void addNamedColumns(Table& t, const NamedColumn (&rows)[N], bool replace)
{
    for (const NamedColumn& r : rows) {
        const QString name = QString::fromUtf8(r.name);
        if (replace || !t.contains(name))
            t.insert(name, ColInfo(r.entityType, r.subType, QLatin1String(r.typeKey), QLatin1String(r.valueKey)));
    }
}

// Header names of other address books' CSV exports.
void addForeignColumns(Table& t)
{
    static const NamedColumn rows[] = {
        { "Title", pim::ENTITY_NAME, 0, "", "data5" },
        { "Web Page", pim::ENTITY_URL, 1, "data2", "data1" },
        { "Birthday", pim::ENTITY_EVENT, 3, "data2", "data1" },
        { "Anniversary", pim::ENTITY_EVENT, 1, "data2", "data1" },
        { "E-mail Address", pim::ENTITY_EMAIL, 1, "data2", "data1" },
        { "E-mail 2 Address", pim::ENTITY_EMAIL, 2, "data2", "data1" },
        { "E-mail 3 Address", pim::ENTITY_EMAIL, 0, "data2", "data1" },
        { "Primary Phone", pim::ENTITY_PHONE, 12, "data2", "data1" },
        { "Home Phone", pim::ENTITY_PHONE, 1, "data2", "data1" },
        { "Home Phone 2", pim::ENTITY_PHONE, 1, "data2", "data1" },
        { "Mobile Phone", pim::ENTITY_PHONE, 2, "data2", "data1" },
        { "Pager", pim::ENTITY_PHONE, 6, "data2", "data1" },
        { "Company Main Phone", pim::ENTITY_PHONE, 10, "data2", "data1" },
        { "Business Phone", pim::ENTITY_PHONE, 3, "data2", "data1" },
        { "Business Phone 2", pim::ENTITY_PHONE, 17, "data2", "data1" },
        { "Business Fax", pim::ENTITY_PHONE, 4, "data2", "data1" },
        { "Assistant's Phone", pim::ENTITY_PHONE, 19, "data2", "data1" },
        { "Other Phone", pim::ENTITY_PHONE, 0, "data2", "data1" },
        { "Other Fax", pim::ENTITY_PHONE, 13, "data2", "data1" },
        { "Home Fax", pim::ENTITY_PHONE, 5, "data2", "data1" },
        { "Callback", pim::ENTITY_PHONE, 8, "data2", "data1" },
        { "Car Phone", pim::ENTITY_PHONE, 9, "data2", "data1" },
        { "ISDN", pim::ENTITY_PHONE, 11, "data2", "data1" },
        { "Radio Phone", pim::ENTITY_PHONE, 14, "data2", "data1" },
        { "TTY/TDD Phone", pim::ENTITY_PHONE, 16, "data2", "data1" },
        { "Telex", pim::ENTITY_PHONE, 15, "data2", "data1" },
        { "Home Street", pim::ENTITY_ADDR, 1, "data2", "data4" },
        { "Home Street 2", pim::ENTITY_ADDR, 1, "data2", "data4" },
        { "Home Street 3", pim::ENTITY_ADDR, 1, "data2", "data4" },
        { "Home City", pim::ENTITY_ADDR, 1, "data2", "data7" },
        { "Home State", pim::ENTITY_ADDR, 1, "data2", "data8" },
        { "Home Postal Code", pim::ENTITY_ADDR, 1, "data2", "data9" },
        { "Home Country", pim::ENTITY_ADDR, 1, "data2", "data10" },
        { "Spouse", pim::ENTITY_REL, 14, "data2", "data1" },
        { "Children", pim::ENTITY_REL, 3, "data2", "data1" },
        { "Manager's Name", pim::ENTITY_REL, 7, "data2", "data1" },
        { "Assistant's Name", pim::ENTITY_REL, 1, "data2", "data1" },
        { "Referred By", pim::ENTITY_REL, 11, "data2", "data1" },
        { "Business Street", pim::ENTITY_ADDR, 2, "data2", "data4" },
        { "Business Street 2", pim::ENTITY_ADDR, 2, "data2", "data4" },
        { "Business Street 3", pim::ENTITY_ADDR, 2, "data2", "data4" },
        { "Business City", pim::ENTITY_ADDR, 2, "data2", "data7" },
        { "Business State", pim::ENTITY_ADDR, 2, "data2", "data8" },
        { "Business Postal Code", pim::ENTITY_ADDR, 2, "data2", "data9" },
        { "Business Country", pim::ENTITY_ADDR, 2, "data2", "data10" },
        { "Other Street", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Other Street 2", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Other Street 3", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Other City", pim::ENTITY_ADDR, 0, "data2", "data7" },
        { "Other State", pim::ENTITY_ADDR, 0, "data2", "data8" },
        { "Other Postal Code", pim::ENTITY_ADDR, 0, "data2", "data9" },
        { "Other Country", pim::ENTITY_ADDR, 0, "data2", "data10" },
        { "Categories", pim::ENTITY_GROUP, 0, "", "data2" },
        { "Given Name", pim::ENTITY_NAME, 0, "", "data2" },
        { "Additional Name", pim::ENTITY_NAME, 0, "", "data4" },
        { "Family Name", pim::ENTITY_NAME, 0, "", "data3" },
        { "Name Prefix", pim::ENTITY_NAME, 0, "", "data5" },
        { "Name Suffix", pim::ENTITY_NAME, 0, "", "data6" },
        { "Nickname", pim::ENTITY_NICKNAME, 1, "", "data1" },
        { "Birthday", pim::ENTITY_EVENT, 3, "data2", "data1" },
        { "E-mail 1 - Value", pim::ENTITY_EMAIL, 1, "data2", "data1" },
    };
    addNamedColumns(t, rows, true);
}

// More names of other programs' exports (web mail, phones' desktop
// companions, spreadsheets made by hand). Added only where the name is not
// taken, so what the names above map to never changes. A web-mail export's
// "Phone 1 - Type" column gives the kind of the value beside it (CSVImport).
void addMoreForeignColumns(Table& t)
{
    static const NamedColumn rows[] = {
        { "Primary Email", pim::ENTITY_EMAIL, 1, "data2", "data1" },
        { "Secondary Email", pim::ENTITY_EMAIL, 0, "data2", "data1" },
        { "Email", pim::ENTITY_EMAIL, 1, "data2", "data1" },
        { "E-mail", pim::ENTITY_EMAIL, 1, "data2", "data1" },
        { "Email Address", pim::ENTITY_EMAIL, 1, "data2", "data1" },
        { "Home Email", pim::ENTITY_EMAIL, 1, "data2", "data1" },
        { "Work Email", pim::ENTITY_EMAIL, 2, "data2", "data1" },
        { "Other Email", pim::ENTITY_EMAIL, 0, "data2", "data1" },
        { "Mobile Number", pim::ENTITY_PHONE, 2, "data2", "data1" },
        { "Mobile", pim::ENTITY_PHONE, 2, "data2", "data1" },
        { "Cell Phone", pim::ENTITY_PHONE, 2, "data2", "data1" },
        { "Business Mobile", pim::ENTITY_PHONE, 17, "data2", "data1" },
        { "Home Number", pim::ENTITY_PHONE, 1, "data2", "data1" },
        { "Work Phone", pim::ENTITY_PHONE, 3, "data2", "data1" },
        { "Work Number", pim::ENTITY_PHONE, 3, "data2", "data1" },
        { "Main Phone", pim::ENTITY_PHONE, 12, "data2", "data1" },
        { "Phone", pim::ENTITY_PHONE, 0, "data2", "data1" },
        { "Phone Number", pim::ENTITY_PHONE, 0, "data2", "data1" },
        { "Fax", pim::ENTITY_PHONE, 13, "data2", "data1" },
        { "Fax Number", pim::ENTITY_PHONE, 13, "data2", "data1" },
        { "Work Fax", pim::ENTITY_PHONE, 4, "data2", "data1" },
        { "Pager Number", pim::ENTITY_PHONE, 6, "data2", "data1" },
        { "Phone 1 - Value", pim::ENTITY_PHONE, 0, "data2", "data1" },
        { "Organization", pim::ENTITY_ORG, 0, "data2", "data1" },
        { "Organisation", pim::ENTITY_ORG, 0, "data2", "data1" },
        { "Company Name", pim::ENTITY_ORG, 0, "data2", "data1" },
        { "Organization 1 - Name", pim::ENTITY_ORG, 0, "data2", "data1" },
        { "Organization 1 - Title", pim::ENTITY_ORG, 0, "data2", "data4" },
        { "Organization 1 - Department", pim::ENTITY_ORG, 0, "data2", "data5" },
        { "Position", pim::ENTITY_ORG, 0, "data2", "data4" },
        { "Surname", pim::ENTITY_NAME, 0, "", "data3" },
        // The older web-mail export's phonetic names.
        { "Given Name Yomi", pim::ENTITY_NAME, 0, "", "data7" },
        { "Family Name Yomi", pim::ENTITY_NAME, 0, "", "data8" },
        { "Yomi Name", pim::ENTITY_NAME, 0, "", CsvColumnDictionary::kNameReadingPiece },
        { "Address 1 - Street", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Address 1 - City", pim::ENTITY_ADDR, 0, "data2", "data7" },
        { "Address 1 - Region", pim::ENTITY_ADDR, 0, "data2", "data8" },
        { "Address 1 - Postal Code", pim::ENTITY_ADDR, 0, "data2", "data9" },
        { "Address 1 - Country", pim::ENTITY_ADDR, 0, "data2", "data10" },
        { "Home ZIP", pim::ENTITY_ADDR, 1, "data2", "data9" },
        { "Work Street", pim::ENTITY_ADDR, 2, "data2", "data4" },
        { "Work City", pim::ENTITY_ADDR, 2, "data2", "data7" },
        { "Work State", pim::ENTITY_ADDR, 2, "data2", "data8" },
        { "Work ZIP", pim::ENTITY_ADDR, 2, "data2", "data9" },
        { "Work Postal Code", pim::ENTITY_ADDR, 2, "data2", "data9" },
        { "Work Country", pim::ENTITY_ADDR, 2, "data2", "data10" },
        { "Website", pim::ENTITY_URL, 1, "data2", "data1" },
        { "Web Site", pim::ENTITY_URL, 1, "data2", "data1" },
        { "Website 1 - Value", pim::ENTITY_URL, 0, "data2", "data1" },
        { "Personal Web Page", pim::ENTITY_URL, 4, "data2", "data1" },
        { "Business Web Page", pim::ENTITY_URL, 5, "data2", "data1" },
        { "Note", pim::ENTITY_NOTES, 0, "", "data1" },
        { "Birth Date", pim::ENTITY_EVENT, 3, "data2", "data1" },
        { "Birthdate", pim::ENTITY_EVENT, 3, "data2", "data1" },
        // The address block of a web-mail export names the country column
        // after country and region.
        { "Business Country/Region", pim::ENTITY_ADDR, 2, "data2", "data10" },
        { "Home Country/Region", pim::ENTITY_ADDR, 1, "data2", "data10" },
        { "Other Country/Region", pim::ENTITY_ADDR, 0, "data2", "data10" },
        { "IMAddress", pim::ENTITY_IM, 0, "data5", "data1" },
        // A web-mail export's newer header: organisation, numbered values.
        { "Organization Name", pim::ENTITY_ORG, 0, "data2", "data1" },
        { "Organization Title", pim::ENTITY_ORG, 0, "data2", "data4" },
        { "Organization Department", pim::ENTITY_ORG, 0, "data2", "data5" },
        { "Relation 1 - Value", pim::ENTITY_REL, 0, "data2", "data1" },
        { "Event 1 - Value", pim::ENTITY_EVENT, 0, "data2", "data1" },
        { "IM 1 - Value", pim::ENTITY_IM, 0, "data5", "data1" },
        // The post-office box and the extended address go with the street,
        // the formatted address stands in for parts an address lacks.
        { "Address 1 - PO Box", pim::ENTITY_ADDR, 0, "data2", CsvColumnDictionary::kPoBoxPiece },
        { "Address 1 - Extended Address", pim::ENTITY_ADDR, 0, "data2", CsvColumnDictionary::kExtendedAddressPiece },
        { "Address 1 - Formatted", pim::ENTITY_ADDR, 0, "data2", CsvColumnDictionary::kFormattedAddressPiece },
        { "Group Membership", pim::ENTITY_GROUP, 0, "", "data2" },
        // A desktop address book's export.
        { "Home Address", pim::ENTITY_ADDR, 1, "data2", "data4" },
        { "Home Address 2", pim::ENTITY_ADDR, 1, "data2", "data4" },
        { "Home ZipCode", pim::ENTITY_ADDR, 1, "data2", "data9" },
        { "Work Address", pim::ENTITY_ADDR, 2, "data2", "data4" },
        { "Work Address 2", pim::ENTITY_ADDR, 2, "data2", "data4" },
        { "Work ZipCode", pim::ENTITY_ADDR, 2, "data2", "data9" },
        // A mail program's export: the whole address in one cell, as
        // "Home Address" holds it there.
        { "Business Address", pim::ENTITY_ADDR, 2, "data2", "data4" },
        { "Other Address", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Web Page 1", pim::ENTITY_URL, 5, "data2", "data1" },
        { "Web Page 2", pim::ENTITY_URL, 4, "data2", "data1" },
        { "Screen Name", pim::ENTITY_IM, 0, "data5", "data1" },
        // A mail program's birthday, in three columns.
        { "Birth Year", pim::ENTITY_EVENT, 3, "data2", CsvColumnDictionary::kYearPiece },
        { "Birth Month", pim::ENTITY_EVENT, 3, "data2", CsvColumnDictionary::kMonthPiece },
        { "Birth Day", pim::ENTITY_EVENT, 3, "data2", CsvColumnDictionary::kDayPiece },
        // Another web-mail export.
        { "First", pim::ENTITY_NAME, 0, "", "data2" },
        { "Middle", pim::ENTITY_NAME, 0, "", "data4" },
        { "Last", pim::ENTITY_NAME, 0, "", "data3" },
        { "Alternate Email 1", pim::ENTITY_EMAIL, 0, "data2", "data1" },
        { "Alternate Email 2", pim::ENTITY_EMAIL, 0, "data2", "data1" },
        { "Messenger ID", pim::ENTITY_IM, 0, "data5", "data1" },
        { "Personal Website", pim::ENTITY_URL, 4, "data2", "data1" },
        { "Business Website", pim::ENTITY_URL, 5, "data2", "data1" },
        // Spreadsheets made by hand.
        { "Address", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Street", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "City", pim::ENTITY_ADDR, 0, "data2", "data7" },
        { "State", pim::ENTITY_ADDR, 0, "data2", "data8" },
        { "Postal Code", pim::ENTITY_ADDR, 0, "data2", "data9" },
        { "ZIP", pim::ENTITY_ADDR, 0, "data2", "data9" },
        { "Country", pim::ENTITY_ADDR, 0, "data2", "data10" },
    };
    addNamedColumns(t, rows, false);
}

// A desktop phone suite's export: after the names, each of the phone's
// fields for each of three kinds, "General mobile" to "Business
// country/region". "General" names no kind, as the phone's own card
// writes such a value without one: the value gets the kind the vCard
// reader gives a value that names none (a phone's Mobile, an e-mail's Home,
// a messaging address's Home, Other for the rest), only for a new entry.
// A mobile of Home is a Mobile, as a card's "cell,home" reads. Its internet
// call addresses are SIP addresses, kept as a card's X-SIP line keeps one.
// Names the tables above give already keep their meaning: the same one.
void addPhoneSuiteColumns(Table& t)
{
    QSet<QString> taken;
    for (auto it = t.cbegin(); it != t.cend(); ++it)
        taken.insert(CsvColumnDictionary::comparedForm(it.key()));
    const auto add = [&](const QString& name, int entityType, int subType, const char* valueKey, bool named,
                         const char* service = "") {
        if (taken.contains(CsvColumnDictionary::comparedForm(name)))
            return;
        ColInfo info(entityType, subType, kData2, QLatin1String(valueKey));
        info.typeNamed = named;
        info.service = QLatin1String(service);
        t.insert(name, info);
    };
    static const struct {
        const char* word;
        bool named;
        int phone;
        int mobile;
        int fax;
        int email;
        int url;
        int im;
        int addr;
    } kinds[] = {
        { "General", false, 2, 2, 13, 1, 0, 1, 0 },
        { "Home", true, 1, 2, 5, 1, 4, 1, 1 },
        { "Business", true, 3, 17, 4, 2, 5, 2, 2 },
    };
    static const struct {
        const char* field;
        const char* valueKey;
    } addrParts[] = {
        { "P.O.Box", CsvColumnDictionary::kPoBoxPiece },
        { "extension", CsvColumnDictionary::kExtendedAddressPiece },
        { "street", "data4" },
        { "postal/ZIP code", "data9" },
        { "city", "data7" },
        { "state/province", "data8" },
        { "country/region", "data10" },
    };
    for (const auto& k : kinds) {
        const QString prefix = QLatin1String(k.word) + QLatin1Char(' ');
        add(prefix + QLatin1String("mobile"), pim::ENTITY_PHONE, k.mobile, "data1", true);
        add(prefix + QLatin1String("phone"), pim::ENTITY_PHONE, k.phone, "data1", k.named);
        add(prefix + QLatin1String("email"), pim::ENTITY_EMAIL, k.email, "data1", k.named);
        add(prefix + QLatin1String("fax"), pim::ENTITY_PHONE, k.fax, "data1", true);
        // A number called with video, as the phone's card writes it: a
        // phone of the kind, no kind of its own.
        add(prefix + QLatin1String("video call"), pim::ENTITY_PHONE, k.phone, "data1", k.named);
        add(prefix + QLatin1String("web address"), pim::ENTITY_URL, k.url, "data1", k.named);
        add(prefix + QLatin1String("VOIP address"), pim::ENTITY_IM, k.im, "data1", k.named, "sip");
        for (const auto& part : addrParts)
            add(prefix + QLatin1String(part.field), pim::ENTITY_ADDR, k.addr, part.valueKey, k.named);
    }
    add(QStringLiteral("SIP address"), pim::ENTITY_IM, 1, "data1", false, "sip");
}

// Names of CRM, mailing-list and accounting exports that are not spellings
// of the names above (which lookup() finds once letter case, blanks, "_",
// "-" and the joins of camel case are set aside: "firstName",
// "MobilePhone", "postal_code"). Their lines of a street join as a desktop
// export's "Home Street 2" does.
void addBusinessExportColumns(Table& t)
{
    static const NamedColumn rows[] = {
        { "Salutation", pim::ENTITY_NAME, 0, "", "data5" },
        { "Email ID", pim::ENTITY_EMAIL, 1, "data2", "data1" },
        { "Telephone", pim::ENTITY_PHONE, 0, "data2", "data1" },
        { "Office Phone", pim::ENTITY_PHONE, 3, "data2", "data1" },
        { "Cell", pim::ENTITY_PHONE, 2, "data2", "data1" },
        { "Street Address", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Address 1", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Address 2", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Address 3", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Address Line 1", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Address Line 2", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Address Line 3", pim::ENTITY_ADDR, 0, "data2", "data4" },
        { "Town", pim::ENTITY_ADDR, 0, "data2", "data7" },
        { "Province", pim::ENTITY_ADDR, 0, "data2", "data8" },
        { "State/Province", pim::ENTITY_ADDR, 0, "data2", "data8" },
        { "Zip Code", pim::ENTITY_ADDR, 0, "data2", "data9" },
        { "Postcode", pim::ENTITY_ADDR, 0, "data2", "data9" },
        { "URL", pim::ENTITY_URL, 1, "data2", "data1" },
    };
    addNamedColumns(t, rows, false);
}

// Columns whose cells tell what they hold (CSVImport): both name a title,
// of a person or of a job, or a letter's greeting.
void markColumnsToldByCells(Table& t)
{
    t[QStringLiteral("Title")].toldByCells = ColInfo::ToldByCells::ElseAsGiven;
    t[QStringLiteral("Salutation")].toldByCells = ColInfo::ToldByCells::ElseLeftOut;
}

// Whole names in one cell: common exports and sheets made by hand. The
// name entity's display name, which the reader otherwise builds from the
// parts.
void addWholeNameColumns(Table& t)
{
    for (const char* name : { "Name", "Full Name" })
        t.insert(QString::fromLatin1(name), ColInfo(pim::ENTITY_NAME, 0, QString(), kData1));
}

// Names of other programs' columns that say nothing of the kind of their
// value, though a new value of them gets a sub-type.
void markUntypedColumns(Table& t)
{
    for (const char* name : { "E-mail Address", "E-mail 2 Address", "Primary Email", "Email", "E-mail",
                              "Email Address", "E-mail 1 - Value", "Web Page", "Website", "Web Site", "Email ID",
                              "URL" }) {
        const auto it = t.find(QString::fromLatin1(name));
        if (it != t.end())
            it->typeNamed = false;
    }
}

struct Dictionary {
    Table table;
    // The table by the compared form of its names, which lookup() searches.
    QHash<QString, ColInfo> compared;
    // The system's own names in that form: only these have numbered forms.
    QSet<QString> own;
    // The table by the loose form of its names, which lookup() searches for
    // a name it finds no other way. A loose form that two names of
    // different meanings share ("Birth Day", "Birthday") is no entry.
    QHash<QString, ColInfo> loose;
};

bool sameMeaning(const ColInfo& a, const ColInfo& b)
{
    return a.entityType == b.entityType && a.subType == b.subType && a.typeKey == b.typeKey
        && a.valueKey == b.valueKey && a.instance == b.instance && a.typeNamed == b.typeNamed && a.own == b.own
        && a.service == b.service && a.kind == b.kind && a.toldByCells == b.toldByCells;
}

Dictionary buildDictionary()
{
    Dictionary d;
    addOwnColumns(d.table);
    const QStringList ownNames = d.table.keys();
    addForeignColumns(d.table);
    addMoreForeignColumns(d.table);
    addWholeNameColumns(d.table);
    addPhoneSuiteColumns(d.table);
    addBusinessExportColumns(d.table);
    markUntypedColumns(d.table);
    markColumnsToldByCells(d.table);
    for (const QString& name : ownNames)
        d.table[name].own = true;
    for (auto it = d.table.cbegin(); it != d.table.cend(); ++it) {
        const QString key = CsvColumnDictionary::comparedForm(it.key());
        Q_ASSERT(!d.compared.contains(key));
        d.compared.insert(key, it.value());
        if (it->own)
            d.own.insert(key);
    }
    QSet<QString> shared;
    for (auto it = d.table.cbegin(); it != d.table.cend(); ++it) {
        const QString key = CsvColumnDictionary::looseForm(it.key());
        const auto known = d.loose.constFind(key);
        if (known == d.loose.constEnd())
            d.loose.insert(key, it.value());
        else if (!sameMeaning(*known, it.value()))
            shared.insert(key);
    }
    for (const QString& key : std::as_const(shared))
        d.loose.remove(key);
    return d;
}

const Dictionary& dictionary()
{
    static const Dictionary d = buildDictionary();
    return d;
}

const QString kAddrPrefix = QStringLiteral("Addr:");

// Where the number of a numbered own name goes, as written or in its
// compared form: after the label, so before an address name's part suffix.
qsizetype numberPosition(const QString& name)
{
    if (name.startsWith(kAddrPrefix, Qt::CaseInsensitive)) {
        const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
        if (colon >= kAddrPrefix.size())
            return colon;
    }
    return name.size();
}

// An own name whose label is a sub-type code without a label of its own
// ("tel:7", "addr:25:city", in compared form): the entry of its kind's
// "Other" column with that code.
ColInfo codeColumn(const QString& name)
{
    static const char* const prefixes[] = { "tel:", "email:", "date:", "im:", "rel:", "url:", "addr:" };
    for (const char* prefix : prefixes) {
        const QLatin1String p(prefix);
        if (!name.startsWith(p))
            continue;
        const qsizetype end = numberPosition(name);
        bool ok = false;
        const int code = QStringView(name).mid(p.size(), end - p.size()).toInt(&ok);
        if (!ok)
            return ColInfo();
        const QString other = p + QLatin1String("other") + name.mid(end);
        auto it = dictionary().compared.constFind(other);
        if (it == dictionary().compared.constEnd())
            return ColInfo();
        ColInfo info = *it;
        info.subType = code;
        return info;
    }
    return ColInfo();
}

// A web-mail export's numbered column ("phone 7 - value", "address 2 -
// city", in compared form): the entry of the first of its kind. Each cell
// of a phone or an e-mail column is a value of its own anyway; an address
// or an organisation is the number-th of its kind.
ColInfo webMailNumberedColumn(const QString& name)
{
    static const QLatin1String kSeparator(" - ");
    const qsizetype dash = name.indexOf(kSeparator);
    if (dash <= 0)
        return ColInfo();
    const qsizetype blank = name.lastIndexOf(QLatin1Char(' '), dash - 1);
    if (blank <= 0 || blank + 1 >= dash)
        return ColInfo();
    const QStringView digits = QStringView(name).mid(blank + 1, dash - blank - 1);
    if (digits.front() == u'0')
        return ColInfo();
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return ColInfo();
    }
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok || number < 2)
        return ColInfo();
    const QHash<QString, ColInfo>& table = dictionary().compared;
    const auto first = table.constFind(name.left(blank) + QLatin1String(" 1") + name.mid(dash));
    if (first == table.constEnd() || first->own)
        return ColInfo();
    ColInfo info = *first;
    if (!pim::isMultiValued(info.entityType))
        info.instance = number - 1;
    return info;
}

// The system's own name of a messaging address with its kind, a label or
// a code, before its protocol's label or code ("im:work:skype",
// "im:other:12", "im:7:jabber", in compared form): the entry of the
// protocol's column, with that kind.
ColInfo kindedImColumn(const QString& name)
{
    static const QLatin1String kPrefix("im:");
    if (!name.startsWith(kPrefix))
        return ColInfo();
    const qsizetype colon = name.indexOf(u':', kPrefix.size());
    if (colon < 0)
        return ColInfo();
    const QStringView kindText = QStringView(name).mid(kPrefix.size(), colon - kPrefix.size());
    std::optional<int> kind;
    const QMap<int, QString> kinds = pim::imTypeMap();
    for (auto it = kinds.cbegin(); it != kinds.cend() && !kind; ++it) {
        if (kindText.compare(*it, Qt::CaseInsensitive) == 0)
            kind = it.key();
    }
    if (!kind) {
        bool ok = false;
        const int code = kindText.toInt(&ok);
        if (!ok || !kindText.front().isDigit())
            return ColInfo();
        kind = code;
    }
    const QString protocol = kPrefix + name.mid(colon + 1);
    const Dictionary& d = dictionary();
    ColInfo info = d.own.contains(protocol) ? d.compared.value(protocol) : codeColumn(protocol);
    if (info.entityType != pim::ENTITY_IM)
        return ColInfo();
    info.kind = *kind;
    return info;
}

// An own name that the table does not list: a messaging column of a kind,
// or a label given by its code.
ColInfo unlistedOwnColumn(const QString& name)
{
    if (const ColInfo kinded = kindedImColumn(name); kinded.entityType != 0)
        return kinded;
    return codeColumn(name);
}

ColInfo ownColumn(const QString& name)
{
    const Dictionary& d = dictionary();
    if (d.own.contains(name))
        return d.compared.value(name);
    return unlistedOwnColumn(name);
}

// The entry of a name in compared form, by the name itself or by one of its
// numbered forms.
ColInfo lookupCompared(const QString& name)
{
    const QHash<QString, ColInfo>& table = dictionary().compared;
    const auto it = table.constFind(name);
    if (it != table.constEnd())
        return *it;

    // "tel:home 2", "addr:home 2:street": the number follows a blank
    // after the label and is 2 or more.
    const qsizetype at = numberPosition(name);
    const qsizetype blank = name.lastIndexOf(QLatin1Char(' '), at - 1);
    if (blank > 0 && blank + 1 < at) {
        bool ok = false;
        const int number = QStringView(name).mid(blank + 1, at - blank - 1).toInt(&ok);
        if (ok && number >= 2 && name.at(blank + 1).isDigit()) {
            const QString base = name.left(blank) + name.mid(at);
            ColInfo info = ownColumn(base);
            if (info.entityType != 0) {
                info.instance = number - 1;
                return info;
            }
        }
    }
    if (const ColInfo numbered = webMailNumberedColumn(name); numbered.entityType != 0)
        return numbered;
    return unlistedOwnColumn(name);
}

} // namespace

const QMap<QString, CsvColumnDictionary::_ColInfo>& CsvColumnDictionary::entries()
{
    return dictionary().table;
}

QString CsvColumnDictionary::numberedName(const QString& name, int instance)
{
    if (instance <= 0)
        return name;
    QString numbered = name;
    numbered.insert(numberPosition(name), QLatin1Char(' ') + QString::number(instance + 1));
    return numbered;
}

QString CsvColumnDictionary::comparedForm(const QString& headerName)
{
    return headerName.trimmed().toCaseFolded();
}

CsvColumnDictionary::_ColInfo CsvColumnDictionary::lookup(const QString& headerName)
{
    const QString name = comparedForm(headerName);
    const ColInfo info = lookupCompared(name);
    // Web apps and databases head their columns "first_name",
    // "phone_number": an underscore stands for the blank of a name the
    // table knows. A name the table holds as written keeps its entry.
    if (info.entityType != 0)
        return info;
    if (name.contains(u'_')) {
        if (const ColInfo spaced = lookupCompared(comparedForm(QString(name).replace(u'_', u' ')));
            spaced.entityType != 0)
            return spaced;
    }
    // CRM and mailing-list exports join the words of a name in camel case
    // or with "-" ("firstName", "MobilePhone", "zip-code"): a name the table
    // knows once those and blanks are set aside is that name.
    return dictionary().loose.value(looseForm(name));
}

QString CsvColumnDictionary::looseForm(const QString& headerName)
{
    QString loose;
    loose.reserve(headerName.size());
    for (const QChar c : headerName) {
        if (!c.isSpace() && c != u'_' && c != u'-')
            loose.append(c);
    }
    return loose.toCaseFolded();
}

bool CsvColumnDictionary::isPieceKey(const QString& valueKey)
{
    for (const char* piece : { kExtendedAddressPiece, kPoBoxPiece, kFormattedAddressPiece, kYearPiece, kMonthPiece,
                               kDayPiece, kNameReadingPiece }) {
        if (valueKey == QLatin1String(piece))
            return true;
    }
    return false;
}
