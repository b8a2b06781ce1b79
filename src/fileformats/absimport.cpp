// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/absimport.h"

ImportProblems ImportProblems::merged(const QList<const ImportProblems*>& parts)
{
    ImportProblems all;
    QList<qsizetype> next(parts.size(), 0);
    for (;;) {
        // The part whose next problem comes first; the earlier part on a tie.
        qsizetype from = -1;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (next.at(i) >= parts.at(i)->m_listed.size())
                continue;
            if (from < 0 || parts.at(i)->m_order.at(next.at(i)) < parts.at(from)->m_order.at(next.at(from)))
                from = i;
        }
        if (from < 0 || all.m_listed.size() >= kMaxListed)
            break;
        const qsizetype at = next[from]++;
        all.m_listed.append(parts.at(from)->m_listed.at(at));
        all.m_order.append(parts.at(from)->m_order.at(at));
    }
    all.m_count = 0;
    for (const ImportProblems* part : parts)
        all.m_count += part->m_count;
    return all;
}

QString standInName(const pim::_Contact& contact)
{
    for (const int type : { int(pim::ENTITY_ORG), int(pim::ENTITY_PHONE), int(pim::ENTITY_EMAIL) }) {
        for (const pim::Entity& entity : contact.entities.value(type)) {
            const QString text = pim::fieldText(entity.fields.value(QStringLiteral("data1"))).trimmed();
            if (!text.isEmpty())
                return text;
        }
    }
    return QString();
}
