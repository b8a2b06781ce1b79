// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvimport.h"

#include <QTest>

// The whole column dictionary, written out from the published column lists
// rather than from the label tables, so a changed or misspelt label shows.
class TestCsvColumnDictionary : public QObject {
    Q_OBJECT
private slots:
    void everyKnownHeader_data();
    void everyKnownHeader();
    void tableHoldsExactlyTheKnownHeaders();
    void unknownHeaderIsIgnored_data();
    void unknownHeaderIsIgnored();
};

namespace {
struct Entry {
    const char* name;
    int subType;
    const char* valueKey = nullptr; // the group's, unless given
};

struct KnownHeader {
    QString name;
    int entityType;
    int subType;
    QString typeKey;
    QString valueKey;
};

QList<KnownHeader> knownHeaders()
{
    QList<KnownHeader> out;
    const auto add = [&out](int type, const char* typeKey, const char* valueKey, std::initializer_list<Entry> entries) {
        for (const Entry& e : entries)
            out.append({ QString::fromUtf8(e.name), type, e.subType, QString::fromLatin1(typeKey),
                         QString::fromLatin1(e.valueKey ? e.valueKey : valueKey) });
    };
    add(1, "", "data2", { { "Prefix", 0, "data5" }, { "First Name", 0 }, { "Middle Name", 0, "data4" },
      { "Last Name", 0, "data3" }, { "Suffix", 0, "data6" }, { "Title", 0, "data5" }, { "Given Name", 0 },
      { "Additional Name", 0, "data4" }, { "Family Name", 0, "data3" }, { "Name Prefix", 0, "data5" },
      { "Name Suffix", 0, "data6" } });
    add(3, "data2", "data1", {
      { "Tel:Other", 0 }, { "Tel:Home", 1 }, { "Tel:Mobile", 2 }, { "Tel:Work", 3 }, { "Tel:Work Fax", 4 },
      { "Tel:Home Fax", 5 }, { "Tel:Pager", 6 }, { "Tel:Callback", 8 }, { "Tel:Car", 9 },
      { "Tel:Company Main", 10 }, { "Tel:ISDN", 11 }, { "Tel:Main", 12 }, { "Tel:Other Fax", 13 },
      { "Tel:Radio", 14 }, { "Tel:Telex", 15 }, { "Tel:TTY TDD", 16 }, { "Tel:Work Mobile", 17 },
      { "Tel:Work Pager", 18 }, { "Tel:Assistant", 19 }, { "Tel:MMS", 20 }, { "Primary Phone", 12 },
      { "Home Phone", 1 }, { "Home Phone 2", 1 }, { "Mobile Phone", 2 }, { "Pager", 6 },
      { "Company Main Phone", 10 }, { "Business Phone", 3 }, { "Business Phone 2", 17 }, { "Business Fax", 4 },
      { "Assistant's Phone", 19 }, { "Other Phone", 0 }, { "Other Fax", 13 }, { "Home Fax", 5 },
      { "Callback", 8 }, { "Car Phone", 9 }, { "ISDN", 11 }, { "Radio Phone", 14 }, { "TTY/TDD Phone", 16 },
      { "Telex", 15 } });
    add(4, "data2", "data1", {
      { "Email:Other", 0 }, { "Email:Home", 1 }, { "Email:Work", 2 }, { "Email:Mobile", 4 },
      { "E-mail Address", 1 }, { "E-mail 2 Address", 2 }, { "E-mail 3 Address", 0 }, { "E-mail 1 - Value", 1 } });
    add(5, "", "data1", {
      { "Nickname", 1 } });
    add(6, "data2", "data1", {
      { "Date:Other", 0 }, { "Date:Anniversary", 1 }, { "Date:Birthday", 3 }, { "Anniversary", 1 },
      { "Birthday", 3 } });
    add(7, "", "data2", {
      { "Category", 0 }, { "Categories", 0 } });
    add(8, "data5", "data1", {
      { "IM:Other", 0 }, { "IM:AIM", 1 }, { "IM:MSN", 2 }, { "IM:Yahoo", 3 }, { "IM:Skype", 4 }, { "IM:QQ", 5 },
      { "IM:Google Talk", 6 }, { "IM:ICQ", 7 }, { "IM:Jabber", 8 }, { "IM:Net Meeting", 9 },
      { "IM:Gadu Gadu", 10 }, { "IM:Facebook", 11 } });
    add(9, "", "data1", {
      { "Notes", 0 } });
    add(10, "data2", "data1", {
      { "Company", 0 }, { "Department", 0, "data5" }, { "Job Title", 0, "data4" } });
    add(11, "data2", "data1", {
      { "Rel:Other", 0 }, { "Rel:Assistant", 1 }, { "Rel:Brother", 2 }, { "Rel:Child", 3 },
      { "Rel:Domestic Partner", 4 }, { "Rel:Father", 5 }, { "Rel:Friend", 6 }, { "Rel:Manager", 7 },
      { "Rel:Mother", 8 }, { "Rel:Parent", 9 }, { "Rel:Partner", 10 }, { "Rel:Referred by", 11 },
      { "Rel:Relative", 12 }, { "Rel:Sister", 13 }, { "Rel:Spouse", 14 }, { "Spouse", 14 }, { "Children", 3 },
      { "Manager's Name", 7 }, { "Assistant's Name", 1 }, { "Referred By", 11 } });
    add(12, "data2", "data4", {
      { "Addr:Other:Country", 0, "data10" }, { "Addr:Other:State", 0, "data8" },
      { "Addr:Other:City", 0, "data7" }, { "Addr:Other:Street", 0 }, { "Addr:Other:Postcode", 0, "data9" },
      { "Addr:Home:Country", 1, "data10" }, { "Addr:Home:State", 1, "data8" },
      { "Addr:Home:City", 1, "data7" }, { "Addr:Home:Street", 1 }, { "Addr:Home:Postcode", 1, "data9" },
      { "Addr:Work:Country", 2, "data10" }, { "Addr:Work:State", 2, "data8" },
      { "Addr:Work:City", 2, "data7" }, { "Addr:Work:Street", 2 }, { "Addr:Work:Postcode", 2, "data9" },
      { "Home Street", 1 }, { "Home Street 2", 1 }, { "Home Street 3", 1 }, { "Home City", 1, "data7" },
      { "Home State", 1, "data8" }, { "Home Postal Code", 1, "data9" }, { "Home Country", 1, "data10" },
      { "Business Street", 2 }, { "Business Street 2", 2 }, { "Business Street 3", 2 },
      { "Business City", 2, "data7" }, { "Business State", 2, "data8" },
      { "Business Postal Code", 2, "data9" }, { "Business Country", 2, "data10" }, { "Other Street", 0 },
      { "Other Street 2", 0 }, { "Other Street 3", 0 }, { "Other City", 0, "data7" },
      { "Other State", 0, "data8" }, { "Other Postal Code", 0, "data9" }, { "Other Country", 0, "data10" } });
    add(13, "data2", "data1", {
      { "Url:Other", 0 }, { "Url:Home page", 1 }, { "Url:Blog", 2 }, { "Url:Profile", 3 }, { "Url:Home", 4 },
      { "Url:Work", 5 }, { "Url:FTP", 6 }, { "Web Page", 1 } });
    return out;
}

} // namespace

