#include "ios/mobiledevicesubscribe.h"

#include "ios/mobiledevice.h"

#include <libimobiledevice/libimobiledevice.h>

MobiledeviceSubscribe::MobiledeviceSubscribe(QObject* parent) : QObject(parent) {}

MobiledeviceSubscribe::~MobiledeviceSubscribe()
{
    // Also when never started: unsubscribing an absent subscription is harmless, and a
    // callback must never reach a destroyed object.
    idevice_event_unsubscribe();
}

bool MobiledeviceSubscribe::start()
{
    count = 0;
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
