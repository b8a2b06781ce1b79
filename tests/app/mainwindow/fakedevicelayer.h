// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/devices/nulldevicelayer.h"

#include <QStringList>
#include <QThreadPool>

// A device layer whose watches only write down what is done to them, in a
// log shared with the test, and whose ADB pool the test can keep busy. Its
// "phone" takes or refuses changes as the test says, working on the real
// device database the way a phone's send worker does.
class FakeDeviceLayer : public NullDeviceLayer {
public:
    bool iosStartSucceeds = true;
    // Whether the phone takes the changes sent to it.
    bool phoneAccepts = true;
    QStringList log;
    QThreadPool pool;

    std::unique_ptr<AbsIosDeviceWatch> createIosDeviceWatch() override;
    std::unique_ptr<AbsAndroidUsbWatch> createAndroidUsbWatch(int intervalMs) override;
    QThreadPool* adbThreadPool() override { return &pool; }
    // Saved databases of these kinds open writable, standing in for phones
    // just read; the others open read-only, as saved copies do.
    bool savedIosWritable = false;
    bool savedAndroidWritable = true;
    // File names of saved databases that open read-only whatever their kind.
    QStringList savedCopies;
    QSharedPointer<LocalDb> openSavedIosDb(const QString& path) override;
    QSharedPointer<LocalDb> openSavedAndroidDb(const QString& path) override;
    // Logs "send <job> <names> to <device id>" and returns a worker that acts as the phone.
    std::unique_ptr<QThread> createSendChangesWorker(const DeviceTarget& target, const DeviceChanges& changes,
                                                     IWorkerReporter* reporter) override;
    // Logs "connector of <device id>": asked when a phone is read again.
    PAndroidConnector androidConnectorOf(const QSharedPointer<LocalDb>& db) override;
};
