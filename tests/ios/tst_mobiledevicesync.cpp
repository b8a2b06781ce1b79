#include "ios/mobiledevicesync.h"
#include "iphonesimulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <future>

namespace {
const QString kUdid = IPhoneSimulator::kUdid;

QJsonObject contact(const QString& last) { return {{"com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact"}, {"last name", last}}; }

QJsonObject phoneWithFiveRecords()
{
    return {{"batch", 2},
            {"records", QJsonObject{{"11", contact("Kim")}, {"12", contact("Lee")}, {"13", contact("Park")},
                                    {"3/11/21", QJsonObject{{"com.apple.syncservices.RecordEntityName",
                                                             "com.apple.contacts.Phone Number"},
                                                            {"value", "+82 10 1234"},
                                                            {"contact", QJsonArray{"11"}}}},
                                    {"3/12/22", QJsonObject{{"contact", QJsonArray{"12"}}}}}}};
}

QJsonObject with(QJsonObject scenario, const QString& key, const QJsonValue& value)
{
    scenario[key] = value;
    return scenario;
}

// One whole run on a worker thread, as the sync threads do it; returns the error text,
// or empty, and fills in what the run received or what the phone remapped.
QString runRead(QStringList& recordIds, int& batches)
{
    return std::async(std::launch::async, [&]() -> QString {
        mobiledevice_sync_client client;
        try {
            mobiledevice_sync_set_tethered_throw(kUdid, "Contacts", false);
            mobiledevice_sync_start_throw(kUdid, {"com.apple.Contacts", "---", "2026-12-07T01:00:00"}, client);
            mobiledevice_sync_start_recv_all_records_throw(client);
            PlistCFType records;
            bool more = true;
            while (more) {
                more = mobiledevice_sync_record_next_throw(client, records, nullptr);
                ++batches;
                plist_dict_iter it = nullptr;
                plist_dict_new_iter(static_cast<plist_t>(records.ref()), &it);
                for (char* key = nullptr; (plist_dict_next_item(static_cast<plist_t>(records.ref()), it, &key, nullptr), key); free(key), key = nullptr)
                    recordIds << QString::fromUtf8(key);
                free(it);
            }
        } catch (const std::runtime_error& e) {
            client.release();
            return QString::fromUtf8(e.what());
        }
        client.release();
        return QString();
    }).get();
}

QString runWrite(QList<QByteArray>& remaps)
{
    return std::async(std::launch::async, [&]() -> QString {
        mobiledevice_sync_client client;
        try {
            mobiledevice_sync_start_throw(kUdid, {"com.apple.Contacts", "---", "2026-12-07T01:00:00"}, client);
            mobiledevice_sync_start_send_to_device_throw(client);
            for (const char* xml : {R"(<plist><dict><key>-57</key><dict><key>last name</key><string>Choi</string></dict>
                                       <key>4/1234/-12</key><dict><key>value</key><string>c@x.kr</string></dict></dict></plist>)",
                                    R"(<plist><dict><key>1234</key><dict><key>last name</key><string>Han</string></dict></dict></plist>)"}) {
                plist_t node = nullptr;
                plist_from_xml(xml, uint32_t(strlen(xml)), &node);
                const PlistCFType remap = mobiledevice_sync_send_throw(client, PlistCFType(node, true), false, PlistCFType());
                char* out = nullptr;
                uint32_t length = 0;
                if (remap.ref())
                    plist_to_xml(static_cast<plist_t>(remap.ref()), &out, &length);
                remaps << QByteArray(out, int(length)).simplified();
                free(out);
            }
            mobiledevice_sync_send_finish_throw(client);
        } catch (const std::runtime_error& e) {
            client.release();
            return QString::fromUtf8(e.what());
        }
        client.release();
        return QString();
    }).get();
}
} // namespace

class tst_MobileDeviceSync : public QObject {
    Q_OBJECT
private slots:
    void shouldReadEveryBatchIncludingTheLast()
    {
        IPhoneSimulator sim(phoneWithFiveRecords());
        QVERIFY(sim.isReady());
        QStringList ids;
        int batches = 0;
        QCOMPARE(runRead(ids, batches), QString());
        QCOMPARE(batches, 3);
        ids.sort();
        QCOMPARE(ids, QStringList({"11", "12", "13", "3/11/21", "3/12/22"}));
        QTRY_COMPARE(sim.messageNames("sync"),
                 QStringList({"DLMessageVersionExchange", "SDMessageSyncDataClassWithDevice",
                              "SDMessageGetAllRecordsFromDevice", "SDMessageAcknowledgeChangesFromDevice",
                              "SDMessageAcknowledgeChangesFromDevice", "SDMessageAcknowledgeChangesFromDevice",
                              "DLMessageDisconnect"}));
        QVERIFY(sim.log("sync")[1].contains(R"(["SDMessageSyncDataClassWithDevice", "com.apple.Contacts", "---", "2026-12-07T01:00:00", 106,)"));
        QVERIFY(sim.log("lockdown").filter(R"("Service": "com.apple.mobilesync")").size() == 1);
    }

