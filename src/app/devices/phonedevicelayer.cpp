// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/devices/phonedevicelayer.h"

#include "android/adbconnector.h"
#include "android/adbkillserverthread.h"
#include "android/androidsendchangesthread.h"
#include "android/androidcontactsdb.h"
#include "android/androidwificonnector.h"
#include "android/androidwifiform.h"
#include "android/syncbackupthread.h"
#include "android/syncrestorethread.h"
#include "app/applog.h"
#include "app/devices/devicecache.h"
#include "app/groupchange.h"
#include "ios/ioscontactcombinerule.h"
#include "ios/iossendchangesthread.h"
#include "ios/iossynctodevicethread.h"
#include "ios/iossynctopcthread.h"
#include "ios/mobiledevice.h"
#include "ios/mobiledevicesubscribe.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/data_path_util.h"
#include "model/localdb.h"
#include "model/localdbedit.h"
#include "platform/adb/adbpoll.h"
#include "platform/adb/adbservices.h"

namespace {

// The subscription's device signals come on the device library's event
// thread and are passed on there; the window's connections queue them. Its
// answer comes on the check's thread and is passed on from this object's own
// thread, so it never reaches a receiver before start() has returned.
class IosSubscribeWatch : public AbsIosDeviceWatch {
public:
    IosSubscribeWatch()
    {
        connect(&m_subscribe, &MobiledeviceSubscribe::started, this, &AbsIosDeviceWatch::started,
                Qt::QueuedConnection);
        connect(&m_subscribe, &MobiledeviceSubscribe::newDevice, this, &AbsIosDeviceWatch::newDevice,
                Qt::DirectConnection);
        connect(&m_subscribe, &MobiledeviceSubscribe::kickDevice, this, &AbsIosDeviceWatch::kickDevice,
                Qt::DirectConnection);
    }
    void start() override { m_subscribe.start(); }

private:
    MobiledeviceSubscribe m_subscribe;
};

class AdbPollWatch : public AbsAndroidUsbWatch {
public:
    explicit AdbPollWatch(std::unique_ptr<AbsAdbPoll> poll) : m_poll(std::move(poll))
    {
        connect(m_poll.get(), &AbsAdbPoll::newDevice, this, &AbsAndroidUsbWatch::newDevice, Qt::DirectConnection);
        connect(m_poll.get(), &AbsAdbPoll::kickDevice, this, &AbsAndroidUsbWatch::kickDevice, Qt::DirectConnection);
        connect(m_poll.get(), &AbsAdbPoll::failedDevice, this, &AbsAndroidUsbWatch::failedDevice,
                Qt::DirectConnection);
    }
    ~AdbPollWatch() override { m_poll->stop(); }
    void start() override { m_poll->start(); }
    void stop() override { m_poll->stop(); }

private:
    std::unique_ptr<AbsAdbPoll> m_poll;
};

QSharedPointer<AndroidContactsDb> androidDb(const QSharedPointer<LocalDb>& db)
{
    return db.dynamicCast<AndroidContactsDb>();
}

// The edited contact lives as long as the worker that points at it.
struct KeptContact {
    pim::_Contact contact;
};

class IosSendThread : private KeptContact, public IOSSendChangesThread {
public:
    IosSendThread(IWorkerReporter* reporter, const DeviceTarget& target, const DeviceChanges& changes)
        : KeptContact { changes.contact },
          IOSSendChangesThread(reporter, target.id, target.db,
                               changes.job == DeviceChanges::EditContact ? &contact : nullptr, changes.changes,
                               changes.job == DeviceChanges::DeleteContacts ? changes.contacts
                                                                            : QList<pim::_Contact>())
    {
    }
};

// Passes everything on to the dialog but a success, which waits until the
// group change it confirms is committed.
class HeldSuccess : public IWorkerReporter {
public:
    explicit HeldSuccess(IWorkerReporter* reporter) : m_dialog(reporter) {}
    bool invokeUpdateProgress(QString s, int p, QString t) override { return m_dialog->invokeUpdateProgress(s, p, t); }
    bool invokeErrorOccurred(QString err) override { return m_dialog->invokeErrorOccurred(err); }
    bool invokeSucceed(QString) override { return succeeded = true; }
    bool invokeTipsWait(QString info) override { return m_dialog->invokeTipsWait(info); }
    bool invokeSetCancelBtnText(const QString& text) override { return m_dialog->invokeSetCancelBtnText(text); }
    bool isCancelled() const override { return m_dialog->isCancelled(); }
    bool isTipsWaiting() const override { return m_dialog->isTipsWaiting(); }
    IWorkerReporter* const m_dialog;
    bool succeeded = false;
};

// The write-backs of a group change go into the edit that holds the change,
// so the change, the phone's step and the commit all run on this thread.
class AndroidGroupSendThread : private HeldSuccess, public AndroidSendChangesThread {
public:
    AndroidGroupSendThread(IWorkerReporter* reporter, const QSharedPointer<AndroidContactsDb>& db, int port,
                           DeviceChanges changes)
        : HeldSuccess(reporter), AndroidSendChangesThread(this, db, port), m_db(db), m_changes(std::move(changes))
    {
    }

protected:
    void run() override
    {
        runWorkerJob(*m_dialog, QStringLiteral("Changing the group stopped on an unexpected error."), [this] {
            LocalDbEdit edit(*m_db, lcApp(), "rolling back a group change");
            initContactsSetGroup(applyGroupChange(*m_db, m_changes.contacts, m_changes.groupId, m_changes.groupName));
            AndroidSendChangesThread::run();
            if (!succeeded)
                return;
            edit.commit();
            m_dialog->invokeSucceed(QString());
        });
    }

private:
    QSharedPointer<AndroidContactsDb> m_db;
    DeviceChanges m_changes;
};

} // namespace

