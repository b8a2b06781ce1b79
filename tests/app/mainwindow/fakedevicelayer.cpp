// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakedevicelayer.h"

#include "app/groupchange.h"
#include "kit/workerreporter.h"
#include "model/localdb.h"

#include <QFileInfo>

namespace {

class LoggingIosWatch : public AbsIosDeviceWatch {
public:
    explicit LoggingIosWatch(FakeDeviceLayer& layer) : m_layer(layer) {}
    ~LoggingIosWatch() override { m_layer.log << "ios watch destroyed"; }
    // Answers at once, which the window must take as well as a queued answer.
    void start() override { emit started(m_layer.iosStartSucceeds); }

private:
    FakeDeviceLayer& m_layer;
};

class LoggingAndroidWatch : public AbsAndroidUsbWatch {
public:
    explicit LoggingAndroidWatch(FakeDeviceLayer& layer) : m_layer(layer) {}
    ~LoggingAndroidWatch() override { m_layer.log << "android watch destroyed"; }
    void start() override {}
    void stop() override { m_layer.log << "android watch stopped"; }

private:
    FakeDeviceLayer& m_layer;
};

// The phone end of a change: a source id written back for an edit, a group
// change stored in its own edit and committed only when accepted.
class FakeSendWorker : public QThread {
public:
    FakeSendWorker(const DeviceTarget& target, const DeviceChanges& changes, IWorkerReporter* reporter, bool accepts)
        : m_target(target), m_changes(changes), m_reporter(reporter), m_accepts(accepts)
    {
    }

protected:
    void run() override
    {
        LocalDb& db = *m_target.db;
        if (m_changes.job == DeviceChanges::SetGroup) {
            db.beginEdit();
            applyGroupChange(db, m_changes.contacts, m_changes.groupId, m_changes.groupName);
            db.endEdit(m_accepts);
        } else if (m_changes.job == DeviceChanges::EditContact && m_accepts) {
            db.updateContactBaseSrcId(m_changes.contact.id, QStringLiteral("phone-%1").arg(m_changes.contact.id));
        }
        m_accepts ? m_reporter->invokeSucceed(QString())
                  : m_reporter->invokeErrorOccurred(QStringLiteral("The phone refused the change."));
    }

private:
    DeviceTarget m_target;
    DeviceChanges m_changes;
    IWorkerReporter* m_reporter;
    bool m_accepts;
};

} // namespace

std::unique_ptr<AbsIosDeviceWatch> FakeDeviceLayer::createIosDeviceWatch()
{
    return std::make_unique<LoggingIosWatch>(*this);
}

std::unique_ptr<AbsAndroidUsbWatch> FakeDeviceLayer::createAndroidUsbWatch(int)
{
    return std::make_unique<LoggingAndroidWatch>(*this);
}

QSharedPointer<LocalDb> FakeDeviceLayer::openSavedIosDb(const QString& path)
{
    const bool writable = savedIosWritable && !savedCopies.contains(QFileInfo(path).fileName());
    return LocalDb::openLocal(path, writable ? LocalDb::ReadWrite : LocalDb::ReadOnly);
}

QSharedPointer<LocalDb> FakeDeviceLayer::openSavedAndroidDb(const QString& path)
{
    const bool writable = savedAndroidWritable && !savedCopies.contains(QFileInfo(path).fileName());
    return LocalDb::openLocal(path, writable ? LocalDb::ReadWrite : LocalDb::ReadOnly);
}

std::unique_ptr<QThread> FakeDeviceLayer::createSendChangesWorker(const DeviceTarget& target,
                                                                  const DeviceChanges& changes,
                                                                  IWorkerReporter* reporter)
{
    static const char* const jobs[] = { "edit", "delete", "group" };
    QStringList names;
    if (changes.job == DeviceChanges::EditContact)
        names << changes.contact.fullName;
    for (const pim::_Contact& contact : changes.contacts)
        names << contact.fullName;
    log << QStringLiteral("send %1 %2 to %3").arg(QLatin1String(jobs[changes.job]), names.join(','), target.id)
            + (changes.job == DeviceChanges::SetGroup ? " in '" + changes.groupName + "'" : QString());
    return std::make_unique<FakeSendWorker>(target, changes, reporter, phoneAccepts);
}

PAndroidConnector FakeDeviceLayer::androidConnectorOf(const QSharedPointer<LocalDb>& db)
{
    log << "connector of " + QFileInfo(db->path()).fileName();
    return {};
}
