// SPDX-License-Identifier: GPL-3.0-or-later
// The USB transport through a fake libusb whose one device bridges its bulk
// endpoints to the simulated phone's TCP socket.
#include "fakeadbd.h"
#include "support/timebounds.h"

#include "platform/adb/adbservices.h"
#include "platform/adb/adbsocketutil_p.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <unistd.h>

namespace {

struct FakeUsb {
    std::atomic<bool> plugged{true};
    int socket = -1;
    std::atomic<int> zeroLengthWrites{0};
    std::atomic<int> openResult{0}, claimResult{0};
    libusb_endpoint_descriptor endpoints[2]{};
    libusb_interface_descriptor altsetting{};
    libusb_interface interface{};
    libusb_config_descriptor config{};
} g_usb;

libusb_device* const kDevice = reinterpret_cast<libusb_device*>(&g_usb);
libusb_device* g_list[2] = {kDevice, nullptr};

AdbLibusbApi fakeApi()
{
    AdbLibusbApi api{};
    api.init = [](libusb_context** c) { *c = reinterpret_cast<libusb_context*>(&g_usb); return 0; };
    api.exit = [](libusb_context*) {};
    api.get_device_list = [](libusb_context*, libusb_device*** list) -> ssize_t { *list = g_list; return g_usb.plugged; };
    api.free_device_list = [](libusb_device**, int) {};
    api.get_device_descriptor = [](libusb_device*, libusb_device_descriptor* d) { d->iSerialNumber = 3; return 0; };
    api.get_active_config_descriptor = [](libusb_device*, libusb_config_descriptor** c) { *c = &g_usb.config; return 0; };
    api.free_config_descriptor = [](libusb_config_descriptor*) {};
    api.get_bus_number = [](libusb_device*) -> uint8_t { return 1; };
    api.get_port_numbers = [](libusb_device*, uint8_t* ports, int) { ports[0] = 4; return 1; };
    api.open = [](libusb_device*, libusb_device_handle** h) {
        *h = reinterpret_cast<libusb_device_handle*>(&g_usb);
        return g_usb.openResult.load();
    };
    api.close = [](libusb_device_handle*) {};
    api.get_string_descriptor_ascii = [](libusb_device_handle*, uint8_t, unsigned char* out, int) { memcpy(out, "SIM0042", 7); return 7; };
    api.set_auto_detach_kernel_driver = [](libusb_device_handle*, int) { return 0; };
    api.claim_interface = [](libusb_device_handle*, int) { return g_usb.claimResult.load(); };
    api.release_interface = [](libusb_device_handle*, int) { return 0; };
    api.bulk_transfer = [](libusb_device_handle*, unsigned char ep, unsigned char* data, int length, int* done,
                           unsigned int timeout) {
        *done = 0;
        if (!g_usb.plugged)
            return int(LIBUSB_ERROR_NO_DEVICE);
        if (ep & LIBUSB_ENDPOINT_IN) {
            const qint64 n = adbsock::recvSome(g_usb.socket, reinterpret_cast<char*>(data), length, int(timeout));
            *done = int(qMax<qint64>(0, n));
            return n < 0 ? int(LIBUSB_ERROR_IO) : n == 0 ? int(LIBUSB_ERROR_TIMEOUT) : 0;
        }
        if (length == 0)
            ++g_usb.zeroLengthWrites;
        const bool sent = adbsock::sendAll(g_usb.socket, QByteArray(reinterpret_cast<char*>(data), length), int(timeout));
        *done = sent ? length : 0;
        return sent ? 0 : int(LIBUSB_ERROR_IO);
    };
    api.error_name = [](int) { return "LIBUSB_ERROR_OTHER"; };
    return api;
}

}  // namespace

class TestAdbUsb : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        adbSetSettings(AdbSettings{m_dir.path(), 2000, 60000, 1 << 20});
        g_usb.endpoints[0] = {7, 5, 0x81, LIBUSB_TRANSFER_TYPE_BULK, 512, 0, 0, 0, nullptr, 0};
        g_usb.endpoints[1] = {7, 5, 0x01, LIBUSB_TRANSFER_TYPE_BULK, 512, 0, 0, 0, nullptr, 0};
        g_usb.altsetting = {9, 4, 0, 0, 2, 0xff, 0x42, 1, 0, g_usb.endpoints, nullptr, 0};
        g_usb.interface = {&g_usb.altsetting, 1};
        g_usb.config.bNumInterfaces = 1;
        g_usb.config.interface = &g_usb.interface;
    }

    void phoneOnUsbRunsCommandsAndLeaves()
    {
        const QString command = QString(505, QLatin1Char('a'));  // "shell:" + command + NUL fills one 512-byte packet
        FakeAdbd sim({{"auth", "none"}, {"shell", QJsonObject{{command, "done\n"}}}});
        g_usb.socket = adbsock::connectTo(QHostAddress::LocalHost, sim.port(), 2000);
        QVERIFY(g_usb.socket > 0);
        AdbPoll poll(50, nullptr, fakeApi());
        QSignalSpy found(&poll, &AbsAdbPoll::newDevice);
        QSignalSpy kicked(&poll, &AbsAdbPoll::kickDevice);
        poll.start();
        QVERIFY(found.wait(timebound::kWaitMs)); // the key is made first
        QCOMPARE(found.at(0).at(0).toString(), QStringLiteral("SIM0042"));
        auto handle = found.at(0).at(1).value<PAdbUSBHandle>();
        QVERIFY(handle->waitForAuth2(timebound::kWaitMs));
        QCOMPARE(adbShell(handle, command), QByteArray("done\n"));
        QCOMPARE(g_usb.zeroLengthWrites.load(), 1);

        g_usb.plugged = false;
        QVERIFY(kicked.wait(timebound::kWaitMs));
        QCOMPARE(handle->state(), AdbUSBHandle::State::Offline);
        poll.stop();
        ::close(g_usb.socket);
    }

    // A phone the system does not let us open is told apart from one that
    // something else holds, so the user hears of the missing udev rule; it is
    // reported once, not again at every pass of the poller.
    void failureSaysWhetherPermissionIsMissing_data()
    {
        QTest::addColumn<int>("openResult");
        QTest::addColumn<int>("claimResult");
        QTest::addColumn<bool>("denied");
        QTest::newRow("open refused for permission") << int(LIBUSB_ERROR_ACCESS) << 0 << true;
        QTest::newRow("open fails otherwise") << int(LIBUSB_ERROR_BUSY) << 0 << false;
        QTest::newRow("interface held by another program") << 0 << int(LIBUSB_ERROR_BUSY) << false;
    }

    void failureSaysWhetherPermissionIsMissing()
    {
        QFETCH(int, openResult);
        QFETCH(int, claimResult);
        QFETCH(bool, denied);
        g_usb.plugged = true;
        g_usb.openResult = openResult;
        g_usb.claimResult = claimResult;
        AdbPoll poll(50, nullptr, fakeApi());
        QSignalSpy failed(&poll, &AbsAdbPoll::failedDevice);
        poll.start();
        QVERIFY(failed.wait(timebound::kWaitMs));
        QTest::qWait(200);
        poll.stop();
        g_usb.openResult = g_usb.claimResult = 0;
        QCOMPARE(failed.size(), 1);
        const QString reason = failed.at(0).at(0).toString();
        QVERIFY2(reason.startsWith(QStringLiteral("usb 1-4: ")), qPrintable(reason));
        QCOMPARE(adbUsbAccessDenied(reason), denied);
    }
};

QTEST_GUILESS_MAIN(TestAdbUsb)
#include "tst_adbusb.moc"
