// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/adb/adbusbhandle.h"
#include "platform/adb/adbusbtransport.h"

#include <QHash>
#include <QSet>
#include <QThread>

#include <condition_variable>
#include <mutex>
#include <vector>

class AdbKey;
class AdbUsbScanner;

// Looks for phones every interval milliseconds on its own thread. A phone
// that appears gets a handle at once (the authorisation exchange starts) and
// is announced with newDevice; one that goes away, or whose link ends, is
// announced with kickDevice and its handle closed; one that cannot be opened
// is announced once with failedDevice and the reason. The signals come from
// the poller's thread.
class AbsAdbPoll : public QThread {
    Q_OBJECT
public:
    explicit AbsAdbPoll(int interval, QObject* parent = nullptr);
    ~AbsAdbPoll() override;
    // Ends the loop, closes the link of every phone found and waits for the
    // thread, so the library's pool drains within the I/O timeout.
    void stop();

signals:
    void newDevice(QString deviceId, PAdbUSBHandle handle);
    void kickDevice(QString deviceId, PAdbUSBHandle handle);
    void failedDevice(QString message);

protected:
    struct Found {
        QString key;        // where the phone is; stable while it stays
        QString deviceId;
        std::unique_ptr<AdbTransport> transport;
        QString error;      // instead of transport
    };
    // Finds the phones present now (their keys into present) and opens those
    // whose key is not in known.
    virtual std::vector<Found> scan(const QSet<QString>& known, QSet<QString>* present) = 0;
    void run() override;

private:
    void pass();
    bool sleepUnlessStopped();

    const int m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopped = false;
    QHash<QString, PAdbUSBHandle> m_devices;
    QSet<QString> m_failed;
    std::shared_ptr<AdbKey> m_key;
};

// Phones on USB, through libusb (or the fake given by a test).
class AdbPoll : public AbsAdbPoll {
    Q_OBJECT
public:
    explicit AdbPoll(int interval, QObject* parent = nullptr, const AdbLibusbApi& api = adbRealLibusb());
    ~AdbPoll() override;

protected:
    std::vector<Found> scan(const QSet<QString>& known, QSet<QString>* present) override;

private:
    AdbLibusbApi m_api;
    std::unique_ptr<AdbUsbScanner> m_scanner;
};

// Emulators and phones with adbd on TCP: the ports firstPort, firstPort + 2,
// ... up to lastPort on host, each tried until something answers there.
class AdbEmuPoll : public AbsAdbPoll {
    Q_OBJECT
public:
    explicit AdbEmuPoll(int interval, QObject* parent = nullptr, const QString& host = QStringLiteral("127.0.0.1"),
                        quint16 firstPort = 5555, quint16 lastPort = 5585);
    ~AdbEmuPoll() override;

protected:
    std::vector<Found> scan(const QSet<QString>& known, QSet<QString>* present) override;

private:
    QString m_host;
    quint16 m_firstPort;
    quint16 m_lastPort;
};
