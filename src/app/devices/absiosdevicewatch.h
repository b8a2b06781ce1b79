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

    // Subscribes to attach and detach events; false when the device library
    // could not be reached (the window then asks the user to start iTunes).
    virtual bool start() = 0;

signals:
    void newDevice(QString devid);
    void kickDevice(QString devid);
};
