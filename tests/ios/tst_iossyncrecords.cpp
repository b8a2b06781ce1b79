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
        QTest::newRow("known record keeps its id") << 4 << Fields{{"data1", "a@b"}, {"data2", 4}} << "77"
                                                   << "{77 : {Email Address, value : a@b, type : other, contact : [3081]}}";
        QTest::newRow("address") << 12 << Fields{{"data4", "Main St 1"}, {"data7", "Town"}, {"data8", "ST"},
                                                           {"data9", "12345"}, {"data10", "Land"}, {"data11", "LD"}, {"data2", 2}}
                                           << "" << "{5/3081/-12 : {Street Address, country : Land, country code : LD, state : ST, "
                                                    "city : Town, street : Main St 1, postal code : 12345, type : work, contact : [3081]}}";
        QTest::newRow("impossible date") << 6 << Fields{{"data1", "1990-02-30"}} << "" << "{}";
        QTest::newRow("group membership never travels") << 7 << Fields{{"data1", "1"}, {"data2", "G"}} << "" << "{}";
    }

    void shouldWriteChildRecords()
    {
        QFETCH(int, type);
        QFETCH(Fields, fields);
        QFETCH(QString, srcId);
        pim::Entity stored = entityOf(fields);
        stored.id = 12;
        stored.srcId = srcId;
        PlistCFType records = PlistCFType::createCFDictionary();
        IOSSyncToDeviceThread::addPlistDataFromEntity(records, "3081", type, -12, stored);
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
        QTest::newRow("type words") << QJsonArray{kim, pair("p", child("Phone Number", {{"value", "1"}, {"type", "main"}})),
                                                  pair("q", child("Phone Number", {{"type", "Mobile"}, {"label", "L"}})),
                                                  pair("u", child("URL", {{"value", "w"}, {"type", "home"}})),
                                                  pair("e", child("Email Address", {{"value", "m"}, {"type", "mobile"}})),
                                                  pair("i", child("IM", {{"user", "me"}, {"service", "AIM"}, {"type", "work"}})),
                                                  pair("d", child("Date", {{"type", "birthday"}})),
                                                  pair("r", child("Related Name", {{"value", "Ann"}, {"type", "mother"}, {"label", "Mum"}}))}
                                    << QStringList{"Kim|1|Kim||Kim|C1", "Kim|3|1|12||p", "Kim|3|||L|q", "Kim|13|w|4||u", "Kim|4|m|||e",
                                                   "Kim|8|me|2||i", "Kim|6||||d", "Kim|11|Ann|8|Mum|r"};
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

};

QTEST_GUILESS_MAIN(tst_IOSSyncRecords)
#include "tst_iossyncrecords.moc"
