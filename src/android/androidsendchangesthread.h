// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"
#include "contactui/contactchange.h"
#include "model/contact.h"

#include <QList>
#include <QSharedPointer>
#include <QThread>

class AndroidContactsDb;
class IWorkerReporter;
class LocalDb;
class QTcpSocket;

// Sends to an Android phone a change the user already made in the phone's
// device database, and writes the record ids the phone assigns back into
// that database as source ids. One of three jobs, chosen by one init call
// before start(): the edit of one contact, the deletion of contacts, or the
// new group membership of contacts.
//
// It opens no database edit of its own: every write-back stands at once, or
// goes into an edit the caller holds open (a group change). After a failure
// or a cancel the caller reads the phone again, so nothing is undone here.
class AndroidSendChangesThread : public QThread {
    Q_OBJECT

public:
    enum Job { JOB_EDIT_CONTACT = 0, JOB_DEL_CONTACTS = 1, JOB_SET_GROUP = 2 };

    // `db` is the phone's device database and `connector` the way to its
    // companion app; `port` is the local port to use. The reporter is not
    // owned and must outlive the run.
    AndroidSendChangesThread(IWorkerReporter* reporter, QSharedPointer<LocalDb> db,
        PAndroidConnector connector, int port, QObject* parent = nullptr);
    // The same for a phone's device database and its connector.
    AndroidSendChangesThread(IWorkerReporter* reporter, const QSharedPointer<AndroidContactsDb>& db, int port,
        QObject* parent = nullptr);
    ~AndroidSendChangesThread() override;

    // The contact as stored after the edit, and the edit's changes in the
    // order the editor produced them (added entities with their new row ids).
    void initEditContact(const pim::_Contact& contact, const QList<_ChangeData>& changes);
    // The contacts as they were before their removal, entities included.
    void initDelContacts(const QList<pim::_Contact>& contacts);
    // The contacts after their membership was replaced: each with no
    // group-membership entity (ungrouped) or its one new membership.
    void initContactsSetGroup(const QList<pim::_Contact>& contacts);

protected:
    void run() override;

private:
    void submitEditContact(QTcpSocket& socket);
    void submitDelContacts(QTcpSocket& socket);
    void submitContactsSetGroup(QTcpSocket& socket);
    bool isCancelled() const;

    Job m_job = JOB_EDIT_CONTACT;
    IWorkerReporter* m_reporter;
    QSharedPointer<LocalDb> m_db;
    PAndroidConnector m_connector;
    int m_port;
    pim::_Contact m_contact;
    QList<_ChangeData> m_changes;
    QList<pim::_Contact> m_contacts;
};
