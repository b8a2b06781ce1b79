// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/devices/nulldevicelayer.h"

#include "app/devices/absandroidusbwatch.h"
#include "app/devices/absiosdevicewatch.h"
#include "model/localdb.h"

#include <QThread>

namespace {

class QuietIosDeviceWatch : public AbsIosDeviceWatch {
public:
    // Nothing to subscribe to, and nothing to warn the user about.
    void start() override {}
};

class QuietAndroidUsbWatch : public AbsAndroidUsbWatch {
public:
    void start() override {}
    void stop() override {}
};

} // namespace

std::unique_ptr<AbsIosDeviceWatch> NullDeviceLayer::createIosDeviceWatch()
{
    return std::make_unique<QuietIosDeviceWatch>();
}

std::unique_ptr<AbsAndroidUsbWatch> NullDeviceLayer::createAndroidUsbWatch(int)
{
    return std::make_unique<QuietAndroidUsbWatch>();
}

QSharedPointer<LocalDb> NullDeviceLayer::openSavedIosDb(const QString& path)
{
    return LocalDb::openLocal(path, LocalDb::ReadOnly);
}

QSharedPointer<LocalDb> NullDeviceLayer::openSavedAndroidDb(const QString& path)
{
    return LocalDb::openLocal(path, LocalDb::ReadOnly);
}

QSharedPointer<LocalDb> NullDeviceLayer::iosCacheDb(const QString& path)
{
    return LocalDb::openLocal(path);
}

QSharedPointer<LocalDb> NullDeviceLayer::androidCacheDb(const QString& path, PAndroidConnector)
{
    return LocalDb::openLocal(path);
}