PhoneDeviceLayer::PhoneDeviceLayer() = default;
PhoneDeviceLayer::~PhoneDeviceLayer() = default;

std::unique_ptr<AbsIosDeviceWatch> PhoneDeviceLayer::createIosDeviceWatch()
{
    return std::make_unique<IosSubscribeWatch>();
}

std::unique_ptr<AbsAndroidUsbWatch> PhoneDeviceLayer::createAndroidUsbWatch(int intervalMs)
{
    AdbSettings settings = adbSettings();
    settings.keyFolder = g_dataSaveDir().absolutePath();
    adbSetSettings(settings);
    return std::make_unique<AdbPollWatch>(createAdbPoll(intervalMs));
}

std::unique_ptr<AbsAdbPoll> PhoneDeviceLayer::createAdbPoll(int intervalMs)
{
    return std::make_unique<AdbPoll>(intervalMs);
}

QThreadPool* PhoneDeviceLayer::adbThreadPool()
{
    return ::adbThreadPool();
}

QSharedPointer<LocalDb> PhoneDeviceLayer::openSavedIosDb(const QString& path)
{
    return QSharedPointer<LocalDb>(new LocalDb(path, QSharedPointer<IOSContactCombineRule>::create(), LocalDb::ReadOnly));
}

QSharedPointer<LocalDb> PhoneDeviceLayer::openSavedAndroidDb(const QString& path)
{
    return QSharedPointer<LocalDb>(
        new AndroidContactsDb(path, PAndroidConnector(new AdbConnector(nullptr)), LocalDb::ReadOnly));
}

std::unique_ptr<QThread> PhoneDeviceLayer::createAdbPortGuard()
{
    return std::make_unique<AdbKillServerThread>();
}

QString PhoneDeviceLayer::iosDeviceName(const QString& udid)
{
    return mobiledevice_info(udid, QString(), QString()).get(QStringLiteral("DeviceName")).CFStringQString();
}

UsbAuthorisation PhoneDeviceLayer::waitForUsbAuthorisation(const PAdbUSBHandle& handle, int timeoutMs)
{
    if (!handle)
        return UsbAuthorisation::Gone;
    if (handle->waitForAuth2(timeoutMs))
        return UsbAuthorisation::Authorised;
    switch (handle->state()) {
    case AdbUSBHandle::State::Offline:
        return UsbAuthorisation::Gone;
    case AdbUSBHandle::State::WaitingForUser:
        return UsbAuthorisation::Waiting;
    default:
        return UsbAuthorisation::Connecting;
    }
}

QString PhoneDeviceLayer::usbDeviceId(const PAdbUSBHandle& handle)
{
    return handle ? handle->deviceId() : QString();
}

PAndroidConnector PhoneDeviceLayer::usbConnector(const PAdbUSBHandle& handle)
{
    return handle ? PAndroidConnector(new AdbConnector(handle)) : PAndroidConnector();
}

