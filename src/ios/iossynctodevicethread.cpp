// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossynctodevicethread.h"

#include "ios/iossyncrecords_p.h"
#include "ios/iossyncsession_p.h"
#include "ios/iossyncwriteback_p.h"
#include "kit/contactprogress.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/localdb.h"
#include "model/contactpages.h"
#include "model/localdbedit.h"

#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>

using namespace iossync;

namespace {

// The types whose data the contact record carries: an addition of one of
// them means the contact record has to go out again.
bool carriedByContactRecord(int type, const QList<pim::Entity>& entities)
{
    switch (type) {
    case pim::ENTITY_NAME:
    case pim::ENTITY_PHOTO:
    case pim::ENTITY_NOTES:
    case pim::ENTITY_ORG:
    case pim::ENTITY_NICKNAME:
        return !entities.isEmpty();
    case pim::ENTITY_EVENT:
        return std::any_of(entities.begin(), entities.end(), [](const pim::Entity& e) {
            return e.fields.value(QStringLiteral("data2")).toInt() == 3;
        });
    default:
        return false;
    }
}

// Puts `entity` into `list`, replacing the entry of the same row id: two
// merges into one stored contact may write the same row twice.
void putById(QList<pim::Entity>& list, const pim::Entity& entity)
{
    for (pim::Entity& present : list) {
        if (present.id == entity.id) {
            present = entity;
            return;
        }
    }
    list.append(entity);
}

} // namespace

IOSSyncToDeviceThread::IOSSyncToDeviceThread(QString udid, QSharedPointer<LocalDb> db,
                                             std::shared_ptr<ContactPages> pages, IWorkerReporter* reporter,
                                             QObject* parent)
    : QThread(parent)
    , m_udid(std::move(udid))
    , m_db(std::move(db))
    , m_pages(std::move(pages))
    , m_reporter(reporter)
{
    Q_ASSERT(m_pages);
}

IOSSyncToDeviceThread::IOSSyncToDeviceThread(QString udid, QSharedPointer<LocalDb> db, QList<pim::_Contact> contacts,
                                             IWorkerReporter* reporter, QObject* parent)
    : IOSSyncToDeviceThread(std::move(udid), std::move(db), std::make_shared<ContactListPages>(std::move(contacts)),
                            reporter, parent)
{
}

IOSSyncToDeviceThread::~IOSSyncToDeviceThread() = default;

void IOSSyncToDeviceThread::run()
{
    m_reporter->invokeUpdateProgress(tr("IDS_MERGING_CONTACTS"), 0, QString());
    m_total = 0;
    m_processed = 0;
    m_merged = 0;
    runWorkerJob<int>(*m_reporter, tr("Writing contacts to the iPhone stopped on an unexpected error."), [this] {
        try {
            writeAll();
        } catch (const ContactSourceError& e) {
            // Nothing of the batch being gathered was written: every contact
            // handled so far is in a committed batch.
            throw Error(e.text() + QLatin1Char(' ')
                        + (m_processed > 0 ? tr("The %1 contacts written before stay on the iPhone; the rest were "
                                                "not written.")
                                                 .arg(m_processed)
                                           : tr("No contact was written to the iPhone.")));
        }
        m_reporter->invokeSucceed(m_merged < 1
                                      ? tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS").arg(m_processed)
                                      : tr("IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS_MERGED_%2")
                                            .arg(m_processed - m_merged)
                                            .arg(m_merged));
    });
    m_progress = nullptr;
}

void IOSSyncToDeviceThread::writeAll()
{
    ContactCursor source(*m_pages);
    m_total = int(source.count());
    ContactProgress progress(m_reporter, tr("IDS_MERGING_CONTACTS"), m_total);
    m_progress = &progress;
    // Every batch but the last holds kBatchSize contacts, so a failure past
    // the first batch leaves earlier, committed ones behind.
    runInWords<int>(Road::Write, [this] { return m_processed > kBatchSize; }, [&] {
        QList<pim::_Contact> batch;
        batch.reserve(kBatchSize);
        pim::_Contact contact;
        for (;;) {
            batch.clear();
            while (batch.size() < kBatchSize && source.next(contact))
                batch.append(std::move(contact));
            if (batch.isEmpty())
                break;
            handleBatch(batch);
        }
    });
    m_progress = nullptr;
}

