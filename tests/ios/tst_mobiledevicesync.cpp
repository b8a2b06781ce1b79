#include "ios/mobiledevicesync.h"
#include "iphonesimulator.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTest>

#include <future>

namespace {
QJsonObject phone(const QString& key = {}, const QJsonValue& value = {})
{
    const auto contact = [](const char* last) {
        return QJsonObject{{"com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact"}, {"last name", last}};
    };
    QJsonObject scenario{{"batch", 2},
                         {"records", QJsonObject{{"11", contact("Kim")}, {"12", contact("Lee")}, {"13", contact("Park")},
                                                 {"3/11/21", QJsonObject{{"value", "+82 10 1234"}, {"contact", QJsonArray{"11"}}}},
                                                 {"3/12/22", QJsonObject{{"contact", QJsonArray{"12"}}}}}}};
    if (!key.isEmpty())
        scenario[key] = value;
    return scenario;
}

struct Run {
    QString error;
    int kind = -1;
    bool sentInFull = false;
    qint64 ms = 0;
    QStringList ids;
    int batches = 0;
    QList<PlistCFType> remaps;
};

// One whole run on a worker thread as the sync threads do it: read all records, or
// write two messages (a new contact with a new child, then a known contact) and finish.
Run run(bool write)
{
    return std::async(std::launch::async, [write] {
        Run r;
        mobiledevice_sync_client client;
        client.answerTimeoutMs = 1500;
        QElapsedTimer clock;
        clock.start();
        try {
            mobiledevice_sync_start_throw(IPhoneSimulator::kUdid, {"com.apple.Contacts", "---", "2026-12-07T01:00:00"}, client);
            if (write) {
                mobiledevice_sync_start_send_to_device_throw(client);
                for (const char* xml : {"<plist><dict><key>-57</key><dict/><key>4/1234/-12</key><dict/></dict></plist>",
                                        "<plist><dict><key>1234</key><dict/></dict></plist>"})
                    r.remaps << mobiledevice_sync_send_throw(client, PlistCFType::createCFPropertyList(xml), false, PlistCFType());
                mobiledevice_sync_send_finish_throw(client);
            } else {
                mobiledevice_sync_start_recv_all_records_throw(client);
                for (bool more = true; more; ++r.batches) {
                    PlistCFType records;
                    more = mobiledevice_sync_record_next_throw(client, records, nullptr);
                    for (const PlistCFType& key : records.dict_keys())
                        r.ids << key.CFStringQString();
                }
            }
        } catch (const MobileSyncError& e) {
            r.error = QString::fromUtf8(e.what());
            r.kind = e.kind;
            r.sentInFull = e.sentInFull;
        }
        r.ms = clock.elapsed();
        client.release();
        return r;
    }).get();
}
} // namespace

class tst_MobileDeviceSync : public QObject {
    Q_OBJECT
private slots:
    void shouldReadEveryBatchIncludingTheLast()
    {
        IPhoneSimulator sim(phone());
        Run r = run(false);
        QCOMPARE(r.error, QString());
        QCOMPARE(r.batches, 3);
        r.ids.sort();
        QCOMPARE(r.ids, QStringList({"11", "12", "13", "3/11/21", "3/12/22"}));
        const QString ack = "SDMessageAcknowledgeChangesFromDevice";
        QTRY_COMPARE_WITH_TIMEOUT(sim.messageNames("sync"), QStringList({"DLMessageVersionExchange", "SDMessageSyncDataClassWithDevice",
                                                            "SDMessageGetAllRecordsFromDevice", ack, ack, ack, "DLMessageDisconnect"}),
                                  timebound::kWaitMs);
        QVERIFY(sim.log("sync")[0].endsWith(R"(["DLMessageVersionExchange", "DLVersionsOk", 300])"));
        QVERIFY(sim.log("sync")[1].contains(R"("com.apple.Contacts", "---", "2026-12-07T01:00:00", 106,)"));
        QVERIFY(sim.log("lockdown").filter(R"("Label": "QUORVANTILE", "Request": "StartService", "Service": "com.apple.mobilesync")").size() == 1);
    }

    void shouldWriteAndReturnTheRemap()
    {
        IPhoneSimulator sim(phone());
        const Run r = run(true);
        QCOMPARE(r.error, QString());
        QCOMPARE(r.remaps.size(), 2);
        QCOMPARE(r.remaps[0].dict_size(), 2u);
        QCOMPARE(r.remaps[0].get("-57").CFStringQString(), "1001");
        QCOMPARE(r.remaps[0].get("4/1234/-12").CFStringQString(), "4/1002");
        QVERIFY(!r.remaps[1].ref()); // the phone answered "___EmptyParameterString___"
        QTRY_COMPARE_WITH_TIMEOUT(sim.messageNames("sync"), QStringList({"DLMessageVersionExchange", "SDMessageSyncDataClassWithDevice",
                                                            "DLMessagePing", "SDMessageProcessChanges", "SDMessageProcessChanges",
                                                            "SDMessageFinishSessionOnDevice", "DLMessageDisconnect"}),
                                  timebound::kWaitMs);
        QVERIFY(sim.log("sync")[2].endsWith(R"(["DLMessagePing", "Preparing to get changes for device"])"));
        QVERIFY(sim.log("sync")[3].endsWith(R"(true, "___EmptyParameterString___"])"));
        QCOMPARE(sim.phoneRecords().keys(), QStringList({"1001", "11", "12", "1234", "13", "3/11/21", "3/12/22", "4/1002"}));
    }

