// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/devices/absandroidusbwatch.h"
#include "app/devices/absiosdevicewatch.h"

#include <QSharedPointer>
#include <QString>
#include <QThread>

#include <memory>

class LocalDb;
class QThreadPool;

// What the shell needs of the phone subsystems. `main` hands the window the
// real layer; without phone support a NullDeviceLayer keeps everything
// quiet, so the program starts and runs with local databases only.
class IDeviceLayer {
public:
    virtual ~IDeviceLayer() = default;

    virtual std::unique_ptr<AbsIosDeviceWatch> createIosDeviceWatch() = 0;
    virtual std::unique_ptr<AbsAndroidUsbWatch> createAndroidUsbWatch(int intervalMs) = 0;
    // The pool the ADB library runs device jobs on; null when there is none.
    virtual QThreadPool* adbThreadPool() = 0;

    // Opening a saved device database ("ios_virtual", "android_virtual")
    // touches no file: the database opens on first use, read-only (the
    // program never writes into a saved phone database).
    virtual QSharedPointer<LocalDb> openSavedIosDb(const QString& path) = 0;
    virtual QSharedPointer<LocalDb> openSavedAndroidDb(const QString& path) = 0;

    // The thread that keeps foreign ADB servers off the ADB port, started by
    // `main` before the window and stopped by destroying it; null for none.
    virtual std::unique_ptr<QThread> createAdbPortGuard() = 0;
};
