// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossynctopcthread.h"

#include "ios/iossyncrecordreader.h"
#include "ios/iossyncrecords_p.h"
#include "ios/iossyncsession_p.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/localdb.h"
#include "model/localdbedit.h"

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
    runWorkerJob<Cancelled>(*m_reporter, tr("Reading the iPhone's contacts stopped on an unexpected error."), [this] {
        receiveAll();
        m_reporter->invokeSucceed(QString());
    });
}

void IOSSyncToPCThread::receiveAll()
{
    Session session;
    // A phone that refuses the switch may still sync; the start says so if not.
    mobiledevice_sync_set_tethered_throw(m_udid, QStringLiteral("Contacts"), false);
    session.start(m_udid);
    mobiledevice_sync_start_recv_all_records_throw(session.client);

    LocalDbEdit edit(*m_db, lcIosSync(), "rollback of the iPhone read");
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
    edit.commit();
    m_contacts = reader.contactCount();
    m_dropped = reader.droppedChildren();
}