    void shouldNameWhatWentWrong_data()
    {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("sent"); // the failed step had sent its message of records whole
        const QString start = "mobiledevice_sync_start_throw: start ";
        const auto fault = [](const char* at, const char* kind) { return phone("fault", QJsonObject{{"at", at}, {"kind", kind}}); };
        using E = MobileSyncError;
        const QString receive = "mobilesync_receive_changes failed. return ", remap = "mobilesync_remap_identifiers failed. return ";
        QTest::newRow("refused") << phone("sync", "refuse") << false << start + "failed. return -7. Contacts sync is turned off on the phone"
                                 << int(E::Refused) << false;
        QTest::newRow("cancelled") << phone("sync", "cancel") << true << start + "failed. return -8. The phone cancelled the session"
                                   << int(E::PhoneCancelled) << false;
        QTest::newRow("trust pending") << phone("trust", "pending") << false
                                       << start + "service failed. return -19. The iPhone is asking whether to trust this computer: "
                                                  "unlock it, tap Trust and connect it again." << int(E::TrustPending) << false;
        QTest::newRow("pairing denied") << phone("trust", "denied") << true
                                        << start + "service failed. return -18. This computer was not trusted on the iPhone: "
                                                   "reconnect the iPhone and tap Trust." << int(E::TrustDenied) << false;
        QTest::newRow("locked") << phone("locked", true) << false
                                << start + "service failed. return -17. The iPhone is locked with a passcode: unlock it and try again."
                                << int(E::Locked) << false;
        QTest::newRow("garbage batch") << fault("batch0", "garbage") << false << receive + "-2." << int(E::Garbage) << false;
        QTest::newRow("start answer of wrong type") << fault("SDMessageSyncDataClassWithDevice", "wrongtype") << true
                                                    << start + "failed. return -2. " << int(E::WrongMessage) << false;
        QTest::newRow("garbage remap") << fault("SDMessageProcessChanges", "garbage") << true << remap + "-2." << int(E::Garbage) << true;
        QTest::newRow("link dropped at finish") << fault("SDMessageFinishSessionOnDevice", "drop") << true
                                                << "mobilesync_finish failed. return -256." << int(E::LinkLost) << false;
        QTest::newRow("unplugged mid-read") << fault("batch1", "drop") << false << "mobilesync_acknowledge_changes_from_device failed. return -256."
                                            << int(E::LinkLost) << false;
        // The phone's own goodbye ends the run at whatever step it comes.
        QTest::newRow("goodbye at start") << fault("SDMessageSyncDataClassWithDevice", "disconnect") << false
                                          << start + "failed. return -8. " << int(E::PhoneEnded) << false;
        QTest::newRow("goodbye mid-read") << fault("batch1", "disconnect") << false << receive + "-8." << int(E::PhoneEnded) << false;
        QTest::newRow("goodbye instead of a remap") << fault("SDMessageProcessChanges", "disconnect") << true << remap + "-8."
                                                    << int(E::PhoneEnded) << true;
        QTest::newRow("goodbye at finish") << fault("SDMessageFinishSessionOnDevice", "disconnect") << true
                                           << "mobilesync_finish failed. return -8." << int(E::PhoneEnded) << false;
        QTest::newRow("batch of a list") << fault("batch0", "wrongslot") << false << receive + "-2." << int(E::WrongMessage) << false;
        QTest::newRow("remap of a list") << fault("SDMessageProcessChanges", "wrongslot") << true << remap + "-2."
                                         << int(E::WrongMessage) << true;
        QTest::newRow("batch never comes") << fault("batch1", "stall") << false << receive + "-5." << int(E::Timeout) << false;
        // A link that drops once the records went out whole may have come
        // before or after the phone took them; one gone before they went out
        // lost them.
        QTest::newRow("link drops after the records") << fault("SDMessageProcessChanges", "drop") << true << remap + "-256."
                                                      << int(E::LinkLost) << true;
        QTest::newRow("link gone before the records") << fault("SDMessageProcessChanges", "deaf") << true
                                                      << "mobilesync_send_changes failed. return -256." << int(E::LinkLost) << false;
        QTest::newRow("remap never comes") << fault("SDMessageProcessChanges", "stall") << true << remap + "-5." << int(E::Timeout) << true;
        QTest::newRow("versions as text") << phone("exchange", "wrongtypes") << false
                                          << "mobiledevice_sync_start_throw: version exchange failed. return -2." << int(E::WrongMessage) << false;
        QTest::newRow("newer device link") << phone("link_version", 301) << true
                                           << "mobiledevice_sync_start_throw: version exchange failed. return -6. The iPhone "
                                              "announced device link version 301; 300 is the newest this program speaks."
                                           << int(E::NewerVersion) << false;
    }

    void shouldNameWhatWentWrong()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(bool, write);
        IPhoneSimulator sim(scenario);
        const Run r = run(write);
        QTEST(r.error, "error");
        QTEST(r.kind, "kind");
        QTEST(r.sentInFull, "sent");
        // Each ends at the message at fault, or after the one wait of 1.5 s when
        // the phone stays silent: never after a wait that missed its time-out,
        // the device link's ten seconds or the library's half minute. Before
        // asking to pair, the library makes a new key pair, which takes from a
        // few milliseconds to ten seconds on a busy machine: a run that pairs
        // is held to the half minute only.
        qInfo("%s: %lld ms", QTest::currentDataTag(), r.ms);
        QVERIFY2(r.ms < (scenario.contains("trust") ? 20000 : 10000), qPrintable(QString::number(r.ms)));
    }
};

QTEST_GUILESS_MAIN(tst_MobileDeviceSync)
#include "tst_mobiledevicesync.moc"
