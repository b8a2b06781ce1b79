// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/backupcontactstolocalthread.h"

#include "app/applog.h"
#include "kit/messagetext.h"
#include "kit/workerreporter.h"
#include "model/localdb.h"
#include "model/localdbedit.h"

#include <exception>

BackupContactsToLocalThread::BackupContactsToLocalThread(const QList<pim::_Contact>& contacts, LocalDb* db,
                                                         IWorkerReporter* form, QObject* parent)
    : QThread(parent), contacts(contacts), db(db), form(form)
{
}

BackupContactsToLocalThread::~BackupContactsToLocalThread() = default;

void BackupContactsToLocalThread::run()
{
    Q_ASSERT(db && form);
    const int n = int(contacts.size());
    int processed = 0;
    int merged = 0;
    try {
        LocalDbEdit edit(*db, lcApp(), "rollback of the backup");
        for (const pim::_Contact& contact : std::as_const(contacts)) {
            if (form->isCancelled())
                break;
            ++processed;
            form->invokeUpdateProgress(tr("IDS_IMPORTING_CONTACTS_TO_LOCALDB"),
                                       int(double(processed) / double(n) * 100.0),
                                       QStringLiteral("Contacts:%1/%2").arg(processed).arg(n));
            bool existed = false;
            db->mergeContact(contact, existed);
            if (existed)
                ++merged;
        }
        edit.commit();
    } catch (const std::exception& e) {
        qCWarning(lcApp) << "backup into" << db->path() << "failed:" << e.what();
        form->invokeErrorOccurred(g_messageText(QString::fromUtf8(e.what())));
        return;
    } catch (...) {
        // A duplicate rule may throw anything; it must not end the program.
        form->invokeErrorOccurred(tr("Unknown error while backing up contacts."));
        return;
    }
    if (merged == 0)
        form->invokeSucceed(tr("IDS_SUC_IMPORT_%1_TO_LOCALDB").arg(processed));
    else
        form->invokeSucceed(tr("IDS_SUC_IMPORT_%1_TO_LOCALDB_%2_MERGED").arg(processed - merged).arg(merged));
}