void IOSSyncToDeviceThread::throwIfCancelled() const
{
    if (m_reporter->isCancelled())
        throw -1;
}

void IOSSyncToDeviceThread::handleBatch(const QList<pim::_Contact>& batch)
{
    LocalDbEdit edit(*m_db, lcIosSync(), "rollback of a batch to the iPhone");

    // Per stored contact, in merge order: the contact as merged, whether its
    // contact record goes out, and what the merges of this batch wrote.
    QList<unsigned long long> order;
    QHash<unsigned long long, pim::_Contact> stored;
    QSet<unsigned long long> withContactRecord;
    QMap<unsigned long long, QMap<int, QList<pim::Entity>>> entitiesToSend;
    for (const pim::_Contact& incoming : batch) {
        throwIfCancelled();
        ++m_processed;
        m_progress->step(m_processed);
        pim::_Contact target;
        bool existed = false;
        const QMap<int, QList<pim::Entity>> additions = m_db->combineContact(incoming, target, existed);
        if (existed)
            ++m_merged;
        if (additions.isEmpty())
            continue;
        QMap<int, QList<pim::Entity>>& joined = entitiesToSend[target.id];
        for (auto it = additions.constBegin(); it != additions.constEnd(); ++it) {
            for (const pim::Entity& entity : it.value()) {
                putById(joined[it.key()], entity);
                // The merge result holds the rows as they were before an
                // update; the contact record must carry the new values.
                putById(target.entities[it.key()], entity);
            }
            // A contact the phone does not know yet needs its contact record
            // whatever was added: its children have nothing to name otherwise.
            if (carriedByContactRecord(it.key(), it.value()) || target.srcId.isEmpty())
                withContactRecord.insert(target.id);
        }
        if (!stored.contains(target.id))
            order.append(target.id);
        stored.insert(target.id, target);
    }

    if (!entitiesToSend.isEmpty()) {
        Session session([this] { return m_reporter->isCancelled(); });
        session.start(m_udid);
        mobiledevice_sync_start_send_to_device_throw(session.client);

        QHash<unsigned long long, QString> recordIds;
        for (unsigned long long id : std::as_const(order))
            recordIds.insert(id, stored.value(id).srcId);

        QList<unsigned long long> contactPhase;
        for (unsigned long long id : std::as_const(order))
            if (withContactRecord.contains(id))
                contactPhase.append(id);
        for (qsizetype s = 0; s < contactPhase.size(); s += kMessageContacts) {
            throwIfCancelled();
            PlistCFType records = PlistCFType::createCFDictionary();
            SentIds sent;
            for (unsigned long long id : contactPhase.mid(s, kMessageContacts)) {
                const pim::_Contact& contact = stored[id];
                addPlistDataFromContact(records, contact);
                if (contact.srcId.isEmpty())
                    sent.append({tempContactId(id), id, contact.fullName});
            }
            const PlistCFType remap = mobiledevice_sync_send_throw(session.client, records, false, PlistCFType());
            writeBackContacts(*m_db, remap, sent, [&](unsigned long long id, const QString& phoneId) {
                recordIds[id] = phoneId;
            });
        }

        const QList<unsigned long long> childPhase = entitiesToSend.keys();
        for (qsizetype s = 0; s < childPhase.size(); s += kMessageContacts) {
            throwIfCancelled();
            PlistCFType records = PlistCFType::createCFDictionary();
            SentIds sent;
            for (unsigned long long id : childPhase.mid(s, kMessageContacts)) {
                const QString recordId = recordIds.value(id);
                const QMap<int, QList<pim::Entity>>& byType = entitiesToSend[id];
                for (auto it = byType.constBegin(); it != byType.constEnd(); ++it)
                    for (const pim::Entity& entity : it.value())
                        addChild(records, sent, recordId, it.key(), entity, stored[id].fullName);
            }
            if (records.dict_size() == 0)
                continue;
            const PlistCFType remap = mobiledevice_sync_send_throw(session.client, records, false, PlistCFType());
            writeBackEntities(*m_db, remap, sent);
        }
        mobiledevice_sync_send_finish_throw(session.client);
    }

    edit.commit();
}
