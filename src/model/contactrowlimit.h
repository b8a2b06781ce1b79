// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QHash>
#include <QList>
#include <QString>

// Keeps the contacts a reader stores row by row (insertEntity) within
// LocalDb::kMaxEntitiesPerContact rows each, as a merge keeps them: the rows
// past the limit are left out and counted per contact.
class ContactRowLimit {
public:
    // A contact just stored without rows, under its full name.
    void addContact(unsigned long long contactId, const QString& name);
    // Whether one more row of the contact, an entity of `type`, fits; a row
    // that does not is counted as left out. Rows of a contact never added
    // always fit. A contact added without a name is named in the summary by
    // the rows it keeps, as pim::shownName names a contact.
    bool take(unsigned long long contactId, int type, const pim::Entity& entity);
    // Rows left out over all contacts.
    qsizetype leftOut() const { return m_leftOut; }
    // LocalDb::leftOutEntriesText of the first `named` contacts that lost
    // rows, in the order they filled up, one per line, then how many more
    // there were; empty when none lost any.
    QString summary(qsizetype named) const;
    // Contacts that lost rows.
    qsizetype fullContacts() const { return m_full.size(); }

private:
    struct Rows {
        // The full name; for a contact without one, also its first stored
        // company, number and e-mail address.
        pim::_Contact known;
        qsizetype stored = 0;
        qsizetype leftOut = 0;
    };
    QHash<unsigned long long, Rows> m_rows;
    QList<unsigned long long> m_full;
    qsizetype m_leftOut = 0;
};
