// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/backupcontactstolocalthread.h"

#include "app/applog.h"
#include "kit/contactprogress.h"
#include "kit/messagetext.h"
#include "kit/workerreporter.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "model/localdbedit.h"

#include <exception>

BackupContactsToLocalThread::BackupContactsToLocalThread(const QList<pim::_Contact>& contacts, LocalDb* db,
                                                         IWorkerReporter* form, QObject* parent)
    : BackupContactsToLocalThread(std::make_shared<ContactListPages>(contacts), db, form, parent)
{
}

BackupContactsToLocalThread::BackupContactsToLocalThread(std::shared_ptr<ContactPages> pages, LocalDb* db,
                                                         IWorkerReporter* form, QObject* parent)
    : QThread(parent), pages(std::move(pages)), db(db), form(form)
{
    Q_ASSERT(this->pages);
}

BackupContactsToLocalThread::~BackupContactsToLocalThread() = default;

void BackupContactsToLocalThread::run()
{
    Q_ASSERT(db && form);
    int processed = 0;
    int merged = 0;
    try {
        // The order is read before the edit begins: a backup into the
        // database it reads walks the contacts that were there.
        pages->rewind();
        const int n = int(pages->count());
        LocalDbEdit edit(*db, lcApp(), "rollback of the backup");
        ContactProgress progress(form, tr("IDS_IMPORTING_CONTACTS_TO_LOCALDB"), n);
        QList<pim::_Contact> page;
        while (!form->isCancelled() && pages->nextPage(page)) {
            for (const pim::_Contact& contact : std::as_const(page)) {
                if (form->isCancelled())
                    break;
                ++processed;
                progress.step(processed);
                bool existed = false;
                db->mergeContact(contact, existed);
                if (existed)
                    ++merged;
            }
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
