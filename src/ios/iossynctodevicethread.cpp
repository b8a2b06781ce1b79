// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossynctodevicethread.h"

#include "ios/iossyncbatch_p.h"
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

#include <algorithm>

using namespace iossync;

namespace {

// The contact as the iPhone can hold it. The phone keeps one organisation a
// contact, and its duplicate rule merges every further one into the first:
// the company of one would go beside the department of another. The first
// goes whole instead.
pim::_Contact asThePhoneHoldsIt(const pim::_Contact& contact)
{
    const auto orgs = contact.entities.constFind(pim::ENTITY_ORG);
    if (orgs == contact.entities.constEnd() || orgs->size() < 2)
        return contact;
    pim::_Contact one = contact;
    one.entities[pim::ENTITY_ORG] = orgs->mid(0, 1);
    return one;
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
    m_written = 0;
    m_incomplete.clear();
    m_unconfirmedDetails.clear();
    m_unconfirmedChanges.clear();
    m_unconfirmed = 0;
    m_unconfirmedChanged = 0;
    runWorkerJob<int>(*m_reporter, tr("Writing contacts to the iPhone stopped on an unexpected error."), [this] {
        try {
            writeAll();
        } catch (const ContactSourceError& e) {
            // Nothing of the batch being gathered was sent: every contact
            // handled so far is in a committed batch.
            throw Error(e.text() + QLatin1Char(' ') + writtenText(outcome()).text);
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
    runInWords<int>(Road::Write, [this](Unconfirmed how) { return writtenText(outcome(), how); }, [&] {
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

WriteOutcome IOSSyncToDeviceThread::outcome() const
{
    WriteOutcome outcome;
    outcome.total = m_total;
    outcome.written = m_written;
    outcome.incomplete = m_incomplete;
    outcome.unconfirmedDetails = m_unconfirmedDetails;
    outcome.unconfirmedChanges = m_unconfirmedChanges;
    outcome.unconfirmed = m_unconfirmed;
    outcome.unconfirmedChanged = m_unconfirmedChanged;
    return outcome;
}

void IOSSyncToDeviceThread::handleBatch(const QList<pim::_Contact>& batch)
{
    LocalDbEdit edit(*m_db, lcIosSync(), "rollback of a batch to the iPhone");
    BatchLedger ledger;
    for (const pim::_Contact& incoming : batch) {
        throwIfCancelled();
        ++m_processed;
        m_progress->step(m_processed);
        ledger.noteBefore(*m_db, incoming.fullName);
        pim::_Contact target;
        bool existed = false;
        const QMap<int, QList<pim::Entity>> additions
            = m_db->combineContact(asThePhoneHoldsIt(incoming), target, existed);
        if (existed)
            ++m_merged;
        ledger.noteMerge(target, existed, additions);
    }

    if (ledger.hasRows()) {
        try {
            sendBatch(ledger);
        } catch (...) {
            // The phone keeps what it confirmed: so does the database, and the
            // ending names it, and what may be on the phone unconfirmed.
            // Should the database fail, the whole batch rolls back there, but
            // the phone holds what it holds: the ending says so all the same,
            // and the phone is read again.
            m_written += ledger.keptContacts();
            m_incomplete += ledger.incompleteNames();
            m_unconfirmedDetails += ledger.unconfirmedDetailNames();
            m_unconfirmedChanges += ledger.unconfirmedChangeNames();
            m_unconfirmed += ledger.unconfirmedContacts();
            m_unconfirmedChanged += ledger.unconfirmedChangeContacts();
            try {
                ledger.dropUnconfirmed(*m_db);
                edit.commit();
            } catch (const std::exception& e) {
                qCWarning(lcIosSync) << "keeping what the iPhone confirmed of a batch failed:" << e.what();
            }
            throw;
        }
    }
    edit.commit();
    m_written += int(batch.size());
}

void IOSSyncToDeviceThread::sendBatch(BatchLedger& ledger)
{
    Session session([this] { return m_reporter->isCancelled(); });
    session.start(m_udid);
    mobiledevice_sync_start_send_to_device_throw(session.client);

    // Sends one message, carrying the records of these contacts or these
    // rows, and hands the phone's remap to `confirm`. What went out and was
    // not confirmed stays unconfirmed in the ledger: the phone may hold it.
    const auto send = [&](const QList<unsigned long long>& contactIds, const QList<unsigned long long>& rowIds,
                          const PlistCFType& records, const auto& confirm) {
        ledger.sending(contactIds, rowIds);
        exchange(session.client, records, confirm, [&] { ledger.sentUnconfirmed(); });
        ledger.sending({}, {});
    };

    QHash<unsigned long long, QString> recordIds;
    QList<unsigned long long> contactPhase;
    QList<unsigned long long> childPhase;
    for (unsigned long long id : ledger.order()) {
        const BatchLedger::Target& target = ledger.target(id);
        recordIds.insert(id, target.merged.srcId);
        if (target.withRecord)
            contactPhase.append(id);
        if (!target.written.isEmpty())
            childPhase.append(id);
    }
    std::sort(childPhase.begin(), childPhase.end());

    for (qsizetype s = 0; s < contactPhase.size(); s += kMessageContacts) {
        throwIfCancelled();
        PlistCFType records = PlistCFType::createCFDictionary();
        SentIds sent;
        QList<unsigned long long> known;
        const QList<unsigned long long> message = contactPhase.mid(s, kMessageContacts);
        for (unsigned long long id : message) {
            const pim::_Contact& contact = ledger.target(id).merged;
            addPlistDataFromContact(records, contact);
            if (contact.srcId.isEmpty())
                sent.append({tempContactId(id), id});
            else
                known.append(id);
        }
        send(message, {}, records, [&](const PlistCFType& remap) {
            for (unsigned long long id : std::as_const(known))
                ledger.confirmRecord(id);
            writeBackContacts(*m_db, remap, sent, [&](unsigned long long id, const QString& phoneId) {
                recordIds[id] = phoneId;
                ledger.confirmRecord(id);
            });
        });
    }

    for (qsizetype s = 0; s < childPhase.size(); s += kMessageContacts) {
        throwIfCancelled();
        PlistCFType records = PlistCFType::createCFDictionary();
        SentIds sent;
        QList<unsigned long long> known;
        QList<unsigned long long> rows;
        for (unsigned long long id : childPhase.mid(s, kMessageContacts)) {
            const BatchLedger::Target& target = ledger.target(id);
            const QString recordId = recordIds.value(id);
            for (auto it = target.written.constBegin(); it != target.written.constEnd(); ++it) {
                for (const pim::Entity& entity : it.value()) {
                    if (!addChild(records, sent, recordId, it.key(), entity))
                        continue;
                    rows.append(entity.id);
                    if (!entity.srcId.isEmpty())
                        known.append(entity.id);
                }
            }
        }
        if (records.dict_size() == 0)
            continue;
        send({}, rows, records, [&](const PlistCFType& remap) {
            for (unsigned long long id : std::as_const(known))
                ledger.confirmRow(id);
            writeBackEntities(*m_db, remap, sent,
                              [&](unsigned long long id, const QString&) { ledger.confirmRow(id); });
        });
    }
    mobiledevice_sync_send_finish_throw(session.client);
}
