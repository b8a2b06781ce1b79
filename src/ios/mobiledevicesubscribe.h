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

#include <libimobiledevice/libimobiledevice.h>

class MobiledeviceSubscribe : public QObject {
    Q_OBJECT
public:
    explicit MobiledeviceSubscribe(QObject* parent = nullptr);
    ~MobiledeviceSubscribe() override;

    // Subscribes to the library's events; false when no multiplexer daemon can be
    // reached (unless one is installed that starts when an iPhone is plugged in)
    // or the library refuses. Every device attached at that moment is
    // reported as newly arrived. Waits at most two seconds for the daemon.
    bool start();

    void invokeNewDevice(const QString& devid);
    void invokeKickDevice(const QString& devid);

signals:
    void newDevice(QString devid);
    void kickDevice(QString devid);

private:
    std::atomic<int> count{0}; // attached devices; written on the event thread only
};

// The event callback handed to the device library; userData is the MobiledeviceSubscribe.
void subscribe(const idevice_event_t* event, void* userData);
