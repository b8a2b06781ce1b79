#include "ios/mobiledevicesubscribe.h"

#include "ios/mobiledevice.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpSocket>
#include <QtEndian>

#include <libimobiledevice/libimobiledevice.h>

#include <memory>

MobiledeviceSubscribe::MobiledeviceSubscribe(QObject* parent) : QObject(parent) {}

MobiledeviceSubscribe::~MobiledeviceSubscribe()
{
    // The check may still subscribe; only once it has ended is unsubscribing
    // final. It gives up within one of its short waits.
    m_stop = true;
    if (m_check.joinable())
        m_check.join();
    // Also when never started: unsubscribing an absent subscription is harmless, and a
    // callback must never reach a destroyed object.
    idevice_event_unsubscribe();
}

namespace {

// Where the device library looks for the daemon: USBMUXD_SOCKET_ADDRESS
// ("UNIX:path" or "host:port") when set, else the system's own socket.
struct DaemonAddress {
    QString path;
    QString host;
    quint16 port = 0;
};

DaemonAddress usbmuxdAddress()
{
    const QString set = qEnvironmentVariable("USBMUXD_SOCKET_ADDRESS");
    if (set.startsWith(QLatin1String("UNIX:")))
        return { set.mid(5), {}, 0 };
    if (const qsizetype colon = set.lastIndexOf(QLatin1Char(':')); colon > 0)
        return { {}, set.left(colon), quint16(set.mid(colon + 1).toUShort()) };
#ifdef Q_OS_WIN
    return { {}, QStringLiteral("127.0.0.1"), 27015 };
#else
    return { QStringLiteral("/var/run/usbmuxd"), {}, 0 };
#endif
}

// The daemon's device-list question in its property-list framing: a header
// of four little-endian words (length, version 1, message 8 = property list,
// tag) before the XML body.
QByteArray listDevicesQuestion()
{
    const QByteArray body = QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\"><dict><key>MessageType</key><string>ListDevices</string>"
        "<key>ProgName</key><string>quorvantile</string></dict></plist>\n");
    QByteArray question(16, '\0');
    const quint32 words[] = { quint32(16 + body.size()), 1, 8, 1 };
    for (int i = 0; i < 4; ++i)
        qToLittleEndian(words[i], question.data() + 4 * i);
    return question + body;
}

// Whether the multiplexer daemon answers its device-list question within
// timeoutMs, asked where the library would ask it. The event subscription
// alone succeeds without a daemon and would then wait silently for events
// that never come. A missing daemon is refused at once; a hung one takes the
// connection and never answers. Asked on a socket of our own rather than
// through the library, whose question holds its thread for its own receive
// timeout (ten seconds): this one waits in short slices and gives up as soon
// as `stop` is set.
bool usbmuxdAnswers(int timeoutMs, const std::atomic_bool& stop)
{
    constexpr int kSliceMs = 20;
    const DaemonAddress address = usbmuxdAddress();
    std::unique_ptr<QIODevice> device;
    QLocalSocket* local = nullptr;
    QTcpSocket* tcp = nullptr;
    if (!address.path.isEmpty()) {
        device.reset(local = new QLocalSocket);
        local->connectToServer(address.path);
    } else {
        device.reset(tcp = new QTcpSocket);
        tcp->connectToHost(address.host, address.port);
    }
    const auto connected = [&] {
        return local ? local->state() == QLocalSocket::ConnectedState : tcp->state() == QAbstractSocket::ConnectedState;
    };
    const auto unconnected = [&] {
        return local ? local->state() == QLocalSocket::UnconnectedState
                     : tcp->state() == QAbstractSocket::UnconnectedState;
    };
    const auto waitForConnected = [&] {
        return local ? local->waitForConnected(kSliceMs) : tcp->waitForConnected(kSliceMs);
    };
    QElapsedTimer clock;
    clock.start();
    while (!connected() && !unconnected() && !stop && clock.elapsed() < timeoutMs)
        waitForConnected();
    if (!connected()) {
        const QString where = local ? address.path : address.host + QLatin1Char(':') + QString::number(address.port);
        if (!stop)
            qCWarning(lcIosDevice).noquote() << "usbmuxd cannot be reached at" << where << device->errorString();
        return false;
    }
    device->write(listDevicesQuestion());
    while (device->bytesAvailable() < 16 && !stop && clock.elapsed() < timeoutMs) {
        if (!device->waitForReadyRead(kSliceMs) && unconnected())
            break;
    }
    if (device->bytesAvailable() >= 16)
        return true;
    if (!stop)
        qCWarning(lcIosDevice) << "usbmuxd did not answer within" << timeoutMs << "ms";
    return false;
}

} // namespace

// Whether a daemon that does not answer now will be started when an iPhone is
// plugged in. Linux systems start usbmuxd from a udev rule on a phone's
// arrival and end it with the last phone, so an installed daemon has no socket
// while no iPhone is plugged in; the library's event thread then waits for the
// socket to appear. A socket that is there but dead, or an address set for the
// library, is no such case.
static bool usbmuxdStartsOnDemand()
{
#ifdef Q_OS_LINUX
    if (qEnvironmentVariableIsSet("USBMUXD_SOCKET_ADDRESS") || QFileInfo::exists(QStringLiteral("/var/run/usbmuxd")))
        return false;
    const QStringList system { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/local/sbin") };
    return !QStandardPaths::findExecutable(QStringLiteral("usbmuxd"), system).isEmpty();
#else
    return false;
#endif
}

void MobiledeviceSubscribe::start()
{
    if (m_check.joinable())
        return;
    count = 0;
    m_check = std::thread([this] { emit started(subscribeIfReachable()); });
}

bool MobiledeviceSubscribe::subscribeIfReachable()
{
    if (!usbmuxdAnswers(2000, m_stop)) {
        if (m_stop || !usbmuxdStartsOnDemand())
            return false;
        qCInfo(lcIosDevice) << "usbmuxd is installed and starts when an iPhone is plugged in";
    }
    if (m_stop)
        return false;
    const int code = idevice_event_subscribe(subscribe, this);
    if (code != 0)
        qCWarning(lcIosDevice) << "idevice_event_subscribe failed:" << code;
    return code == 0;
}

void MobiledeviceSubscribe::invokeNewDevice(const QString& devid)
{
    ++count;
    qCInfo(lcIosDevice) << "iPhone attached:" << devid;
    emit newDevice(devid);
}

void MobiledeviceSubscribe::invokeKickDevice(const QString& devid)
{
    --count;
    qCInfo(lcIosDevice) << "iPhone detached:" << devid;
    emit kickDevice(devid);
}

void subscribe(const idevice_event_t* event, void* userData)
{
    auto* self = static_cast<MobiledeviceSubscribe*>(userData);
    if (!event || !self || event->conn_type != CONNECTION_USBMUXD || !event->udid)
        return;
    const QString udid = QString::fromLatin1(event->udid);
    if (event->event == IDEVICE_DEVICE_REMOVE)
        self->invokeKickDevice(udid);
    else if (event->event == IDEVICE_DEVICE_ADD)
        self->invokeNewDevice(udid);
}