void TestCsvColumnDictionary::everyKnownHeader_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("entityType");
    QTest::addColumn<int>("subType");
    QTest::addColumn<QString>("typeKey");
    QTest::addColumn<QString>("valueKey");
    for (const KnownHeader& h : knownHeaders())
        QTest::newRow(qPrintable(h.name)) << h.name << h.entityType << h.subType << h.typeKey << h.valueKey;
}

void TestCsvColumnDictionary::everyKnownHeader()
{
    QFETCH(QString, header);
    QFETCH(int, entityType);
    QFETCH(int, subType);
    QFETCH(QString, typeKey);
    QFETCH(QString, valueKey);

    const CSVImport::_ColInfo info = CSVImport::colInfo(header);
    QCOMPARE(info.entityType, entityType);
    QCOMPARE(info.subType, subType);
    QCOMPARE(info.typeKey, typeKey);
    QCOMPARE(info.valueKey, valueKey);
}

void TestCsvColumnDictionary::tableHoldsExactlyTheKnownHeaders()
{
    QSet<QString> expected;
    for (const KnownHeader& h : knownHeaders())
        expected.insert(h.name);
    const auto& entries = CsvColumnDictionary::entries();
    QCOMPARE(entries.size(), expected.size());
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        QVERIFY2(expected.contains(it.key()), qPrintable(it.key()));
}

void TestCsvColumnDictionary::unknownHeaderIsIgnored_data()
{
    QTest::addColumn<QString>("header");
    QTest::newRow("lower-case first name") << QStringLiteral("first name");
    QTest::newRow("trailing blank") << QStringLiteral("First Name ");
    QTest::newRow("bare prefix") << QStringLiteral("Tel:");
    QTest::newRow("empty") << QString();
    QTest::newRow("capital M in E-mail") << QStringLiteral("E-Mail Address");
    QTest::newRow("capital B in Rel:Referred by") << QStringLiteral("Rel:Referred By");
    QTest::newRow("address label without part") << QStringLiteral("Addr:Home");
    QTest::newRow("other word for postcode") << QStringLiteral("Addr:Home:Zip");
    QTest::newRow("country/region variant") << QStringLiteral("Home Country/Region");
}

void TestCsvColumnDictionary::unknownHeaderIsIgnored()
{
    QFETCH(QString, header);
    const int before = int(CsvColumnDictionary::entries().size());
    const CSVImport::_ColInfo info = CSVImport::colInfo(header);
    QCOMPARE(info.entityType, 0);
    QCOMPARE(info.subType, 0);
    QVERIFY(info.typeKey.isEmpty());
    QVERIFY(info.valueKey.isEmpty());
    // Headers of arbitrary files must not grow the program-wide table.
    QCOMPARE(int(CsvColumnDictionary::entries().size()), before);
}

QTEST_GUILESS_MAIN(TestCsvColumnDictionary)
#include "tst_csvcolumndictionary.moc"
