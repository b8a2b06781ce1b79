// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"
#include "model/contact.h"

#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QString>
#include <QThread>

#include <memory>
#include <unordered_set>
#include <vector>

class AndroidContactsDb;
class ContactPages;
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
//
// The contacts come from a walk read on this thread, a page at a time, and
// the run keeps only ids of what the merge wrote: each batch is read back
// from the device database (inside the run's edit) as it is sent. So a run
// holds a page and a batch of contacts, and a few numbers per row written,
// whatever the size of its source; the companion app sees what it would if
// every contact were held at once. The whole walk is merged before anything
// is sent, so a walk that fails leaves the phone untouched.
class SyncBackupThread : public QThread {
    Q_OBJECT

public:
    // `pages` is the walk of the contacts to write, `db` the phone's device
    // database and `connector` the way to its companion app; `port` is the
    // local port to use. The reporter is not owned and must outlive the run.
    SyncBackupThread(std::shared_ptr<ContactPages> pages, QSharedPointer<LocalDb> db,
        PAndroidConnector connector, int port, IWorkerReporter* reporter, QObject* parent = nullptr);
    // The same for a phone's device database and its connector.
    SyncBackupThread(std::shared_ptr<ContactPages> pages, const QSharedPointer<AndroidContactsDb>& db, int port,
        IWorkerReporter* reporter, QObject* parent = nullptr);
    // Both for contacts already in memory.
    SyncBackupThread(QList<pim::_Contact> contacts, QSharedPointer<LocalDb> db, PAndroidConnector connector,
        int port, IWorkerReporter* reporter, QObject* parent = nullptr);
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
    void addMerged(const pim::_Contact& stored, const EntitiesByType& written,
        std::unordered_set<unsigned long long>& named);
    void groupWrittenRows();
    void startSyncService(QTcpSocket& socket);
    void sendNames(QTcpSocket& socket);
    void sendOtherRecords(QTcpSocket& socket);
    QString successText() const;
    void throwIfCancelled() const;

    std::shared_ptr<ContactPages> m_pages;
    QSharedPointer<LocalDb> m_db;
    PAndroidConnector m_connector;
    int m_port;
    IWorkerReporter* m_reporter;

    int m_processed = 0;
    int m_merged = 0;
    int m_skipped = 0;
    // Working data of one run, ids only. A row a merge inserted or changed:
    // its local contact, type and row id.
    struct WrittenRow {
        unsigned long long contactId;
        int type;
        unsigned long long rowId;
    };
    // Every row the merges wrote, in write order; grouped by contact and
    // type, each row once, before the records are sent.
    std::vector<WrittenRow> m_written;
    // Local contacts whose merge inserted or changed their name, each once,
    // in the order of the first such merge.
    std::vector<unsigned long long> m_newNames;
};
