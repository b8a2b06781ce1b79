// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/devices/idevicelayer.h"

class AbsAdbPoll;

// The phones themselves: iPhones through the device library's hot-plug
// subscription and contact sync service, Android phones through the ADB
// client (USB) or the companion app's WiFi service.
class PhoneDeviceLayer : public IDeviceLayer {
public:
    PhoneDeviceLayer();
    ~PhoneDeviceLayer() override;

    std::unique_ptr<AbsIosDeviceWatch> createIosDeviceWatch() override;
    // Points the ADB client's key at the data folder before polling starts.
    std::unique_ptr<AbsAndroidUsbWatch> createAndroidUsbWatch(int intervalMs) override;
    QThreadPool* adbThreadPool() override;
    QSharedPointer<LocalDb> openSavedIosDb(const QString& path) override;
    QSharedPointer<LocalDb> openSavedAndroidDb(const QString& path) override;
    std::unique_ptr<QThread> createAdbPortGuard() override;

    QString iosDeviceName(const QString& udid) override;
    UsbAuthorisation waitForUsbAuthorisation(const PAdbUSBHandle& handle, int timeoutMs) override;
    QString usbDeviceId(const PAdbUSBHandle& handle) override;
    PAndroidConnector usbConnector(const PAdbUSBHandle& handle) override;
    PAndroidConnector connectViaWifi(QWidget* parent, QString* deviceId) override;
    QSharedPointer<LocalDb> iosCacheDb(const QString& path) override;
    QSharedPointer<LocalDb> androidCacheDb(const QString& path, PAndroidConnector connector) override;
    PAndroidConnector androidConnectorOf(const QSharedPointer<LocalDb>& db) override;
    PhoneRead createIosRead(const QString& udid, QSharedPointer<LocalDb> db, IWorkerReporter* reporter) override;
    PhoneRead createAndroidRead(QSharedPointer<LocalDb> db, int port, IWorkerReporter* reporter) override;
    std::unique_ptr<QThread> createIosWrite(const QString& udid, QSharedPointer<LocalDb> db,
                                            std::shared_ptr<ContactPages> pages, IWorkerReporter* reporter) override;
    std::unique_ptr<QThread> createAndroidWrite(QSharedPointer<LocalDb> db, int port,
                                                std::shared_ptr<ContactPages> pages,
                                                IWorkerReporter* reporter) override;
    // iPhone edits and deletions; Android edits, deletions and group
    // changes (the group change stored in the worker's own edit, kept only
    // once the phone has taken it).
    std::unique_ptr<QThread> createSendChangesWorker(const DeviceTarget& target, const DeviceChanges& changes,
                                                     IWorkerReporter* reporter) override;

protected:
    // The USB poller; tests poll a simulated phone's adbd on loopback.
    virtual std::unique_ptr<AbsAdbPoll> createAdbPoll(int intervalMs);
};
