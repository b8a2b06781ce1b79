#include "ios/mobiledevice.h"
#include "ios/mobiledevicesubscribe.h"
#include "ios/mobiledevicesync.h"
#include "iphonesimulator.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

#include <future>
#include <memory>

namespace {
const QString kUsb = IPhoneSimulator::kUdid;
const QString kNet = "00008030-00AABBCCDDEEFF00";

QJsonObject twoDevices(bool usbAttached = true)
{
    return {{"name", "Kim's iPhone"},
            {"devices", QJsonArray{QJsonObject{{"udid", kUsb}, {"connection", "USB"}, {"attached", usbAttached}},
                                   QJsonObject{{"udid", kNet}, {"connection", "Network"}}}}};
}

// Device calls block, so they run off the GUI thread as in the program.
template <class F> auto offGuiThread(F f) { return std::async(std::launch::async, f).get(); }

} // namespace

class tst_MobileDevice : public QObject {
    Q_OBJECT
signals:
    // The device library emits on its own thread; these relays bring the signals to the
    // test thread the way the main window receives them: queued.
    void relayNew(QString devid);
    void relayKick(QString devid);
    void relayStarted(bool subscribed);

private slots:
    void shouldSignalOnlyUsbDevicesComingAndGoing()
    {
        IPhoneSimulator sim(twoDevices(false));
        QSignalSpy added(this, &tst_MobileDevice::relayNew), removed(this, &tst_MobileDevice::relayKick);
        {
            MobiledeviceSubscribe sub;
            connect(&sub, &MobiledeviceSubscribe::newDevice, this, &tst_MobileDevice::relayNew);
            connect(&sub, &MobiledeviceSubscribe::kickDevice, this, &tst_MobileDevice::relayKick);
            QVERIFY(answerOf(sub));
            QTRY_VERIFY_WITH_TIMEOUT(sim.messageNames("usbmux").contains("Listen"), timebound::kWaitMs);
            QVERIFY(sim.control("attach " + kUsb));
            QVERIFY(sim.control("detach " + kNet));
            QVERIFY(sim.control("detach " + kUsb));
            QTRY_COMPARE_WITH_TIMEOUT(removed.count(), 1, timebound::kWaitMs);
        }
        QCOMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(0).toString(), kUsb);
        QCOMPARE(removed.at(0).at(0).toString(), kUsb);
    }

    // The daemon installed on the system but not running, as when no iPhone is plugged
    // in: the subscription waits for it.
    void shouldStartWhenTheInstalledDaemonStartsOnDemand()
    {
        if (QStandardPaths::findExecutable("usbmuxd", {"/usr/sbin", "/sbin", "/usr/local/sbin"}).isEmpty()
            || QFileInfo::exists("/var/run/usbmuxd") || qEnvironmentVariableIsSet("USBMUXD_SOCKET_ADDRESS"))
            QSKIP("needs usbmuxd installed and not running");
        MobiledeviceSubscribe sub;
        QVERIFY(answerOf(sub));
    }

    void shouldNotOpenNetworkOnlyDevice()
    {
        IPhoneSimulator sim(twoDevices());
        QString error;
        offGuiThread([&] {
            mobiledevice_sync_client client;
            try {
                mobiledevice_sync_start_throw(kNet, {"com.apple.Contacts", "---", "2026-01-01T10:00:00"}, client);
            } catch (const std::runtime_error& e) {
                error = QString::fromUtf8(e.what());
            }
            return client.client;
        });
        QCOMPARE(error, "mobiledevice_sync_start_throw: open device failed. return -3.");
        // Proves the library asked the simulator and not a system multiplexer.
        QVERIFY(sim.messageNames("usbmux").contains("ListDevices"));
        QVERIFY(sim.log("lockdown").isEmpty());
    }

    void shouldReadDeviceNameAndWriteTetheredValue()
    {
        IPhoneSimulator sim(twoDevices());
        const PlistCFType all = offGuiThread([] { return mobiledevice_info(kUsb, "", ""); });
        QCOMPARE(all.get("DeviceName").CFStringQString(), "Kim's iPhone");
        QVERIFY(offGuiThread([] { return mobiledevice_sync_set_tethered_throw(kUsb, "Contacts", false); }));
        const QStringList set = sim.log("lockdown").filter(" SetValue ");
        QCOMPARE(set.size(), 1);
        QVERIFY2(set[0].endsWith(R"({"Domain": "com.apple.mobile.tethered_sync", "Key": "Contacts", "Label": )"
                                 R"("QUORVANTILE", "Request": "SetValue", "Value": {"DisableTethered": false}})"),
                 qPrintable(set[0]));
        for (const QString& line : sim.log("lockdown"))
            QVERIFY2(line.contains(R"("Label": "QUORVANTILE")"), qPrintable(line));
    }

    void shouldStartOnlyWhenTheMultiplexerAnswers_data()
    {
        QTest::addColumn<QString>("daemon");
        QTest::newRow("daemon answers") << "sim";
        QTest::newRow("stale socket, no daemon") << "stale";
        // Last of all: a daemon that timed out makes the library list devices another
        // way for the rest of the process.
        QTest::newRow("daemon takes the connection, never answers") << "hung";
    }

    void shouldStartOnlyWhenTheMultiplexerAnswers()
    {
        QFETCH(QString, daemon);
        std::unique_ptr<IPhoneSimulator> sim(daemon == "sim" ? new IPhoneSimulator(twoDevices()) : nullptr);
        std::unique_ptr<DeadMultiplexer> dead(daemon == "sim" ? nullptr : new DeadMultiplexer(daemon == "hung"));
        QElapsedTimer clock;
        clock.start();
        MobiledeviceSubscribe sub;
        qint64 startMs = -1;
        QCOMPARE(answerOf(sub, &startMs), daemon == "sim");
        // The window calls start() while it is built: it never waits for the daemon,
        // which a silent one would hold for the question's two seconds; and the
        // answer comes after those, not after the library's own ten.
        QVERIFY2(startMs < timebound::kFreezeMs, qPrintable(QString::number(startMs)));
        QVERIFY2(clock.elapsed() < 2000 + timebound::kFreezeMs, qPrintable(QString::number(clock.elapsed())));
    }

    // Destroyed (the window closed) while a silent daemon is still being asked:
    // nothing waits for the question, and its answer never reaches the object.
    // After the rows below: a daemon that timed out makes the library list
    // devices another way for the rest of the process.
    void shouldStopAskingWhenDestroyed()
    {
        DeadMultiplexer dead(true);
        QSignalSpy answers(this, &tst_MobileDevice::relayStarted);
        QElapsedTimer clock;
        {
            MobiledeviceSubscribe sub;
            connect(&sub, &MobiledeviceSubscribe::started, this, &tst_MobileDevice::relayStarted);
            sub.start();
            QTest::qWait(300);
            clock.start();
        }
        QVERIFY2(clock.elapsed() < timebound::kFreezeMs, qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(50);
        QVERIFY(answers.isEmpty() || !answers.constFirst().constFirst().toBool());
    }

private:
    // Starts the subscription and waits for its answer, relayed queued as the window
    // receives it; *startMs is how long start() itself took.
    bool answerOf(MobiledeviceSubscribe& sub, qint64* startMs = nullptr)
    {
        QSignalSpy answers(this, &tst_MobileDevice::relayStarted);
        connect(&sub, &MobiledeviceSubscribe::started, this, &tst_MobileDevice::relayStarted);
        QElapsedTimer clock;
        clock.start();
        sub.start();
        if (startMs)
            *startMs = clock.elapsed();
        if (!answers.wait(timebound::kWaitMs))
            return false;
        // Once only, even when asked to start again.
        sub.start();
        QTest::qWait(50);
        return answers.count() == 1 && answers.constFirst().constFirst().toBool();
    }
};

QTEST_GUILESS_MAIN(tst_MobileDevice)
#include "tst_mobiledevice.moc"
