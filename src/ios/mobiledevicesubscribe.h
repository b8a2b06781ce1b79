#pragma once
// Hot-plug subscription: turns the device library's attach and detach events of
// USB-connected iOS devices into Qt signals.
//
// The device library calls back on its own event thread and the signals are emitted
// there; connect them with automatic (queued) connections to receivers on the GUI
// thread. The library keeps one subscription per process.

#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

#include <libimobiledevice/libimobiledevice.h>

class MobiledeviceSubscribe : public QObject {
    Q_OBJECT
public:
    explicit MobiledeviceSubscribe(QObject* parent = nullptr);
    ~MobiledeviceSubscribe() override;

    // Returns at once; a thread of this object's own then asks the multiplexer
    // daemon, subscribes to the library's events and emits started(): false
    // when no daemon answered within two seconds (unless one is installed that
    // starts when an iPhone is plugged in) or the library refused. Every device
    // attached at that moment is reported as newly arrived. Only the first call
    // starts anything. The destructor stops that thread within a few
    // milliseconds and waits for it.
    void start();

    void invokeNewDevice(const QString& devid);
    void invokeKickDevice(const QString& devid);

signals:
    // Emitted once, on the check's thread.
    void started(bool subscribed);
    void newDevice(QString devid);
    void kickDevice(QString devid);

private:
    bool subscribeIfReachable();

    std::thread m_check;
    std::atomic_bool m_stop{false};
    std::atomic<int> count{0}; // attached devices; written on the event thread only
};

// The event callback handed to the device library; userData is the MobiledeviceSubscribe.
void subscribe(const idevice_event_t* event, void* userData);
