// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/adb/padbusbhandle.h"

#include <QObject>
#include <QString>

// The USB Android poller as the main window sees it: started once by the
// window, stopped by its destructor before the ADB thread pool is drained.
class AbsAndroidUsbWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void start() = 0;
    // Returns once polling has stopped.
    virtual void stop() = 0;

signals:
    void newDevice(QString path, PAdbUSBHandle handle);
    void kickDevice(QString path, PAdbUSBHandle handle);
    void failedDevice(QString reason);
};
