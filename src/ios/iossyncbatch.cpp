// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncbatch_p.h"

#include "ios/iossyncrecords_p.h"
#include "model/contactmention.h"
#include "model/localdb.h"

namespace iossync {

namespace {

// Puts `entity` into `list`, replacing the entry of the same row id: two
// merges into one stored contact may write the same row twice.
void putById(QList<pim::Entity>& list, const pim::Entity& entity)
{
    for (pim::Entity& present : list) {
        if (present.id == entity.id) {
            present = entity;
            return;
        }
    }
    list.append(entity);
}

const pim::Entity* rowOf(const pim::_Contact& contact, int type, unsigned long long id)
{
    const auto list = contact.entities.constFind(type);
    if (list == contact.entities.constEnd())
        return nullptr;
    for (const pim::Entity& entity : *list)
        if (entity.id == id)
            return &entity;
    return nullptr;
}

} // namespace

void BatchLedger::noteBefore(LocalDb& db, const QString& fullName)
{
    // The merge finds its stored contact by the same look-up.
    const unsigned long long id = db.isContactBaseExist(fullName);
    if (id != 0 && !m_before.contains(id) && !(m_targets.contains(id) && m_targets[id].created))
        m_before.insert(id, db.wholeContact(id));
}

void BatchLedger::noteMerge(const pim::_Contact& merged, bool existed,
                            const QMap<int, QList<pim::Entity>>& additions)
{
    const bool known = m_targets.contains(merged.id);
    Target& target = m_targets[merged.id];
    if (!known) {
        m_order.append(merged.id);
        target.created = !existed;
    }
    ++target.incoming;
    target.merged = merged;
    for (auto it = additions.constBegin(); it != additions.constEnd(); ++it) {
        for (const pim::Entity& entity : it.value()) {
            putById(target.written[it.key()], entity);
            // The merge result may hold a row as it was before an earlier
            // merge of this batch changed it; the records carry the newest.
            putById(target.merged.entities[it.key()], entity);
            // A contact the phone does not know yet needs its contact record
            // whatever was added: its children have nothing to name otherwise.
            if (carriedByContactRecord(it.key(), entity) || target.merged.srcId.isEmpty())
                target.withRecord = true;
        }
    }
}

bool BatchLedger::hasRows() const
{
    for (const Target& target : m_targets)
        if (!target.written.isEmpty())
            return true;
    return false;
}

bool BatchLedger::rowConfirmed(const Target& target, int type, const pim::Entity& row) const
{
    if (carriedByContactRecord(type, row) && !target.recordConfirmed)
        return false;
    return !travelsAsChild(type, row) || m_confirmedRows.contains(row.id);
}

void BatchLedger::sending(const QList<unsigned long long>& contactIds, const QList<unsigned long long>& rowIds)
{
    m_sendingRecords = contactIds;
    m_sendingRows = rowIds;
}

void BatchLedger::sentUnconfirmed()
{
    for (unsigned long long id : std::as_const(m_sendingRecords))
        if (!m_targets[id].recordConfirmed)
            m_targets[id].recordUnconfirmed = true;
    for (unsigned long long id : std::as_const(m_sendingRows))
        if (!m_confirmedRows.contains(id))
            m_unconfirmedRows.insert(id);
}

BatchLedger::Fate BatchLedger::fate(const Target& target) const
{
    Fate fate;
    // A new contact whose record the phone did not confirm: of what the batch
    // wrote to it the phone holds nothing for sure, since its children are
    // sent only after every contact record.
    const bool recordMissing = target.created && target.withRecord && !target.recordConfirmed;
    bool travels = target.withRecord, confirmed = target.withRecord && target.recordConfirmed;
    for (auto it = target.written.constBegin(); it != target.written.constEnd(); ++it) {
        for (const pim::Entity& row : it.value()) {
            const bool inRecord = carriedByContactRecord(it.key(), row);
            if (!inRecord && !travelsAsChild(it.key(), row))
                continue;
            travels = true;
            if (rowConfirmed(target, it.key(), row))
                confirmed = true;
            else if ((inRecord && target.recordUnconfirmed) || m_unconfirmedRows.contains(row.id))
                fate.rowsUnconfirmed = true;
            else
                fate.rowsNotSent = true;
        }
    }
    if (recordMissing) {
        fate.contact = target.recordUnconfirmed ? Fate::Unconfirmed : Fate::NotWritten;
        fate.rowsUnconfirmed = false; // they go with the contact
        return fate;
    }
    // A contact with nothing to send is kept as after a batch that succeeds.
    // One the phone had before stays there whatever became of the changes
    // sent to it: when the phone confirmed none of them, it is no more
    // written than not written.
    if (!travels || confirmed)
        fate.contact = Fate::Kept;
    else if (fate.rowsUnconfirmed)
        fate.contact = Fate::ChangesUnconfirmed;
    return fate;
}

void BatchLedger::dropUnconfirmed(LocalDb& db) const
{
    for (unsigned long long id : m_order) {
        const Target& target = m_targets[id];
        if (target.created && target.withRecord && !target.recordConfirmed) {
            db.removeContact(id);
            continue;
        }
        const pim::_Contact before = m_before.value(id);
        for (auto it = target.written.constBegin(); it != target.written.constEnd(); ++it) {
            for (const pim::Entity& row : it.value()) {
                if (rowConfirmed(target, it.key(), row))
                    continue;
                if (const pim::Entity* earlier = rowOf(before, it.key(), row.id))
                    db.updateEntity(it.key(), *earlier);
                else
                    db.removeEntity(row.id);
            }
        }
    }
}

int BatchLedger::contactsOf(Fate::Contact contact) const
{
    int count = 0;
    for (const Target& target : m_targets)
        if (fate(target).contact == contact)
            count += target.incoming;
    return count;
}

QStringList BatchLedger::namesOf(const std::function<bool(const Target&, const Fate&)>& which) const
{
    QStringList names;
    for (unsigned long long id : m_order)
        if (const Target& target = m_targets[id]; which(target, fate(target)))
            names << pim::shownName(target.merged);
    return names;
}

int BatchLedger::keptContacts() const
{
    return contactsOf(Fate::Kept);
}

int BatchLedger::unconfirmedContacts() const
{
    return contactsOf(Fate::Unconfirmed);
}

int BatchLedger::unconfirmedChangeContacts() const
{
    return contactsOf(Fate::ChangesUnconfirmed);
}

QStringList BatchLedger::incompleteNames() const
{
    return namesOf([](const Target&, const Fate& f) { return f.contact != Fate::NotWritten && f.rowsNotSent; });
}

QStringList BatchLedger::unconfirmedDetailNames() const
{
    return namesOf(
        [](const Target& t, const Fate& f) { return t.created && f.contact == Fate::Kept && f.rowsUnconfirmed; });
}

QStringList BatchLedger::unconfirmedChangeNames() const
{
    return namesOf([](const Target& t, const Fate& f) { return !t.created && f.rowsUnconfirmed; });
}

} // namespace iossync
