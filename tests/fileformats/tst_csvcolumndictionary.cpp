// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvimport.h"

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
struct Row {
    const char* name;
    int entityType;
    int subType;
    const char* typeKey;
    const char* valueKey;
};

const Row kRows[] = {
        { "Prefix", 1, 0, "", "data5" },
        { "First Name", 1, 0, "", "data2" },
        { "Middle Name", 1, 0, "", "data4" },
        { "Last Name", 1, 0, "", "data3" },
        { "Suffix", 1, 0, "", "data6" },
        { "Tel:Other", 3, 0, "data2", "data1" },
        { "Tel:Home", 3, 1, "data2", "data1" },
        { "Tel:Mobile", 3, 2, "data2", "data1" },
        { "Tel:Work", 3, 3, "data2", "data1" },
        { "Tel:Work Fax", 3, 4, "data2", "data1" },
        { "Tel:Home Fax", 3, 5, "data2", "data1" },
        { "Tel:Pager", 3, 6, "data2", "data1" },
        { "Tel:Callback", 3, 8, "data2", "data1" },
        { "Tel:Car", 3, 9, "data2", "data1" },
        { "Tel:Company Main", 3, 10, "data2", "data1" },
        { "Tel:ISDN", 3, 11, "data2", "data1" },
        { "Tel:Main", 3, 12, "data2", "data1" },
        { "Tel:Other Fax", 3, 13, "data2", "data1" },
        { "Tel:Radio", 3, 14, "data2", "data1" },
        { "Tel:Telex", 3, 15, "data2", "data1" },
        { "Tel:TTY TDD", 3, 16, "data2", "data1" },
        { "Tel:Work Mobile", 3, 17, "data2", "data1" },
        { "Tel:Work Pager", 3, 18, "data2", "data1" },
        { "Tel:Assistant", 3, 19, "data2", "data1" },
        { "Tel:MMS", 3, 20, "data2", "data1" },
        { "Email:Other", 4, 0, "data2", "data1" },
        { "Email:Home", 4, 1, "data2", "data1" },
        { "Email:Work", 4, 2, "data2", "data1" },
        { "Email:Mobile", 4, 4, "data2", "data1" },
        { "Nickname", 5, 1, "", "data1" },
        { "Date:Other", 6, 0, "data2", "data1" },
        { "Date:Anniversary", 6, 1, "data2", "data1" },
        { "Date:Birthday", 6, 3, "data2", "data1" },
        { "Category", 7, 0, "", "data2" },
        { "IM:Other", 8, 0, "data5", "data1" },
        { "IM:AIM", 8, 1, "data5", "data1" },
        { "IM:MSN", 8, 2, "data5", "data1" },
        { "IM:Yahoo", 8, 3, "data5", "data1" },
        { "IM:Skype", 8, 4, "data5", "data1" },
        { "IM:QQ", 8, 5, "data5", "data1" },
        { "IM:Google Talk", 8, 6, "data5", "data1" },
        { "IM:ICQ", 8, 7, "data5", "data1" },
        { "IM:Jabber", 8, 8, "data5", "data1" },
        { "IM:Net Meeting", 8, 9, "data5", "data1" },
        { "IM:Gadu Gadu", 8, 10, "data5", "data1" },
        { "IM:Facebook", 8, 11, "data5", "data1" },
        { "Notes", 9, 0, "", "data1" },
        { "Company", 10, 0, "data2", "data1" },
        { "Department", 10, 0, "data2", "data5" },
        { "Job Title", 10, 0, "data2", "data4" },
        { "Rel:Other", 11, 0, "data2", "data1" },
        { "Rel:Assistant", 11, 1, "data2", "data1" },
        { "Rel:Brother", 11, 2, "data2", "data1" },
        { "Rel:Child", 11, 3, "data2", "data1" },
        { "Rel:Domestic Partner", 11, 4, "data2", "data1" },
        { "Rel:Father", 11, 5, "data2", "data1" },
        { "Rel:Friend", 11, 6, "data2", "data1" },
        { "Rel:Manager", 11, 7, "data2", "data1" },
        { "Rel:Mother", 11, 8, "data2", "data1" },
        { "Rel:Parent", 11, 9, "data2", "data1" },
        { "Rel:Partner", 11, 10, "data2", "data1" },
        { "Rel:Referred by", 11, 11, "data2", "data1" },
        { "Rel:Relative", 11, 12, "data2", "data1" },
        { "Rel:Sister", 11, 13, "data2", "data1" },
        { "Rel:Spouse", 11, 14, "data2", "data1" },
        { "Addr:Other:Country", 12, 0, "data2", "data10" },
        { "Addr:Other:State", 12, 0, "data2", "data8" },
        { "Addr:Other:City", 12, 0, "data2", "data7" },
        { "Addr:Other:Street", 12, 0, "data2", "data4" },
        { "Addr:Other:Postcode", 12, 0, "data2", "data9" },
        { "Addr:Home:Country", 12, 1, "data2", "data10" },
        { "Addr:Home:State", 12, 1, "data2", "data8" },
        { "Addr:Home:City", 12, 1, "data2", "data7" },
        { "Addr:Home:Street", 12, 1, "data2", "data4" },
        { "Addr:Home:Postcode", 12, 1, "data2", "data9" },
        { "Addr:Work:Country", 12, 2, "data2", "data10" },
        { "Addr:Work:State", 12, 2, "data2", "data8" },
        { "Addr:Work:City", 12, 2, "data2", "data7" },
        { "Addr:Work:Street", 12, 2, "data2", "data4" },
        { "Addr:Work:Postcode", 12, 2, "data2", "data9" },
        { "Url:Other", 13, 0, "data2", "data1" },
        { "Url:Home page", 13, 1, "data2", "data1" },
        { "Url:Blog", 13, 2, "data2", "data1" },
        { "Url:Profile", 13, 3, "data2", "data1" },
        { "Url:Home", 13, 4, "data2", "data1" },
        { "Url:Work", 13, 5, "data2", "data1" },
        { "Url:FTP", 13, 6, "data2", "data1" },
        { "Title", 1, 0, "", "data5" },
        { "Web Page", 13, 1, "data2", "data1" },
        { "Anniversary", 6, 1, "data2", "data1" },
        { "E-mail Address", 4, 1, "data2", "data1" },
        { "E-mail 2 Address", 4, 2, "data2", "data1" },
        { "E-mail 3 Address", 4, 0, "data2", "data1" },
        { "Primary Phone", 3, 12, "data2", "data1" },
        { "Home Phone", 3, 1, "data2", "data1" },
        { "Home Phone 2", 3, 1, "data2", "data1" },
        { "Mobile Phone", 3, 2, "data2", "data1" },
        { "Pager", 3, 6, "data2", "data1" },
        { "Company Main Phone", 3, 10, "data2", "data1" },
        { "Business Phone", 3, 3, "data2", "data1" },
        { "Business Phone 2", 3, 17, "data2", "data1" },
        { "Business Fax", 3, 4, "data2", "data1" },
        { "Assistant's Phone", 3, 19, "data2", "data1" },
        { "Other Phone", 3, 0, "data2", "data1" },
        { "Other Fax", 3, 13, "data2", "data1" },
        { "Home Fax", 3, 5, "data2", "data1" },
        { "Callback", 3, 8, "data2", "data1" },
        { "Car Phone", 3, 9, "data2", "data1" },
        { "ISDN", 3, 11, "data2", "data1" },
        { "Radio Phone", 3, 14, "data2", "data1" },
        { "TTY/TDD Phone", 3, 16, "data2", "data1" },
        { "Telex", 3, 15, "data2", "data1" },
        { "Spouse", 11, 14, "data2", "data1" },
        { "Children", 11, 3, "data2", "data1" },
        { "Manager's Name", 11, 7, "data2", "data1" },
        { "Assistant's Name", 11, 1, "data2", "data1" },
        { "Referred By", 11, 11, "data2", "data1" },
        { "Categories", 7, 0, "", "data2" },
        { "Given Name", 1, 0, "", "data2" },
        { "Additional Name", 1, 0, "", "data4" },
        { "Family Name", 1, 0, "", "data3" },
        { "Name Prefix", 1, 0, "", "data5" },
        { "Name Suffix", 1, 0, "", "data6" },
        { "Birthday", 6, 3, "data2", "data1" },
        { "E-mail 1 - Value", 4, 1, "data2", "data1" },
        { "Home Street", 12, 1, "data2", "data4" },
        { "Home Street 2", 12, 1, "data2", "data4" },
        { "Home Street 3", 12, 1, "data2", "data4" },
        { "Home City", 12, 1, "data2", "data7" },
        { "Home State", 12, 1, "data2", "data8" },
        { "Home Postal Code", 12, 1, "data2", "data9" },
        { "Home Country", 12, 1, "data2", "data10" },
        { "Business Street", 12, 2, "data2", "data4" },
        { "Business Street 2", 12, 2, "data2", "data4" },
        { "Business Street 3", 12, 2, "data2", "data4" },
        { "Business City", 12, 2, "data2", "data7" },
        { "Business State", 12, 2, "data2", "data8" },
        { "Business Postal Code", 12, 2, "data2", "data9" },
        { "Business Country", 12, 2, "data2", "data10" },
        { "Other Street", 12, 0, "data2", "data4" },
        { "Other Street 2", 12, 0, "data2", "data4" },
        { "Other Street 3", 12, 0, "data2", "data4" },
        { "Other City", 12, 0, "data2", "data7" },
        { "Other State", 12, 0, "data2", "data8" },
        { "Other Postal Code", 12, 0, "data2", "data9" },
        { "Other Country", 12, 0, "data2", "data10" },
};
} // namespace

