#include "ios/mobiledevicesubscribe.h"

#include "ios/mobiledevice.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <libimobiledevice/libimobiledevice.h>
#include <usbmuxd.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

// The asking thread's link to its object: cut by the destructor, so a thread
// still waiting for a hung daemon never reaches a destroyed object.
struct MobiledeviceSubscribe::Check {
    std::mutex mutex;
    MobiledeviceSubscribe* owner = nullptr;
};

MobiledeviceSubscribe::MobiledeviceSubscribe(QObject* parent) : QObject(parent) {}

MobiledeviceSubscribe::~MobiledeviceSubscribe()
{
    if (m_check) {
        const std::lock_guard<std::mutex> lock(m_check->mutex);
        m_check->owner = nullptr;
    }
    // Also when never started: unsubscribing an absent subscription is harmless, and a
    // callback must never reach a destroyed object.
    idevice_event_unsubscribe();
}

namespace {

// Whether the multiplexer daemon answers within timeoutMs, asked the library's
// own way so that USBMUXD_SOCKET_ADDRESS is honoured. The event subscription
// alone succeeds without a daemon and would then wait silently for events that
// never come. A missing daemon is refused at once; a hung one would hold the
// library's question for its own receive timeout (ten seconds), so the question
// runs on a thread of its own that is left to finish when the wait gives up.
bool usbmuxdReachable(int timeoutMs)
{
    auto answer = std::make_shared<std::promise<int>>();
    std::future<int> code = answer->get_future();
    std::thread([answer] {
        usbmuxd_device_info_t* devices = nullptr;
        const int result = usbmuxd_get_device_list(&devices);
        if (devices)
            usbmuxd_device_list_free(&devices);
        answer->set_value(result);
    }).detach();
    if (code.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        qCWarning(lcIosDevice) << "usbmuxd did not answer within" << timeoutMs << "ms";
        return false;
    }
    const int result = code.get();
    if (result < 0)
        qCWarning(lcIosDevice) << "usbmuxd_get_device_list failed:" << result;
    return result >= 0;
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
    if (m_check)
        return;
    count = 0;
    m_check = std::make_shared<Check>();
    m_check->owner = this;
    // The daemon is asked off the caller's (the window's) thread; the answer
    // comes back to this object's thread, where the subscription is made.
    std::thread([check = m_check] {
        const bool reachable = usbmuxdReachable(2000);
        const std::lock_guard<std::mutex> lock(check->mutex);
        if (MobiledeviceSubscribe* owner = check->owner) {
            // Dropped by Qt if the object is destroyed before it runs.
            QMetaObject::invokeMethod(owner, [owner, reachable] { owner->subscribeIf(reachable); },
                                      Qt::QueuedConnection);
        }
    }).detach();
}

void MobiledeviceSubscribe::subscribeIf(bool reachable)
{
    if (!reachable) {
        if (!usbmuxdStartsOnDemand()) {
            emit started(false);
            return;
        }
        qCInfo(lcIosDevice) << "usbmuxd is installed and starts when an iPhone is plugged in";
    }
    const int code = idevice_event_subscribe(subscribe, this);
    if (code != 0)
        qCWarning(lcIosDevice) << "idevice_event_subscribe failed:" << code;
    emit started(code == 0);
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
