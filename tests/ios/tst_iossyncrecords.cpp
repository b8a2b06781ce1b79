#include "common/contactbuilders.h"
#include "ios/iossyncrecordreader.h"
#include "ios/iossynctodevicethread.h"
#include "iossyncfixture.h"

#include <QTest>

namespace {
// Dates are read as local time: the expected texts below hold in UTC.
const bool utc = qputenv("TZ", "UTC");

using Fields = QVariantMap;
using testkit::entityOf;

QString brief(const PlistCFType& records)
{
    return records.toString().replace("com.apple.syncservices.RecordEntityName : com.apple.contacts.", "");
}

pim::Entity stored(const Fields& fields, unsigned long long id, const QString& srcId = {})
{
    pim::Entity e = entityOf(fields);
    e.id = id;
    e.srcId = srcId;
    return e;
}
} // namespace

class tst_IOSSyncRecords : public QObject {
    Q_OBJECT
private slots:
    void shouldWriteChildRecords_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QString>("srcId");
        QTest::addColumn<QString>("expected");
        const QString phone = "{3/3081/-12 : {Phone Number, value : %1, type : %2, contact : [3081]}}";
        QTest::newRow("phone main") << 3 << Fields{{"data1", "+1 555"}, {"data2", 12}} << "" << phone.arg("+1 555", "main");
        QTest::newRow("empty value") << 3 << Fields{{"data2", 2}, {"data3", "x"}} << "" << "{}";
        QTest::newRow("known record keeps its id") << 4 << Fields{{"data1", "a@b"}, {"data2", 4}} << "77"
                                                   << "{77 : {Email Address, value : a@b, type : other, contact : [3081]}}";
        QTest::newRow("address") << 12 << Fields{{"data4", "Main St 1"}, {"data7", "Town"}, {"data8", "ST"},
                                                           {"data9", "12345"}, {"data10", "Land"}, {"data11", "LD"}, {"data2", 2}}
                                           << "" << "{5/3081/-12 : {Street Address, country : Land, country code : LD, state : ST, "
                                                    "city : Town, street : Main St 1, postal code : 12345, type : work, contact : [3081]}}";
        QTest::newRow("address of a postal code only") << 12 << Fields{{"data9", "12345"}, {"data11", "LD"}, {"data3", "x"}} << ""
                                                       << "{5/3081/-12 : {Street Address, country code : LD, postal code : 12345, label : x, "
                                                          "type : other, contact : [3081]}}";
        QTest::newRow("address of a country's code only") << 12 << Fields{{"data11", "LD"}, {"data3", "x"}} << "" << "{}";
        QTest::newRow("birthday travels in the contact") << 6 << Fields{{"data1", "1990-05-17"}, {"data2", 3}} << "" << "{}";
        QTest::newRow("impossible date") << 6 << Fields{{"data1", "1990-02-30"}} << "" << "{}";
        QTest::newRow("group membership never travels") << 7 << Fields{{"data1", "1"}, {"data2", "G"}} << "" << "{}";
    }

    void shouldWriteChildRecords()
    {
        QFETCH(int, type);
        QFETCH(Fields, fields);
        QFETCH(QString, srcId);
        PlistCFType records = PlistCFType::createCFDictionary();
        IOSSyncToDeviceThread::addPlistDataFromEntity(records, "3081", type, -12, stored(fields, 12, srcId));
        QTEST(brief(records), "expected");
    }

    void shouldWriteTheContactRecord_data()
    {
        QTest::addColumn<pim::_Contact>("contact");
        QTest::addColumn<QString>("expected");
        pim::_Contact known = testkit::contactOf("X", {{1, {Fields{{"data2", ""}, {"data3", "Kim"}, {"data5", "Dr"}}, Fields{{"data2", "Second"}}}},
                                                       {2, {Fields{{"data15", QByteArray()}}}},
                                                       {10, {Fields{{"data1", "ACME"}, {"data4", "Boss"}}}}});
        known.id = 57;
        known.srcId = "1234";
        QTest::newRow("first name entity, known id") << known << "{1234 : {Contact, display as company : person, last name : Kim, "
                                                                 "title : Dr, company name : ACME, job title : Boss}}";
        pim::_Contact dated = testkit::contactOf("Y", {{6, {Fields{{"data1", "1980-05-17"}, {"data2", 3}}, Fields{{"data1", "2000-01-01"}, {"data2", 1}},
                                                            Fields{{"data1", "1981-06-18T00:00:00"}, {"data2", "3"}}, Fields{{"data1", "bad"}, {"data2", 3}}}},
                                                       {5, {Fields{{"data1", "Bo"}}}}, {9, {Fields{{"data1", "note"}}}}});
        dated.id = 8;
        QTest::newRow("last readable birthday wins") << dated << "{-8 : {Contact, display as company : person, nickname : Bo, "
                                                                 "birthday : Thu Jun 18 00:00:00 1981, notes : note}}";
    }

    void shouldWriteTheContactRecord()
    {
        QFETCH(pim::_Contact, contact);
        PlistCFType records = PlistCFType::createCFDictionary();
        IOSSyncToDeviceThread::addPlistDataFromContact(records, contact);
        QTEST(brief(records), "expected");
    }

    void shouldReadRecords_data()
    {
        QTest::addColumn<QJsonArray>("batch");
        QTest::addColumn<QStringList>("rows");
        const auto pair = [](const char* id, const QJsonValue& r) { return QJsonArray{id, r}; };
        const auto child = [](const char* kind, QJsonObject f, QJsonArray parents = {"C1"}) {
            f["contact"] = parents;
            return record(kind, f);
        };
        const QJsonArray kim = pair("C1", record("Contact", {{"last name", "Kim"}}));
        QTest::newRow("last name only") << QJsonArray{kim} << QStringList{"Kim|1|Kim||Kim|C1"};
        QTest::newRow("company, birthday, nickname") << QJsonArray{pair("C1", record("Contact", {{"company name", "ACME"}, {"nickname", "Bo"},
                                                                                                {"birthday", QJsonObject{{"$date", "1980-05-17T00:00:00Z"}}}}))}
                                                     << QStringList{"|1||||C1", "|5|Bo|1||C1", "|10|ACME|1||C1", "|6|1980-05-17T00:00:00|3||C1"};
        QTest::newRow("type words") << QJsonArray{kim, pair("p", child("Phone Number", {{"value", "1"}, {"type", "main"}})),
                                                  pair("q", child("Phone Number", {{"type", "Mobile"}, {"label", "L"}})),
                                                  pair("u", child("URL", {{"value", "w"}, {"type", "home"}})),
                                                  pair("e", child("Email Address", {{"value", "m"}, {"type", "mobile"}})),
                                                  pair("i", child("IM", {{"user", "me"}, {"service", "AIM"}, {"type", "work"}})),
                                                  pair("d", child("Date", {{"type", "birthday"}})),
                                                  pair("r", child("Related Name", {{"value", "Ann"}, {"type", "mother"}, {"label", "Mum"}}))}
                                    << QStringList{"Kim|1|Kim||Kim|C1", "Kim|3|1|12||p", "Kim|3|||L|q", "Kim|13|w|4||u", "Kim|4|m|||e",
                                                   "Kim|8|me|2||i", "Kim|6||||d", "Kim|11|Ann|8|Mum|r"};
        QTest::newRow("address text") << QJsonArray{kim, pair("a", child("Street Address", {{"street", "Main St 1"}, {"city", "Town"}, {"state", "ST"},
                                                                                           {"postal code", "12345"}, {"country", "Land"}}))}
                                      << QStringList{"Kim|1|Kim||Kim|C1", "Kim|12|Main St 1\nTown, ST 12345\nLand|||a"};
        QTest::newRow("parents: two, a text, none known") << QJsonArray{kim, pair("C2", record("Contact", {{"first name", "Lee"}})),
                                                                        pair("two", child("Email Address", {{"value", "x"}}, {"C1", "C2"})),
                                                                        pair("text", record("Email Address", {{"value", "y"}, {"contact", "C1"}})),
                                                                        pair("none", child("Email Address", {{"value", "z"}}, {"C9"}))}
                                                          << QStringList{"Kim|1|Kim||Kim|C1", "Lee|1|Lee|Lee||C2", "Kim|4|x|||two", "Lee|4|x|||two"};
    }

    void shouldReadRecords()
    {
        QFETCH(QJsonArray, batch);
        DeviceDb device;
        device.db->beginEdit();
        IOSSyncRecordReader reader(*device.db);
        for (const QJsonValue& pair : batch)
            reader.readRecord(pair[0].toString(), plistOf(pair[1]));
        reader.finish();
        device.db->endEdit(true);
        QTEST(device.rows(), "rows");
        QCOMPARE(reader.droppedChildren(), QTest::currentDataTag() == QByteArray("parents: two, a text, none known") ? 1 : 0);
    }

    // Written, then read back: where the two directions are not inverse.
    void shouldRoundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("phone car becomes other") << 3 << Fields{{"data1", "1"}, {"data2", 9}} << "1|0|";
        QTest::newRow("label keeps the code") << 4 << Fields{{"data1", "m"}, {"data2", 2}, {"data3", "Club"}} << "m|2|Club";
        QTest::newRow("date alone gains a time") << 6 << Fields{{"data1", "1990-05-17"}, {"data2", 1}} << "1990-05-17T00:00:00|1|";
        QTest::newRow("labelled birthday comes back other") << 6 << Fields{{"data1", "1990-05-17"}, {"data2", 3}, {"data3", "B"}}
                                                            << "1990-05-17T00:00:00|0|B";
        QTest::newRow("im loses its own protocol") << 8 << Fields{{"data1", "me"}, {"data5", 4}, {"data6", "X"}} << "me|0|";
    }

    void shouldRoundTrip()
    {
        QFETCH(int, type);
        QFETCH(Fields, fields);
        PlistCFType records = PlistCFType::createCFDictionary();
        IOSSyncToDeviceThread::addPlistDataFromEntity(records, "C1", type, -1, stored(fields, 1));
        DeviceDb device;
        device.db->beginEdit();
        IOSSyncRecordReader reader(*device.db);
        reader.readRecord("C1", plistOf(record("Contact", {})));
        reader.readBatch(records);
        device.db->endEdit(true);
        const QStringList rows = device.rows(QString("d.type = %1").arg(type));
        QCOMPARE(rows.size(), 1);
        QTEST(rows[0].section('|', 2, 4), "readBack");
        if (type == 8) // the service survives in data5
            QCOMPARE(SqlProbe(device.db->path()).value("select data5 from data where type = 8").toString(), "4");
    }
};

QTEST_GUILESS_MAIN(tst_IOSSyncRecords)
#include "tst_iossyncrecords.moc"