void TestCsvColumnDictionary::everyKnownHeader_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("entityType");
    QTest::addColumn<int>("subType");
    QTest::addColumn<QString>("typeKey");
    QTest::addColumn<QString>("valueKey");
    for (const Row& r : kRows) {
        QTest::newRow(r.name) << QString::fromUtf8(r.name) << r.entityType << r.subType
                              << QString::fromLatin1(r.typeKey) << QString::fromLatin1(r.valueKey);
    }
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
    for (const Row& r : kRows)
        expected.insert(QString::fromUtf8(r.name));
    const auto& entries = CsvColumnDictionary::entries();
    QCOMPARE(entries.size(), 146);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        QVERIFY2(expected.contains(it.key()), qPrintable(it.key()));
}

void TestCsvColumnDictionary::unknownHeaderIsIgnored_data()
{
    QTest::addColumn<QString>("header");
    QTest::newRow("lower-case first name") << QStringLiteral("first name");
    QTest::newRow("trailing blank") << QStringLiteral("First Name ");
    QTest::newRow("blank after prefix") << QStringLiteral("Tel: Home");
    QTest::newRow("bare prefix") << QStringLiteral("Tel:");
    QTest::newRow("empty") << QString();
    QTest::newRow("small p in Home Phone") << QStringLiteral("Home phone");
    QTest::newRow("capital M in E-mail") << QStringLiteral("E-Mail Address");
    QTest::newRow("capital B in Rel:Referred by") << QStringLiteral("Rel:Referred By");
    QTest::newRow("Domestic Partner without blank") << QStringLiteral("Rel:DomesticPartner");
    QTest::newRow("address label without part") << QStringLiteral("Addr:Home");
    QTest::newRow("other word for postcode") << QStringLiteral("Addr:Home:Zip");
    QTest::newRow("second numbered e-mail") << QStringLiteral("E-mail 2 - Value");
    QTest::newRow("ftp in lower case") << QStringLiteral("Url:Ftp");
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
