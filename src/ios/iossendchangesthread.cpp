// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossendchangesthread.h"

#include "ios/iossyncrecords_p.h"
#include "ios/iossyncsession_p.h"
#include "ios/iossynctodevicethread.h"
#include "ios/iossyncwriteback_p.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/contactmention.h"
#include "model/localdb.h"
#include "platform/error.h"

using namespace iossync;

namespace {

// Changes carried by the contact record rather than a child record of their own.
bool isContactLevel(const _ChangeData& change)
{
    return carriedByContactRecord(change.type, change.entity);
}

// Whether a change that is not carried by the contact record puts a record
// into the message after it.
bool goesAsChildRecord(const _ChangeData& change)
{
    if (change.action == _ChangeData::ACTION_DELETED)
        return !change.entity.srcId.isEmpty();
    return travelsAsChild(change.type, change.entity);
}

} // namespace

IOSSendChangesThread::IOSSendChangesThread(IWorkerReporter* reporter, QString udid, QSharedPointer<LocalDb> db,
                                           pim::_Contact* contact, const QList<_ChangeData>& changes,
                                           const QList<pim::_Contact>& deleted, QObject* parent)
    : QThread(parent)
    , m_reporter(reporter)
    , m_udid(std::move(udid))
    , m_db(std::move(db))
    , m_contact(contact)
    , m_changes(changes)
    , m_deleted(deleted)
{
}

IOSSendChangesThread::~IOSSendChangesThread() = default;

void IOSSendChangesThread::run()
{
    m_reporter->invokeUpdateProgress(tr("IDS_SENGING_CHANGES_TO_DEVICE"), 99, QString());
    runWorkerJob(*m_reporter, tr("Sending the changes to the iPhone stopped on an unexpected error."), [this] {
        m_outcome = std::make_unique<EditOutcome>();
        runInWords<workerrun::NoCancel>(
            Road::Edit, [this](Unconfirmed how) { return editText(*m_outcome, how); }, [this] { sendAll(); });
        m_reporter->invokeSucceed(QString());
    });
}

void IOSSendChangesThread::sendAll()
{
    if (!m_contact && !m_changes.isEmpty())
        throw Error(tr("The changed contact is missing, so nothing was sent to the iPhone."));

    // A cancelled dialog stops the wait for the phone; the worker then ends
    // without a word, and the window reads the phone again.
    Session session([this] { return m_reporter->isCancelled(); });
    session.start(m_udid);
    mobiledevice_sync_start_send_to_device_throw(session.client);
    bool sentAny = false;

    // A contact the phone does not know yet goes first, whatever changed:
    // its child records need its phone id to name it.
    bool childChanges = false;
    bool contactLevel = false;
    bool childRecords = false;
    for (const _ChangeData& change : std::as_const(m_changes)) {
        (isContactLevel(change) ? contactLevel : childChanges) = true;
        childRecords = childRecords || (!isContactLevel(change) && goesAsChildRecord(change));
    }
    if (m_contact) {
        m_outcome->deletion = false;
        m_outcome->name = pim::shownName(*m_contact);
        m_outcome->newContact = m_contact->srcId.isEmpty();
    }
    if (contactLevel || (childChanges && m_contact->srcId.isEmpty())) {
        PlistCFType records = PlistCFType::createCFDictionary();
        IOSSyncToDeviceThread::addPlistDataFromContact(records, *m_contact);
        SentIds sent;
        if (m_contact->srcId.isEmpty())
            sent.append({tempContactId(m_contact->id), m_contact->id});
        exchange(
            session.client, records,
            [&](const PlistCFType& remap) {
                writeBackContacts(*m_db, remap, sent,
                                  [this](unsigned long long, const QString& phoneId) { m_contact->srcId = phoneId; });
            },
            // What the change sends after the record then never goes out.
            [&] { m_outcome->recordUnconfirmed = true, m_outcome->restNotSent = childRecords; });
        sentAny = true;
    }

    PlistCFType records = PlistCFType::createCFDictionary();
    SentIds sent;
    const PlistCFType remove = PlistCFType::createCFString(kDeleteRecord);
    const auto deleteRecord = [&](const QString& recordId) {
        // A record the phone never got has nothing to delete there.
        if (!recordId.isEmpty())
            records.put(recordId, PlistCFType::clone(remove));
    };
    for (const _ChangeData& change : std::as_const(m_changes)) {
        if (isContactLevel(change))
            continue;
        switch (change.action) {
        case _ChangeData::ACTION_ADDED:
        case _ChangeData::ACTION_UPDATED:
            addChild(records, sent, m_contact->srcId, change.type, change.entity);
            break;
        case _ChangeData::ACTION_DELETED:
            deleteRecord(change.entity.srcId);
            break;
        }
    }
    for (const pim::_Contact& contact : std::as_const(m_deleted))
        deleteRecord(contact.srcId);

    if (records.dict_size() > 0) {
        exchange(
            session.client, records, [&](const PlistCFType& remap) { writeBackEntities(*m_db, remap, sent); },
            [this] { m_outcome->restUnconfirmed = true; });
        sentAny = true;
    }
    if (sentAny)
        mobiledevice_sync_send_finish_throw(session.client);
}
