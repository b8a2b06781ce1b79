// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncbatch_p.h"

#include "ios/iossyncrecords_p.h"
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

BatchLedger::Held BatchLedger::held(const Target& target) const
{
    // Without its record the phone holds nothing of what the batch wrote to
    // the contact: its children are sent only after every contact record.
    if (target.withRecord && !target.recordConfirmed)
        return target.recordUnconfirmed ? Held::Unconfirmed : Held::None;
    bool travels = target.withRecord, some = target.withRecord, all = true, unconfirmed = false;
    for (auto it = target.written.constBegin(); it != target.written.constEnd(); ++it) {
        for (const pim::Entity& row : it.value()) {
            if (!carriedByContactRecord(it.key(), row) && !travelsAsChild(it.key(), row))
                continue;
            travels = true;
            if (rowConfirmed(target, it.key(), row)) {
                some = true;
            } else {
                all = false;
                unconfirmed = unconfirmed || m_unconfirmedRows.contains(row.id);
            }
        }
    }
    // A contact with nothing to send is kept as after a batch that succeeds.
    if (!travels || all)
        return Held::Whole;
    if (unconfirmed)
        return some ? Held::PartUnconfirmed : Held::Unconfirmed;
    return some ? Held::Part : Held::None;
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

int BatchLedger::contactsHeld(Held how) const
{
    int count = 0;
    for (const Target& target : m_targets)
        if (held(target) == how)
            count += target.incoming;
    return count;
}

QStringList BatchLedger::namesHeld(Held how) const
{
    QStringList names;
    for (unsigned long long id : m_order)
        if (held(m_targets[id]) == how)
            names << m_targets[id].merged.fullName;
    return names;
}

int BatchLedger::keptContacts() const
{
    return contactsHeld(Held::Whole) + contactsHeld(Held::Part) + contactsHeld(Held::PartUnconfirmed);
}

QStringList BatchLedger::incompleteNames() const
{
    return namesHeld(Held::Part);
}

QStringList BatchLedger::unconfirmedDetailNames() const
{
    return namesHeld(Held::PartUnconfirmed);
}

int BatchLedger::unconfirmedContacts() const
{
    return contactsHeld(Held::Unconfirmed);
}

} // namespace iossync
