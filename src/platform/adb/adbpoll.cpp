// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbpoll.h"

#include "platform/adb/adbkey.h"
#include "platform/adb/adblog_p.h"
#include "platform/adb/adbservices.h"
#include "platform/adb/adbtransport.h"

#include <chrono>

namespace {
constexpr int kTcpProbeMs = 300;
}

AbsAdbPoll::AbsAdbPoll(int interval, QObject* parent) : QThread(parent), m_interval(qMax(10, interval))
{
    qRegisterMetaType<PAdbUSBHandle>("PAdbUSBHandle");
}

AbsAdbPoll::~AbsAdbPoll()
{
    stop();
}

void AbsAdbPoll::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_wake.notify_all();
    wait();
    for (const PAdbUSBHandle& handle : std::as_const(m_devices))
        handle->close();
    m_devices.clear();
}

bool AbsAdbPoll::sleepUnlessStopped()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(m_interval), [this] { return m_stopped; });
    return !m_stopped;
}

void AbsAdbPoll::run()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopped)
            return;
    }
    do {
        pass();
    } while (sleepUnlessStopped());
}

void AbsAdbPoll::pass()
{
    QSet<QString> known;
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it)
        known.insert(it.key());
    known += m_failed;
    QSet<QString> present;
    std::vector<Found> found = scan(known, &present);

    for (auto it = m_devices.begin(); it != m_devices.end();) {
        if (present.contains(it.key()) && it.value()->state() != AdbUSBHandle::State::Offline) {
            ++it;
            continue;
        }
        PAdbUSBHandle handle = it.value();
        it = m_devices.erase(it);
        handle->close();
        emit kickDevice(handle->deviceId(), handle);
    }
    m_failed.intersect(present);

    for (Found& f : found) {
        if (f.transport && !m_key) {
            try {
                m_key = AdbKey::loadOrCreate(adbSettings().keyFolder);
            } catch (const AdbError& e) {
                f.transport.reset();
                f.error = e.text();
            }
        }
        if (!f.transport) {
            m_failed.insert(f.key);
            qCWarning(lcAdb) << "cannot open" << f.key << f.error;
            emit failedDevice(f.error);
            continue;
        }
        PAdbUSBHandle handle(new AdbUSBHandle(f.deviceId, std::move(f.transport), m_key));
        m_devices.insert(f.key, handle);
        emit newDevice(handle->deviceId(), handle);
    }
}

AdbPoll::AdbPoll(int interval, QObject* parent, const AdbLibusbApi& api)
    : AbsAdbPoll(interval, parent), m_api(api)
{
}

AdbPoll::~AdbPoll()
{
    stop();
}

std::vector<AbsAdbPoll::Found> AdbPoll::scan(const QSet<QString>& known, QSet<QString>* present)
{
    std::vector<Found> result;
    if (!m_scanner) {
        m_scanner = std::make_unique<AdbUsbScanner>(m_api);
        if (!m_scanner->initError().isEmpty())
            result.push_back(Found{QStringLiteral("libusb"), QString(), nullptr, m_scanner->initError()});
    }
    for (AdbUsbFound& f : m_scanner->scan(known, present))
        result.push_back(Found{f.location, f.serial, std::move(f.transport), f.error});
    if (!result.empty() && result.front().key == QLatin1String("libusb"))
        present->insert(QStringLiteral("libusb"));
    return result;
}

AdbEmuPoll::AdbEmuPoll(int interval, QObject* parent, const QString& host, quint16 firstPort, quint16 lastPort)
    : AbsAdbPoll(interval, parent), m_host(host), m_firstPort(firstPort), m_lastPort(lastPort)
{
}

// The thread must end before this part of the object goes: it calls scan().
AdbEmuPoll::~AdbEmuPoll()
{
    stop();
}

std::vector<AbsAdbPoll::Found> AdbEmuPoll::scan(const QSet<QString>& known, QSet<QString>* present)
{
    std::vector<Found> result;
    for (int port = m_firstPort; port <= m_lastPort; port += 2) {
        const QString key = QStringLiteral("%1:%2").arg(m_host).arg(port);
        if (known.contains(key)) {
            present->insert(key);
            continue;
        }
        try {
            std::unique_ptr<AdbTransport> transport = adbConnectTcp(m_host, static_cast<quint16>(port), kTcpProbeMs);
            if (!transport)
                continue;
            present->insert(key);
            result.push_back(Found{key, key, std::move(transport), QString()});
        } catch (const AdbError& e) {
            present->insert(key);
            result.push_back(Found{key, key, nullptr, e.text()});
        }
    }
    return result;
}
