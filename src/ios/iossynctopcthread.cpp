// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossynctopcthread.h"

#include "ios/iossyncrecordreader.h"
#include "ios/iossyncrecords_p.h"
#include "ios/iossyncsession_p.h"
#include "kit/workerreporter.h"
#include "kit/messagetext.h"
#include "model/localdb.h"

using namespace iossync;

namespace {
struct Cancelled {};
} // namespace

IOSSyncToPCThread::IOSSyncToPCThread(QString udid, QSharedPointer<LocalDb> db, IWorkerReporter* reporter,
                                     QObject* parent)
    : QThread(parent), m_udid(std::move(udid)), m_db(std::move(db)), m_reporter(reporter)
{
}

IOSSyncToPCThread::~IOSSyncToPCThread() = default;

void IOSSyncToPCThread::run()
{
    m_reporter->invokeUpdateProgress(tr("IDS_RECEIVING_CONTACTS_FROM_IOS"), 99, QString());
    // Nothing may leave a worker thread: every way out rolls back and, but
    // for a cancel, reports.
    try {
        receiveAll();
        m_reporter->invokeSucceed(QString());
    } catch (const Cancelled&) {
        rollBack();
    } catch (const std::exception& e) {
        rollBack();
        m_reporter->invokeErrorOccurred(g_messageText(QString::fromUtf8(e.what())));
    } catch (...) {
        rollBack();
        m_reporter->invokeErrorOccurred(tr("Reading the iPhone's contacts stopped on an unexpected error."));
    }
}

void IOSSyncToPCThread::receiveAll()
{
    Session session;
    // A phone that refuses the switch may still sync; the start says so if not.
    mobiledevice_sync_set_tethered_throw(m_udid, QStringLiteral("Contacts"), false);
    session.start(m_udid);
    mobiledevice_sync_start_recv_all_records_throw(session.client);

    m_db->beginEdit();
    m_editing = true;
    IOSSyncRecordReader reader(*m_db);
    for (bool more = true; more;) {
        PlistCFType batch;
        more = mobiledevice_sync_record_next_throw(session.client, batch, nullptr);
        reader.readBatch(batch);
        if (more && m_reporter->isCancelled())
            throw Cancelled();
    }
    reader.finish();
    session.client.release();
    m_editing = false;
    m_db->endEdit(true);
    m_contacts = reader.contactCount();
    m_dropped = reader.droppedChildren();
}

void IOSSyncToPCThread::rollBack()
{
    if (!m_editing)
        return;
    m_editing = false;
    try {
        m_db->endEdit(false);
    } catch (const std::exception& e) {
        qCWarning(lcIosSync) << "rollback of the iPhone read failed:" << e.what();
    } catch (...) {
        qCWarning(lcIosSync) << "rollback of the iPhone read failed";
    }
}
