// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ios/plistcftype.h"
#include "model/contact.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

namespace iossync {
class BatchLedger;
struct WriteOutcome;
}
class ContactPages;
class ContactProgress;
class IWorkerReporter;
class LocalDb;

// Writes contacts to a connected iPhone. In batches of 10, each one
// transaction of the iPhone's device database: the batch is merged into the
// database under its duplicate rule, then what the merge stored is sent in
// one contact sync session (first the contact records, then the child
// records of phones, e-mails, addresses, ...), and the record ids the phone
// gives are stored back as source ids. A cancel or failure rolls back the
// batch in progress, but for what the phone confirmed of it before: that
// stays in the database with the phone's ids, as earlier batches do, and
// the error names how many contacts were written and kept. What went out
// in full without the phone's confirmation, whatever ended the wait (a
// dropped link too), is rolled back as well, and the error says that it
// may be on the phone, which the caller then reads again, and gives no
// advice to repeat the transfer.
//
// The reporter ends every run with exactly one success or error, except a
// cancel, which ends silently. db and reporter must outlive the run.
class IOSSyncToDeviceThread : public QThread {
    Q_OBJECT

public:
    static constexpr int kBatchSize = 10;
    // Records of at most this many contacts travel in one message.
    static constexpr int kMessageContacts = 20;

    IOSSyncToDeviceThread(QString udid, QSharedPointer<LocalDb> db, std::shared_ptr<ContactPages> pages,
                          IWorkerReporter* reporter, QObject* parent = nullptr);
    // The same for contacts already in memory.
    IOSSyncToDeviceThread(QString udid, QSharedPointer<LocalDb> db, QList<pim::_Contact> contacts,
                          IWorkerReporter* reporter, QObject* parent = nullptr);
    ~IOSSyncToDeviceThread() override;

    // Puts the contact record of `contact` (names, organisation, nickname,
    // birthday, photo, notes) into `records` under the contact's srcId, or
    // "-<id>" when it has none. Always adds exactly one record.
    static void addPlistDataFromContact(PlistCFType& records, const pim::_Contact& contact);
    // Puts the child record of an entity of a phone, e-mail, address, date,
    // IM, related-name or URL type into `records`, naming its contact by
    // `contactRecordId`, under the entity's srcId or
    // "<property>/<contactRecordId>/<negatedEntityId>". Entities without a
    // record form (other types, an empty value, an unreadable date, a
    // birthday without a custom label) add nothing.
    static void addPlistDataFromEntity(PlistCFType& records, const QString& contactRecordId, int entityType,
                                       long long negatedEntityId, const pim::Entity& entity);

    // Counts of the last run: contacts handled, and those among them merged
    // into a contact the iPhone already had.
    int processedCount() const { return m_processed; }
    int mergedCount() const { return m_merged; }

protected:
    void run() override;

private:
    void writeAll();
    void handleBatch(const QList<pim::_Contact>& batch);
    // One session: the contact records, then the child records of what the
    // batch wrote; notes in the ledger what the phone confirmed.
    void sendBatch(iossync::BatchLedger& ledger);
    void throwIfCancelled() const;
    // What the write has left so far.
    iossync::WriteOutcome outcome() const;

    QString m_udid;
    QSharedPointer<LocalDb> m_db;
    std::shared_ptr<ContactPages> m_pages;
    IWorkerReporter* m_reporter;
    ContactProgress* m_progress = nullptr;
    int m_total = 0;
    int m_processed = 0;
    int m_merged = 0;
    // Contacts the phone holds and the database kept, and the names of
    // those that lack details never sent, of new ones with details sent
    // without a confirmation, and of earlier ones with changes sent so.
    int m_written = 0;
    QStringList m_incomplete;
    QStringList m_unconfirmedDetails;
    QStringList m_unconfirmedChanges;
    // New contacts sent without a confirmation, and contacts the phone had
    // before none of whose changes it confirmed: they may be on the phone.
    int m_unconfirmed = 0;
    int m_unconfirmedChanged = 0;
};
