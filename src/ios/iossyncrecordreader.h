// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ios/plistcftype.h"
#include "model/contact.h"
#include "model/contactrowlimit.h"
#include "model/localdb.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Stores the contact sync records of one receiving run in a device
// database: each contact record as a contact with its name, nickname,
// organisation, birthday, photo and notes, each child record as one entity
// under every contact its parent link names.
//
// The phone may send a child before its contact. Such a child waits until
// finish(), which stores it under the contacts that arrived since; a child
// whose contact never arrives is dropped and counted. A record that is no
// dictionary, names no kind, or holds a value of the wrong type under a key
// the reader takes is left out, counted and named; records of other kinds
// are left out quietly. A contact keeps at most LocalDb::kMaxEntitiesPerContact
// rows; the rows past that are left out and counted. Only a failing database
// statement throws.
class IOSSyncRecordReader {
public:
    explicit IOSSyncRecordReader(LocalDb& db);

    // Stores every record of one batch (record id -> record), in key order.
    void readBatch(const PlistCFType& batch);
    // Stores one record.
    void readRecord(const QString& recordId, const PlistCFType& record);
    // Resolves the children still waiting for their contact.
    void finish();

    // Contacts stored, and child links dropped because their contact never
    // arrived.
    int contactCount() const { return int(m_contactIds.size()); }
    int droppedChildren() const { return m_dropped; }
    // Records left out because they cannot be read; the first ids of both kinds.
    int unreadableRecords() const { return m_unreadable; }
    QStringList unreadableIds() const { return m_unreadableIds; }
    QStringList droppedIds() const { return m_droppedIds; }
    // Entities left out because their contact already held
    // LocalDb::kMaxEntitiesPerContact rows, and the limit's words for the
    // first kNamedUnreadable such contacts.
    qsizetype leftOutEntities() const { return m_rowLimit.leftOut(); }
    qsizetype fullContacts() const { return m_rowLimit.fullContacts(); }
    QString fullContactsText() const { return m_rowLimit.summary(kNamedUnreadable); }

    static constexpr int kNamedUnreadable = 5;

private:
    struct Waiting {
        QString parentId;
        QString recordId;
        int type;
        pim::Entity entity;
    };

    void readContact(const QString& recordId, const PlistCFType& record);
    void readChild(int type, const QString& recordId, const PlistCFType& record);
    void store(unsigned long long contactId, int type, pim::Entity entity);

    LocalDb& m_db;
    // Contact record id -> local contact id, for the whole run.
    QHash<QString, unsigned long long> m_contactIds;
    QList<Waiting> m_waiting;
    int m_dropped = 0;
    int m_unreadable = 0;
    QStringList m_unreadableIds;
    QStringList m_droppedIds;
    ContactRowLimit m_rowLimit;
};