    void shouldWriteAndReturnTheRemap()
    {
        IPhoneSimulator sim(phoneWithFiveRecords());
        QVERIFY(sim.isReady());
        QList<QByteArray> remaps;
        QCOMPARE(runWrite(remaps), QString());
        QCOMPARE(remaps.size(), 2);
        QVERIFY2(remaps[0].contains("<key>-57</key> <string>1001</string> <key>4/1234/-12</key> <string>4/1002</string>"),
                 remaps[0].constData());
        QCOMPARE(remaps[1], QByteArray()); // "___EmptyParameterString___": nothing remapped
        QTRY_COMPARE(sim.messageNames("sync"),
                 QStringList({"DLMessageVersionExchange", "SDMessageSyncDataClassWithDevice", "DLMessagePing",
                              "SDMessageProcessChanges", "SDMessageProcessChanges", "SDMessageFinishSessionOnDevice",
                              "DLMessageDisconnect"}));
        QVERIFY(sim.log("sync")[2].endsWith(R"(["DLMessagePing", "Preparing to get changes for device"])"));
        QVERIFY(sim.log("sync")[3].endsWith(R"(true, "___EmptyParameterString___"])"));
        const QJsonObject phone = sim.phoneRecords();
        QCOMPARE(phone["1001"].toObject()["last name"].toString(), "Choi");
        QCOMPARE(phone["1234"].toObject()["last name"].toString(), "Han");
        QCOMPARE(phone.size(), 8);
    }

    void shouldNameWhatWentWrong_data()
    {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("error");
        const QJsonObject phone = phoneWithFiveRecords();
        const QString start = "mobiledevice_sync_start_throw: ";
        QTest::newRow("sync refused") << with(phone, "sync", "refuse") << false
                                      << start + "start failed. return -7. Contacts sync is turned off on the phone";
        QTest::newRow("session cancelled") << with(phone, "sync", "cancel") << true
                                           << start + "start failed. return -8. The phone cancelled the session";
        QTest::newRow("trust pending") << with(phone, "trust", "pending") << false
                                       << start + "start service failed. return -19. The iPhone is asking whether to "
                                                  "trust this computer: unlock it, tap Trust and connect it again.";
        QTest::newRow("pairing denied") << with(phone, "trust", "denied") << true
                                        << start + "start service failed. return -18. This computer was not trusted "
                                                   "on the iPhone: reconnect the iPhone and tap Trust.";
        QTest::newRow("locked") << with(phone, "locked", true) << false
                                << start + "start service failed. return -17. The iPhone is locked with a passcode: "
                                           "unlock it and try again.";
        QTest::newRow("link dropped after a batch")
            << with(phone, "fault", QJsonObject{{"at", "batch1"}, {"kind", "drop"}}) << false
            << "mobilesync_acknowledge_changes_from_device failed. return -3.";
        QTest::newRow("garbage batch") << with(phone, "fault", QJsonObject{{"at", "batch0"}, {"kind", "garbage"}})
                                       << false << "mobilesync_receive_changes failed. return -2.";
        QTest::newRow("start answered with wrong type")
            << with(phone, "fault", QJsonObject{{"at", "SDMessageSyncDataClassWithDevice"}, {"kind", "wrongtype"}})
            << true << start + "start failed. return -2. ";
        QTest::newRow("remap answered with garbage")
            << with(phone, "fault", QJsonObject{{"at", "SDMessageProcessChanges"}, {"kind", "garbage"}}) << true
            << "mobilesync_remap_identifiers failed. return -2.";
        QTest::newRow("finish dropped")
            << with(phone, "fault", QJsonObject{{"at", "SDMessageFinishSessionOnDevice"}, {"kind", "drop"}}) << true
            << "mobilesync_finish failed. return -256.";
    }

    void shouldNameWhatWentWrong()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(bool, write);
        IPhoneSimulator sim(scenario);
        QVERIFY(sim.isReady());
        QStringList ids;
        int batches = 0;
        QList<QByteArray> remaps;
        QTEST(write ? runWrite(remaps) : runRead(ids, batches), "error");
    }
};

QTEST_GUILESS_MAIN(tst_MobileDeviceSync)
#include "tst_mobiledevicesync.moc"
