// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"
#include "model/contact.h"

#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QString>
#include <QThread>

class AndroidContactsDb;
class IWorkerReporter;
class LocalDb;
class QTcpSocket;

// Writes contacts to an Android phone. It merges them into the phone's
// device database under the database's duplicate rule, then sends what the
// merge inserted or changed to the companion app in batches of up to 20
// contacts: first the name record of every new contact, whose answer gives
// the phone's ids, then the contacts' other new or changed records. The ids
// the phone assigns are written back as source ids.
//
// The whole run is one database edit, committed only when every batch went
// through; a failure or a cancel rolls the merge back (the caller then reads
// the phone again, since the phone keeps the batches it applied). When the
// merge adds nothing, no connection is made.
class SyncBackupThread : public QThread {
    Q_OBJECT

public:
    // `db` is the phone's device database and `connector` the way to its
    // companion app; `port` is the local port to use. The reporter is not
    // owned and must outlive the run.
    SyncBackupThread(QList<pim::_Contact> contacts, QSharedPointer<LocalDb> db, PAndroidConnector connector,
        int port, IWorkerReporter* reporter, QObject* parent = nullptr);
    // The same for a phone's device database and its connector.
    SyncBackupThread(QList<pim::_Contact> contacts, const QSharedPointer<AndroidContactsDb>& db, int port,
        IWorkerReporter* reporter, QObject* parent = nullptr);
    ~SyncBackupThread() override;

    // After the run: contacts given, contacts merged into one already in the
    // device database, and contacts left out for having no name at all.
    int processed() const { return m_processed; }
    int merged() const { return m_merged; }
    int skipped() const { return m_skipped; }

protected:
    void run() override;

private:
    using EntitiesByType = QMap<int, QList<pim::Entity>>;

    void transfer();
    void mergeAll();
    void addMerged(const pim::_Contact& stored, const EntitiesByType& written);
    void startSyncService(QTcpSocket& socket);
    void sendNames(QTcpSocket& socket);
    void sendOtherRecords(QTcpSocket& socket);
    QString successText() const;
    void throwIfCancelled() const;

    QList<pim::_Contact> m_contacts;
    QSharedPointer<LocalDb> m_db;
    PAndroidConnector m_connector;
    int m_port;
    IWorkerReporter* m_reporter;

    int m_processed = 0;
    int m_merged = 0;
    int m_skipped = 0;
    // Working data of one run. Local contact id -> the phone's id of its name
    // record (empty until the phone gives one).
    QMap<unsigned long long, QString> m_nameIds;
    // Local contact id -> what the merge inserted or changed for it, joined
    // over every given contact that merged into it.
    QMap<unsigned long long, EntitiesByType> m_added;
    // Contacts whose merge inserted or changed their name, in list order.
    QList<pim::_Contact> m_newNames;
};
