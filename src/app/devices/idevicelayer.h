// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"
#include "app/devices/absandroidusbwatch.h"
#include "app/devices/absiosdevicewatch.h"
#include "contactui/contactchange.h"
#include "model/contact.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

class ContactPages;
class IWorkerReporter;
class LocalDb;
class QThreadPool;
class QWidget;

// The read of a whole phone into its device database: the worker, not yet
// started, and the phone's name as the read found it (asked after the worker
// has ended; empty when the phone named itself elsewhere or not at all).
struct PhoneRead {
    std::unique_ptr<QThread> thread;
    std::function<QString()> deviceName;
};

// Where a USB Android phone stands after one wait for its debugging
// authorisation.
// Connecting: the phone has not answered yet (no prompt is on its screen);
// Waiting: it has our key and asks its user.
enum class UsbAuthorisation { Authorised, Waiting, Gone, Connecting };

// The phone a change goes to: the device node's kind (1 iPhone, 2 Android),
// its device id and its device database.
struct DeviceTarget {
    int kind = 0;
    QString id;
    QSharedPointer<LocalDb> db;
};

// One change the user made to a phone's contacts.
struct DeviceChanges {
    enum Job { EditContact, DeleteContacts, SetGroup };

    Job job = EditContact;
    // EditContact: the contact as stored after the edit, and the edit's
    // changes in the editor's order, added entities with their row ids.
    pim::_Contact contact;
    QList<_ChangeData> changes;
    // DeleteContacts: the removed contacts as they were, entities included.
    // SetGroup: the contacts whose membership changes.
    QList<pim::_Contact> contacts;
    // SetGroup: the group to put them in (see applyGroupChange); id 0 with
    // an empty name takes them out of every group.
    unsigned long long groupId = 0;
    QString groupName;
};

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

    // Phones that arrive. The name is read from the phone itself and is
    // empty when it cannot be read; it blocks while the phone answers.
    virtual QString iosDeviceName(const QString& udid) = 0;
    virtual UsbAuthorisation waitForUsbAuthorisation(const PAdbUSBHandle& handle, int timeoutMs) = 0;
    virtual QString usbDeviceId(const PAdbUSBHandle& handle) = 0;
    // The way to a USB phone's companion app; null when there is none.
    virtual PAndroidConnector usbConnector(const PAdbUSBHandle& handle) = 0;
    // Runs the WiFi connection dialog; null when nothing was connected,
    // otherwise the connector, with the phone's own id in *deviceId.
    virtual PAndroidConnector connectViaWifi(QWidget* parent, QString* deviceId) = 0;

    // Device cache databases: built on path with the phone's duplicate rule,
    // nothing opened or created. The Android one keeps its connector, which
    // androidConnectorOf() gives back (null for any other database).
    virtual QSharedPointer<LocalDb> iosCacheDb(const QString& path) = 0;
    virtual QSharedPointer<LocalDb> androidCacheDb(const QString& path, PAndroidConnector connector) = 0;
    virtual PAndroidConnector androidConnectorOf(const QSharedPointer<LocalDb>& db) = 0;

    // The workers of the phone roads, not yet started; each reports only
    // through `reporter` and holds its database until it is destroyed. A
    // null thread means the layer cannot reach such a phone. A write walks
    // `pages` on its own thread, a page at a time.
    virtual PhoneRead createIosRead(const QString& udid, QSharedPointer<LocalDb> db, IWorkerReporter* reporter) = 0;
    virtual PhoneRead createAndroidRead(QSharedPointer<LocalDb> db, int port, IWorkerReporter* reporter) = 0;
    virtual std::unique_ptr<QThread> createIosWrite(const QString& udid, QSharedPointer<LocalDb> db,
                                                    std::shared_ptr<ContactPages> pages, IWorkerReporter* reporter)
        = 0;
    virtual std::unique_ptr<QThread> createAndroidWrite(QSharedPointer<LocalDb> db, int port,
                                                        std::shared_ptr<ContactPages> pages,
                                                        IWorkerReporter* reporter)
        = 0;

    // The worker that sends one change to the phone, reporting through
    // `reporter` (a success with an empty text, or the error's text); null
    // when this layer cannot reach that kind of phone. The window starts it,
    // runs the progress dialog and waits for it; a failure or cancel is
    // repaired by reading the phone again.
    //
    // Edits and deletions are already committed in target.db; the worker
    // writes the record ids the phone assigns back as source ids. A SetGroup
    // worker makes the membership change in target.db itself, inside an edit
    // of its own thread (applyGroupChange), and commits it only once the
    // phone has accepted it; otherwise it rolls it back.
    virtual std::unique_ptr<QThread> createSendChangesWorker(const DeviceTarget& target,
                                                             const DeviceChanges& changes,
                                                             IWorkerReporter* reporter) = 0;
};
