// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"
#include "model/contactrowlimit.h"
#include "model/localdb.h"

#include <QHash>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QThread>

class AndroidContactsDb;
class IWorkerReporter;
class QTcpSocket;

// Reads every contact of an Android phone, through the companion app's sync
// service, into the phone's device database, which the caller has just
// created from the template. The whole read is one database edit: it is
// committed when the phone says "$bye:" and rolled back on any failure or
// cancel, so the database never holds half a phone.
//
// The outcome reaches the caller only through the reporter: a success with
// an empty text, an error with its text, or nothing after the user's cancel.
// Every wait for the phone is bounded and polls the reporter's cancel flag.
class SyncRestoreThread : public QThread {
    Q_OBJECT

public:
    // The phone's version of the companion app must be at least this one.
    static constexpr int kMinimumAppProtocol = 2;

    // `db` is the phone's device database and `connector` the way to its
    // companion app; `port` is the local port to use. The reporter is not
    // owned and must outlive the run.
    SyncRestoreThread(QSharedPointer<LocalDb> db, PAndroidConnector connector, int port,
        IWorkerReporter* reporter, QObject* parent = nullptr);
    // The same for a phone's device database and its connector.
    SyncRestoreThread(const QSharedPointer<AndroidContactsDb>& db, int port, IWorkerReporter* reporter,
        QObject* parent = nullptr);
    ~SyncRestoreThread() override;

    // Read after the run (the caller has waited for it).
    // The phone's name from "$device:"; empty when it sent none.
    QString deviceName() const { return m_deviceName; }
    // The contact count the phone announced, and the contacts stored.
    int total() const { return m_total; }
    int received() const { return m_received; }
    // Records left out: those that could not be read, those of a contact
    // whose name record had not come, and those of a type this program does
    // not know.
    int skippedRecords() const { return m_skipped; }
    // Records that could not be read at all (no valid id), each named in
    // words by its place among the phone's records and the contact it came
    // after; they count in skippedRecords() too.
    QStringList unreadableRecords() const { return m_unreadable; }
    // Lines of the companion app that are no command of the conversation.
    int linesNotUnderstood() const { return m_notUnderstood; }
    // Records left out because their contact already held
    // LocalDb::kMaxEntitiesPerContact rows; not in skippedRecords().
    qsizetype leftOutRecords() const { return m_rowLimit.leftOut(); }
    // The success text: empty for an ordinary read, otherwise what the user
    // should know (no contacts at all, each kind of record or line left out
    // with its count, contacts stored with only the first entries the limit
    // allows).
    QString endingText() const;

protected:
    void run() override;

private:
    void receiveAll(QTcpSocket& socket);
    void handleBatch(QTcpSocket& socket);
    void storeRecord(const QString& line);
    QString unreadableRecordName() const;
    QString leftOutText() const;
    void reportReceived();
    QString readLine(QTcpSocket& socket);
    bool isCancelled() const;

    QSharedPointer<LocalDb> m_db;
    PAndroidConnector m_connector;
    int m_port;
    IWorkerReporter* m_reporter;
    QString m_deviceName;
    int m_total = 0;
    int m_received = 0;
    int m_skipped = 0;
    int m_unknownKind = 0;
    int m_withoutContact = 0;
    int m_notUnderstood = 0;
    // "$ent:" lines so far, the current one included.
    int m_recordNumber = 0;
    // The contact whose name record came last: an unreadable record is
    // named by where it stood.
    QString m_lastContact;
    QStringList m_unreadable;
    ContactRowLimit m_rowLimit;
    // Phone contact key -> local contact id, for the whole run: a record
    // always finds its contact, whichever batch brought the name.
    QHash<qint64, unsigned long long> m_contactIds;
};
