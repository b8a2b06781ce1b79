// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/devices/idevicelayer.h"

// No phones: the watches never report, there is no ADB pool or port guard,
// no change can be sent, and saved device databases open as plain local
// databases.
class NullDeviceLayer : public IDeviceLayer {
public:
    std::unique_ptr<AbsIosDeviceWatch> createIosDeviceWatch() override;
    std::unique_ptr<AbsAndroidUsbWatch> createAndroidUsbWatch(int intervalMs) override;
    QThreadPool* adbThreadPool() override { return nullptr; }
    QSharedPointer<LocalDb> openSavedIosDb(const QString& path) override;
    QSharedPointer<LocalDb> openSavedAndroidDb(const QString& path) override;
    std::unique_ptr<QThread> createAdbPortGuard() override { return nullptr; }

    QString iosDeviceName(const QString&) override { return QString(); }
    UsbAuthorisation waitForUsbAuthorisation(const PAdbUSBHandle&, int) override { return UsbAuthorisation::Gone; }
    QString usbDeviceId(const PAdbUSBHandle&) override { return QString(); }
    PAndroidConnector usbConnector(const PAdbUSBHandle&) override { return nullptr; }
    PAndroidConnector connectViaWifi(QWidget*, QString*) override { return nullptr; }
    QSharedPointer<LocalDb> iosCacheDb(const QString& path) override;
    QSharedPointer<LocalDb> androidCacheDb(const QString& path, PAndroidConnector) override;
    PAndroidConnector androidConnectorOf(const QSharedPointer<LocalDb>&) override { return nullptr; }
    PhoneRead createIosRead(const QString&, QSharedPointer<LocalDb>, IWorkerReporter*) override { return {}; }
    PhoneRead createAndroidRead(QSharedPointer<LocalDb>, int, IWorkerReporter*) override { return {}; }
    std::unique_ptr<QThread> createIosWrite(const QString&, QSharedPointer<LocalDb>, std::shared_ptr<ContactPages>,
                                            IWorkerReporter*) override
    {
        return nullptr;
    }
    std::unique_ptr<QThread> createAndroidWrite(QSharedPointer<LocalDb>, int, std::shared_ptr<ContactPages>,
                                                IWorkerReporter*) override
    {
        return nullptr;
    }
    std::unique_ptr<QThread> createSendChangesWorker(const DeviceTarget&, const DeviceChanges&,
                                                     IWorkerReporter*) override
    {
        return nullptr;
    }
};
