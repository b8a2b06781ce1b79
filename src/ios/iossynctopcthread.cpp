// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossynctopcthread.h"

#include "ios/iossyncrecordreader.h"
#include "ios/iossyncrecords_p.h"
#include "ios/iossyncsession_p.h"
#include "kit/workerreporter.h"
#include "kit/messagetext.h"
#include "kit/workerrun.h"
#include "model/localdb.h"
#include "model/localdbedit.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

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
    m_reporter->invokeUpdateProgress(tr("IDS_RECEIVING_CONTACTS_FROM_IOS"), 0, QString());
    runWorkerJob<Cancelled>(*m_reporter, tr("Reading the iPhone's contacts stopped on an unexpected error."), [this] {
        runInWords<Cancelled>(Road::Read, {}, [this] { receiveAll(); });
        m_reporter->invokeSucceed(m_summary);
    });
}

int IOSSyncToPCThread::progressOf(qint64 records)
{
    // Half the bar at a thousand records, three quarters at ten thousand,
    // nine tenths at a hundred thousand.
    const double x = std::sqrt(double(std::max<qint64>(records, 0)) / 1000.0);
    return int(99.0 * x / (1.0 + x));
}

QString IOSSyncToPCThread::summaryOf(const IOSSyncRecordReader& reader)
{
    QStringList lines;
    if (reader.contactCount() == 0)
        lines << tr("The iPhone sent no contacts. This usually means that its contacts are kept in an online "
                    "account rather than on the phone itself: the phone then leaves them out of a cable sync.");
    if (reader.unreadableRecords() > 0)
        lines << tr("%n record(s) of the iPhone could not be read and were left out (%1); everything else was stored.",
                    nullptr, reader.unreadableRecords())
                     .arg(reader.unreadableIds().join(QLatin1String(", "))
                          + (reader.unreadableRecords() > reader.unreadableIds().size() ? QStringLiteral(", ...")
                                                                                       : QString()));
    if (reader.droppedChildren() > 0)
        lines << tr("%n detail record(s) named a contact the iPhone never sent and were left out (%1).", nullptr,
                    reader.droppedChildren())
                     .arg(reader.droppedIds().join(QLatin1String(", "))
                          + (reader.droppedChildren() > reader.droppedIds().size() ? QStringLiteral(", ...")
                                                                                  : QString()));
    if (reader.fullContacts() > 0)
        lines << reader.fullContactsText();
    return g_messageText(lines.join(QLatin1String("\n\n")));
}

void IOSSyncToPCThread::receiveAll()
{
    Session session([this] { return m_reporter->isCancelled(); });
    // A phone that refuses the switch may still sync; the start says so if not.
    mobiledevice_sync_set_tethered_throw(m_udid, QStringLiteral("Contacts"), false);
    session.start(m_udid);
    mobiledevice_sync_start_recv_all_records_throw(session.client);

    LocalDbEdit edit(*m_db, lcIosSync(), "rollback of the iPhone read");
    IOSSyncRecordReader reader(*m_db);
    qint64 records = 0;
    for (bool more = true; more;) {
        PlistCFType batch;
        more = mobiledevice_sync_record_next_throw(session.client, batch, nullptr);
        reader.readBatch(batch);
        records += batch.dict_size();
        m_reporter->invokeUpdateProgress(QString(), progressOf(records),
                                         tr("Contacts received: %1").arg(reader.contactCount()));
        if (more && m_reporter->isCancelled())
            throw Cancelled();
    }
    reader.finish();
    session.client.release();
    edit.commit();
    m_contacts = reader.contactCount();
    m_dropped = reader.droppedChildren();
    m_summary = summaryOf(reader);
}
