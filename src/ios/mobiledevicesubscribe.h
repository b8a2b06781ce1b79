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
#include <memory>
#include <mutex>

#include <libimobiledevice/libimobiledevice.h>

class MobiledeviceSubscribe : public QObject {
    Q_OBJECT
public:
    explicit MobiledeviceSubscribe(QObject* parent = nullptr);
    ~MobiledeviceSubscribe() override;

    // Returns at once; a thread of its own then asks the multiplexer daemon,
    // and back on this object's thread the object subscribes to the library's
    // events and emits started(): false when no daemon answered within two
    // seconds (unless one is installed that starts when an iPhone is plugged
    // in) or the library refused. Every device attached at that moment is
    // reported as newly arrived. Only the first call starts anything; the
    // destructor waits for nothing.
    void start();

    void invokeNewDevice(const QString& devid);
    void invokeKickDevice(const QString& devid);

signals:
    // Emitted once, on this object's thread.
    void started(bool subscribed);
    void newDevice(QString devid);
    void kickDevice(QString devid);

private:
    struct Check;
    void subscribeIf(bool reachable);

    std::shared_ptr<Check> m_check;
    std::atomic<int> count{0}; // attached devices; written on the event thread only
};

// The event callback handed to the device library; userData is the MobiledeviceSubscribe.
void subscribe(const idevice_event_t* event, void* userData);
