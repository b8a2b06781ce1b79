// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/devices/nulldevicelayer.h"

#include <QStringList>
#include <QThreadPool>

// A device layer whose watches only write down what is done to them, in a
// log shared with the test, and whose ADB pool the test can keep busy.
class FakeDeviceLayer : public NullDeviceLayer {
public:
    FakeDeviceLayer();
    ~FakeDeviceLayer() override;

    bool iosStartSucceeds = true;
    QStringList log;
    QThreadPool pool;

    std::unique_ptr<AbsIosDeviceWatch> createIosDeviceWatch() override;
    std::unique_ptr<AbsAndroidUsbWatch> createAndroidUsbWatch(int intervalMs) override;
    QThreadPool* adbThreadPool() override { return &pool; }
    QSharedPointer<LocalDb> openSavedIosDb(const QString& path) override;
    QSharedPointer<LocalDb> openSavedAndroidDb(const QString& path) override;
    std::unique_ptr<QThread> createAdbPortGuard() override;

    // The watches handed out last (owned by the window).
    AbsIosDeviceWatch* iosWatch = nullptr;
    AbsAndroidUsbWatch* androidWatch = nullptr;
};