PAndroidConnector PhoneDeviceLayer::connectViaWifi(QWidget* parent, QString* deviceId)
{
    std::unique_ptr<AndroidWifiConnector> connector;
    {
        AndroidWIFIForm form(parent);
        connector.reset(form.execGetConnector());
    }
    if (!connector)
        return nullptr;
    if (deviceId)
        *deviceId = connector->helloText();
    return PAndroidConnector(connector.release());
}

QSharedPointer<LocalDb> PhoneDeviceLayer::iosCacheDb(const QString& path)
{
    return QSharedPointer<LocalDb>(new LocalDb(path, QSharedPointer<IOSContactCombineRule>::create()));
}

QSharedPointer<LocalDb> PhoneDeviceLayer::androidCacheDb(const QString& path, PAndroidConnector connector)
{
    return QSharedPointer<LocalDb>(new AndroidContactsDb(path, std::move(connector)));
}

PAndroidConnector PhoneDeviceLayer::androidConnectorOf(const QSharedPointer<LocalDb>& db)
{
    const QSharedPointer<AndroidContactsDb> android = androidDb(db);
    return android ? android->connector() : PAndroidConnector();
}

namespace {

// The iPhone read, which first asks the phone its name: a phone that does not
// answer then holds the worker, never the window.
class IosReadWithName : public IOSSyncToPCThread {
public:
    using IOSSyncToPCThread::IOSSyncToPCThread;
    QString name;
    QString udid;

protected:
    void run() override
    {
        name = mobiledevice_info(udid, QString(), QString()).get(QStringLiteral("DeviceName")).CFStringQString();
        IOSSyncToPCThread::run();
    }
};

} // namespace

PhoneRead PhoneDeviceLayer::createIosRead(const QString& udid, QSharedPointer<LocalDb> db, IWorkerReporter* reporter)
{
    auto thread = std::make_unique<IosReadWithName>(udid, std::move(db), reporter);
    thread->udid = udid;
    IosReadWithName* reader = thread.get();
    return { std::move(thread), [reader] { return reader->name; } };
}

PhoneRead PhoneDeviceLayer::createAndroidRead(QSharedPointer<LocalDb> db, int port, IWorkerReporter* reporter)
{
    const QSharedPointer<AndroidContactsDb> android = androidDb(db);
    if (!android)
        return {};
    auto thread = std::make_unique<SyncRestoreThread>(android, port, reporter);
    SyncRestoreThread* reader = thread.get();
    return { std::move(thread), [reader] { return reader->deviceName(); } };
}

std::unique_ptr<QThread> PhoneDeviceLayer::createIosWrite(const QString& udid, QSharedPointer<LocalDb> db,
                                                          std::shared_ptr<ContactPages> pages,
                                                          IWorkerReporter* reporter)
{
    return std::make_unique<IOSSyncToDeviceThread>(udid, std::move(db), std::move(pages), reporter);
}

std::unique_ptr<QThread> PhoneDeviceLayer::createAndroidWrite(QSharedPointer<LocalDb> db, int port,
                                                              std::shared_ptr<ContactPages> pages,
                                                              IWorkerReporter* reporter)
{
    const QSharedPointer<AndroidContactsDb> android = androidDb(db);
    if (!android)
        return nullptr;
    return std::make_unique<SyncBackupThread>(std::move(pages), android, port, reporter);
}

std::unique_ptr<QThread> PhoneDeviceLayer::createSendChangesWorker(const DeviceTarget& target,
                                                                   const DeviceChanges& changes,
                                                                   IWorkerReporter* reporter)
{
    if (target.kind == 1)
        return changes.job == DeviceChanges::SetGroup ? nullptr
                                                      : std::make_unique<IosSendThread>(reporter, target, changes);
    const QSharedPointer<AndroidContactsDb> android = androidDb(target.db);
    if (!android)
        return nullptr;
    if (changes.job == DeviceChanges::SetGroup)
        return std::make_unique<AndroidGroupSendThread>(reporter, android, portAlloc(), changes);
    auto thread = std::make_unique<AndroidSendChangesThread>(reporter, android, portAlloc());
    if (changes.job == DeviceChanges::EditContact)
        thread->initEditContact(changes.contact, changes.changes);
    else
        thread->initDelContacts(changes.contacts);
    return thread;
}
