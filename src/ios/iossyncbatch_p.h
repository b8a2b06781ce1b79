// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <functional>

class LocalDb;

namespace iossync {

// What one batch of a write to the iPhone merged into the device database,
// and what the phone confirmed of it. The phone keeps every record it
// confirmed, even when the session breaks off later; so a batch that stops
// half-way keeps exactly those in the database, with their source ids, and
// puts back everything else it wrote. Records of a message that went out in
// full without the phone's confirmation may be on the phone or not: they are put
// back as well, so that no source id claims them, and counted apart.
//
// A row travels in the contact record (carriedByContactRecord) or as a child
// record of its own (travelsAsChild), or both; it is confirmed when every
// record that carries it is. Rows that never travel (group memberships) stay
// with their contact, as they do after a batch that succeeds.
class BatchLedger {
public:
    struct Target {
        pim::_Contact merged;                   // the stored contact as merged
        QMap<int, QList<pim::Entity>> written;  // rows the batch wrote, by type, one entry per row
        bool created = false;                   // made by this batch
        bool withRecord = false;                // its contact record goes out
        bool recordConfirmed = false;
        bool recordUnconfirmed = false;         // sent, and the phone did not confirm it
        int incoming = 0;                       // contacts of the batch merged into it
    };

    // Before merging a contact of this name: keeps the rows of the stored
    // contact it will merge into, the first time the batch meets it.
    void noteBefore(LocalDb& db, const QString& fullName);
    // After the merge: the stored contact as merged and the rows it wrote.
    void noteMerge(const pim::_Contact& merged, bool existed, const QMap<int, QList<pim::Entity>>& additions);

    // Stored contacts in merge order, and each one's entry.
    const QList<unsigned long long>& order() const { return m_order; }
    Target& target(unsigned long long id) { return m_targets[id]; }
    bool hasRows() const;

    // Before a message goes out: the contacts whose records it carries, or
    // the rows it carries as child records.
    void sending(const QList<unsigned long long>& contactIds, const QList<unsigned long long>& rowIds);
    void confirmRecord(unsigned long long contactId) { m_targets[contactId].recordConfirmed = true; }
    void confirmRow(unsigned long long rowId) { m_confirmedRows.insert(rowId); }
    // The message being sent went out in full and the phone did not confirm
    // all of it: what it did not confirm may be on the phone.
    void sentUnconfirmed();

    // After a failure: removes each contact the batch created whose record
    // the phone did not confirm, and puts back every other row the phone did
    // not confirm: a row the batch added goes, a row it changed gets its
    // earlier values and source id again. Throws the database's error.
    void dropUnconfirmed(LocalDb& db) const;
    // Contacts of the batch that the phone holds, whole or in part, whether
    // or not the database could keep them; new contacts that may be on the phone
    // unconfirmed; and contacts it had before whose changes it confirmed
    // none of, though some may be on it. The shown names (pim::shownName) of
    // contacts with details never sent, of new ones held with details that
    // may be on the phone unconfirmed, and of earlier ones whose changes may be.
    int keptContacts() const;
    int unconfirmedContacts() const;
    int unconfirmedChangeContacts() const;
    QStringList incompleteNames() const;
    QStringList unconfirmedDetailNames() const;
    QStringList unconfirmedChangeNames() const;

private:
    // What became of a contact of the batch: kept on the phone; sent without
    // a confirmation (a new contact whose record the phone did not confirm);
    // held by the phone before, with none of its changes confirmed and some
    // sent without a confirmation; or not written. And whether some of its
    // rows were sent without a confirmation, or never went out.
    struct Fate {
        enum Contact { Kept, Unconfirmed, ChangesUnconfirmed, NotWritten } contact = NotWritten;
        bool rowsUnconfirmed = false;
        bool rowsNotSent = false;
    };
    Fate fate(const Target& target) const;
    int contactsOf(Fate::Contact contact) const;
    QStringList namesOf(const std::function<bool(const Target&, const Fate&)>& which) const;
    bool rowConfirmed(const Target& target, int type, const pim::Entity& row) const;

    QList<unsigned long long> m_order;
    QHash<unsigned long long, Target> m_targets;
    // The rows of stored contacts as they were before the batch.
    QHash<unsigned long long, pim::_Contact> m_before;
    QSet<unsigned long long> m_confirmedRows;
    QSet<unsigned long long> m_unconfirmedRows;
    // What the message being sent carries.
    QList<unsigned long long> m_sendingRecords;
    QList<unsigned long long> m_sendingRows;
};

} // namespace iossync
