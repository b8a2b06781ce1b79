// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// The iPhone hot-plug subscription as the main window sees it. The signals
// may be emitted on any thread; the window receives them queued.
class AbsIosDeviceWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Subscribes to attach and detach events without waiting for the device
    // library: the answer comes once by started(), which the window receives
    // queued.
    virtual void start() = 0;

signals:
    // False when the device library could not be reached (the window then
    // names the service to start).
    void started(bool subscribed);
    void newDevice(QString devid);
    void kickDevice(QString devid);
};
