// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakedevicelayer.h"

#include "model/localdb.h"

#include <QFileInfo>

namespace {

class LoggingIosWatch : public AbsIosDeviceWatch {
public:
    explicit LoggingIosWatch(FakeDeviceLayer& layer) : m_layer(layer) {}
    ~LoggingIosWatch() override { m_layer.log << "ios watch destroyed"; }
    bool start() override
    {
        m_layer.log << "ios watch started";
        return m_layer.iosStartSucceeds;
    }

private:
    FakeDeviceLayer& m_layer;
};

class LoggingAndroidWatch : public AbsAndroidUsbWatch {
public:
    LoggingAndroidWatch(FakeDeviceLayer& layer, int interval) : m_layer(layer)
    {
        m_layer.log << QStringLiteral("android watch built %1").arg(interval);
    }
    ~LoggingAndroidWatch() override { m_layer.log << "android watch destroyed"; }
    void start() override { m_layer.log << "android watch started"; }
    void stop() override { m_layer.log << "android watch stopped"; }

private:
    FakeDeviceLayer& m_layer;
};

QSharedPointer<LocalDb> openDb(const QString& path)
{
    return LocalDb::openLocal(path, LocalDb::ReadOnly);
}

} // namespace

FakeDeviceLayer::FakeDeviceLayer() = default;

FakeDeviceLayer::~FakeDeviceLayer()
{
    pool.waitForDone();
}

std::unique_ptr<AbsIosDeviceWatch> FakeDeviceLayer::createIosDeviceWatch()
{
    auto watch = std::make_unique<LoggingIosWatch>(*this);
    iosWatch = watch.get();
    return watch;
}

std::unique_ptr<AbsAndroidUsbWatch> FakeDeviceLayer::createAndroidUsbWatch(int intervalMs)
{
    auto watch = std::make_unique<LoggingAndroidWatch>(*this, intervalMs);
    androidWatch = watch.get();
    return watch;
}

QSharedPointer<LocalDb> FakeDeviceLayer::openSavedIosDb(const QString& path)
{
    log << "saved iPhone " + QFileInfo(path).fileName();
    return openDb(path);
}

QSharedPointer<LocalDb> FakeDeviceLayer::openSavedAndroidDb(const QString& path)
{
    log << "saved Android " + QFileInfo(path).fileName();
    return openDb(path);
}

std::unique_ptr<QThread> FakeDeviceLayer::createAdbPortGuard()
{
    log << "port guard built";
    return nullptr;
}
