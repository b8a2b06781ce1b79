// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/devices/idevicelayer.h"

// No phones: the watches never report, there is no ADB pool or port guard,
// and saved device databases open as plain local databases.
class NullDeviceLayer : public IDeviceLayer {
public:
    std::unique_ptr<AbsIosDeviceWatch> createIosDeviceWatch() override;
    std::unique_ptr<AbsAndroidUsbWatch> createAndroidUsbWatch(int intervalMs) override;
    QThreadPool* adbThreadPool() override { return nullptr; }
    QSharedPointer<LocalDb> openSavedIosDb(const QString& path) override;
    QSharedPointer<LocalDb> openSavedAndroidDb(const QString& path) override;
    std::unique_ptr<QThread> createAdbPortGuard() override { return nullptr; }
};
