// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossendchangesthread.h"

#include "ios/iossyncrecords_p.h"
#include "ios/iossyncsession_p.h"
#include "ios/iossynctodevicethread.h"
#include "ios/iossyncwriteback_p.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/localdb.h"
#include "platform/error.h"

using namespace iossync;

namespace {

// Changes carried by the contact record rather than a child record of their own.
bool isContactLevel(const _ChangeData& change)
{
    return carriedByContactRecord(change.type, change.entity);
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
        runInWords<workerrun::NoCancel>(Road::Edit, {}, [this] { sendAll(); });
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
    for (const _ChangeData& change : std::as_const(m_changes))
        (isContactLevel(change) ? contactLevel : childChanges) = true;
    if (contactLevel || (childChanges && m_contact->srcId.isEmpty())) {
        PlistCFType records = PlistCFType::createCFDictionary();
        IOSSyncToDeviceThread::addPlistDataFromContact(records, *m_contact);
        SentIds sent;
        if (m_contact->srcId.isEmpty())
            sent.append({tempContactId(m_contact->id), m_contact->id, m_contact->fullName});
        const PlistCFType remap = mobiledevice_sync_send_throw(session.client, records, false, PlistCFType());
        sentAny = true;
        writeBackContacts(*m_db, remap, sent,
                          [this](unsigned long long, const QString& phoneId) { m_contact->srcId = phoneId; });
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
            addChild(records, sent, m_contact->srcId, change.type, change.entity, m_contact->fullName);
            break;
        case _ChangeData::ACTION_DELETED:
            deleteRecord(change.entity.srcId);
            break;
        }
    }
    for (const pim::_Contact& contact : std::as_const(m_deleted))
        deleteRecord(contact.srcId);

    if (records.dict_size() > 0) {
        const PlistCFType remap = mobiledevice_sync_send_throw(session.client, records, false, PlistCFType());
        sentAny = true;
        writeBackEntities(*m_db, remap, sent);
    }
    if (sentAny)
        mobiledevice_sync_send_finish_throw(session.client);
}
