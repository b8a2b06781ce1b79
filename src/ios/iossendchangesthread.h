// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/contactchange.h"
#include "model/contact.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QThread>

#include <memory>

class IWorkerReporter;
class LocalDb;
namespace iossync {
struct EditOutcome;
}

// Sends what the user just changed in an iPhone's device database to the
// phone, in one contact sync session: the edit of one contact (its change
// list), or the deletion of contacts. A change of a field the contact record
// carries (name, photo, nickname, notes, organisation, birthday) sends the
// whole contact record again; other changes go as child records, deletions
// as deletion entries. The ids the phone gives new records are written back
// as source ids, one statement each (the edit itself is already stored).
//
// Not cancellable. Ends with exactly one success (no message) or error.
// `contact` may be null only when `changes` is empty; its srcId is updated
// when the phone gives the contact a new id. contact, db and reporter must
// outlive the run.
class IOSSendChangesThread : public QThread {
    Q_OBJECT

public:
    IOSSendChangesThread(IWorkerReporter* reporter, QString udid, QSharedPointer<LocalDb> db, pim::_Contact* contact,
                         const QList<_ChangeData>& changes, const QList<pim::_Contact>& deleted,
                         QObject* parent = nullptr);
    ~IOSSendChangesThread() override;

protected:
    void run() override;

private:
    void sendAll();

    IWorkerReporter* m_reporter;
    QString m_udid;
    QSharedPointer<LocalDb> m_db;
    pim::_Contact* m_contact;
    QList<_ChangeData> m_changes;
    QList<pim::_Contact> m_deleted;
    // What of the change may be on the phone once a send stopped.
    std::unique_ptr<iossync::EditOutcome> m_outcome;
};
