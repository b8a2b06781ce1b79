// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/backupcontactstolocalthread.h"

#include "app/applog.h"
#include "kit/workerreporter.h"
#include "model/localdb.h"

#include <exception>

BackupContactsToLocalThread::BackupContactsToLocalThread(const QList<pim::_Contact>& contacts, LocalDb* db,
                                                         IWorkerReporter* form, QObject* parent)
    : QThread(parent), contacts(contacts), db(db), form(form)
{
}

BackupContactsToLocalThread::~BackupContactsToLocalThread() = default;

namespace {

// Rolling back may fail too (the connection lost); the first error is the
// one the user sees.
void rollBack(LocalDb& db)
{
    try {
        db.endEdit(false);
    } catch (const std::exception& e) {
        qCWarning(lcApp) << "rollback of the backup failed:" << e.what();
    }
}

} // namespace

void BackupContactsToLocalThread::run()
{
    Q_ASSERT(db && form);
    const int n = int(contacts.size());
    int processed = 0;
    int merged = 0;
    bool editing = false;
    try {
        db->beginEdit();
        editing = true;
        for (const pim::_Contact& contact : std::as_const(contacts)) {
            if (form->isCancelled())
                break;
            ++processed;
            form->invokeUpdateProgress(tr("IDS_IMPORTING_CONTACTS_TO_LOCALDB"),
                                       int(double(processed) / double(n) * 100.0),
                                       QStringLiteral("Contacts:%1/%2").arg(processed).arg(n));
            pim::_Contact stored;
            bool existed = false;
            db->combineContact(contact, stored, existed);
            if (existed)
                ++merged;
        }
        editing = false;
        // A failing commit has rolled itself back before it throws.
        db->endEdit(true);
    } catch (const std::exception& e) {
        if (editing)
            rollBack(*db);
        qCWarning(lcApp) << "backup into" << db->path() << "failed:" << e.what();
        form->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    } catch (...) {
        // A duplicate rule may throw anything; it must not end the program.
        if (editing)
            rollBack(*db);
        form->invokeErrorOccurred(tr("Unknown error while backing up contacts."));
        return;
    }
    if (merged == 0)
        form->invokeSucceed(tr("IDS_SUC_IMPORT_%1_TO_LOCALDB").arg(processed));
    else
        form->invokeSucceed(tr("IDS_SUC_IMPORT_%1_TO_LOCALDB_%2_MERGED").arg(processed - merged).arg(merged));
}
