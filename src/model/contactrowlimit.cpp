// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contactrowlimit.h"

#include "model/contactmention.h"
#include "model/localdb.h"

void ContactRowLimit::addContact(unsigned long long contactId, const QString& name)
{
    Rows rows;
    rows.known.fullName = name;
    m_rows.insert(contactId, rows);
}

bool ContactRowLimit::take(unsigned long long contactId, int type, const pim::Entity& entity)
{
    const auto found = m_rows.find(contactId);
    if (found == m_rows.end())
        return true;
    Rows& rows = found.value();
    if (rows.stored < LocalDb::kMaxEntitiesPerContact) {
        ++rows.stored;
        // A phone sends the name record first, then the contact's other
        // rows: one without a name is known by the first company, number
        // or e-mail address it keeps, one of each kind held.
        if ((type == pim::ENTITY_ORG || type == pim::ENTITY_PHONE || type == pim::ENTITY_EMAIL)
            && rows.known.fullName.trimmed().isEmpty()) {
            QList<pim::Entity>& held = rows.known.entities[type];
            if (held.isEmpty() || pim::fieldText(held.first().fields.value(QStringLiteral("data1"))).trimmed().isEmpty())
                held = { entity };
        }
        return true;
    }
    if (rows.leftOut++ == 0)
        m_full.append(contactId);
    ++m_leftOut;
    return false;
}

QString ContactRowLimit::summary(qsizetype named) const
{
    QStringList texts;
    for (qsizetype i = 0; i < m_full.size() && i < named; ++i) {
        const Rows& rows = m_rows.value(m_full.at(i));
        texts << LocalDb::leftOutEntriesText(pim::shownName(rows.known), rows.leftOut);
    }
    if (m_full.size() > named)
        texts << QObject::tr("and %1 more").arg(m_full.size() - named);
    return texts.join(QLatin1Char('\n'));
}
