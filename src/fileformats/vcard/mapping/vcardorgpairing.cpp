// SPDX-License-Identifier: GPL-3.0-or-later
// A card's ORG, TITLE and department lines paired into organizations once
// the card is read.
#include "fileformats/vcard/mapping/vcardorgpairing_p.h"

#include <QHash>
#include <QVarLengthArray>

#include <array>
#include <vector>

namespace {

// The texts without repeats, in the order first given, after `first`
// unless that is empty, joined by the separator. One open-addressing table
// of hashes and places, no allocation and no copy per text: a card of
// 200,000 department lines reads in a time that grows with their number.
QString joinDistinct(const QString& first, const QStringList& texts, QLatin1StringView separator)
{
    std::vector<const QString*> kept;
    kept.reserve(size_t(texts.size()) + 1);
    struct Slot {
        quint32 hash;
        qint32 at; // in kept; -1 when free
    };
    size_t capacity = 16;
    while (capacity < (size_t(texts.size()) + 1) * 2)
        capacity *= 2;
    std::vector<Slot> table(capacity, Slot { 0, -1 });
    qsizetype length = 0;
    const auto add = [&](const QString& text) {
        const auto hash = quint32(qHash(text));
        for (size_t i = hash & (capacity - 1);; i = (i + 1) & (capacity - 1)) {
            Slot& slot = table[i];
            if (slot.at < 0) {
                slot = { hash, qint32(kept.size()) };
                kept.push_back(&text);
                length += text.size() + separator.size();
                return;
            }
            if (slot.hash == hash && *kept[size_t(slot.at)] == text)
                return;
        }
    };
    if (!first.isEmpty())
        add(first);
    for (const QString& text : texts)
        add(text);
    QString joined;
    joined.reserve(length);
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            joined += separator;
        joined += *kept[i];
    }
    return joined;
}

} // namespace

namespace vcardrules {

void OrgPairing::settle(pim::_Contact& contact)
{
    if (m_parts.isEmpty() && m_departments.isEmpty())
        return;
    // Most cards: one ORG line, one TITLE line or one of each, outside any
    // item. The pairing below gives them one organization, the second
    // part's fields over the first's; done here without its tables.
    if (m_departments.isEmpty() && m_parts.size() <= 2 && m_parts.first().group.isEmpty()
        && (m_parts.size() == 1 || (m_parts.last().group.isEmpty() && m_parts.first().kind != m_parts.last().kind))) {
        pim::Entity org = std::move(m_parts.first().entity);
        if (m_parts.size() == 2) {
            const pim::Entity& second = m_parts.last().entity;
            for (auto it = second.fields.cbegin(); it != second.fields.cend(); ++it)
                org.fields.insert(it.key(), it.value());
        }
        contact.entities[pim::ENTITY_ORG].append(std::move(org));
        return;
    }
    QList<pim::Entity> orgs;
    // Which kinds of part each organization has; an item's organization
    // counts as whole, so no line outside it joins it.
    QVarLengthArray<std::array<bool, 2>, 4> has;
    QHash<QString, qsizetype> orgOfItem;
    const auto fill = [](pim::Entity& org, pim::Entity& part) {
        if (org.fields.isEmpty()) {
            org = std::move(part);
            return;
        }
        for (auto it = part.fields.cbegin(); it != part.fields.cend(); ++it)
            org.fields.insert(it.key(), it.value());
    };
    qsizetype previousFirst = -1;
    qsizetype previousLength = 0;
    for (qsizetype start = 0; start < m_parts.size();) {
        Part& item = m_parts[start];
        if (!item.group.isEmpty()) {
            auto at = orgOfItem.constFind(item.group);
            if (at == orgOfItem.constEnd()) {
                at = orgOfItem.insert(item.group, orgs.size());
                orgs.append(pim::Entity());
                has.append({ true, true });
            }
            fill(orgs[*at], item.entity);
            previousFirst = -1;
            ++start;
            continue;
        }
        const Kind kind = item.kind;
        qsizetype end = start + 1;
        while (end < m_parts.size() && m_parts.at(end).kind == kind && m_parts.at(end).group.isEmpty())
            ++end;
        const qsizetype length = end - start;
        bool inOrder = previousFirst >= 0 && length == previousLength;
        for (qsizetype j = 0; inOrder && j < length; ++j)
            inOrder = !has[previousFirst + j][kind];
        qsizetype first = -1;
        for (qsizetype j = 0; j < length; ++j) {
            qsizetype at = previousFirst + j;
            if (!inOrder) {
                if (orgs.isEmpty() || has.back()[kind]) {
                    orgs.append(pim::Entity());
                    has.append({ false, false });
                }
                at = orgs.size() - 1;
            }
            fill(orgs[at], m_parts[start + j].entity);
            has[at][kind] = true;
            if (j == 0)
                first = at;
        }
        previousFirst = first;
        previousLength = length;
        start = end;
    }
    if (!m_departments.isEmpty()) {
        if (orgs.isEmpty())
            orgs.append(pim::Entity());
        // The distinct values, the organisation's own department first,
        // joined once: a card of many department lines costs its length.
        pim::Entity& org = orgs.first();
        const QString known = pim::fieldText(org.fields.value(QStringLiteral("data5")));
        org.fields.insert(QStringLiteral("data5"), joinDistinct(known, m_departments, QLatin1StringView("; ")));
    }
    contact.entities[pim::ENTITY_ORG].append(orgs);
}

} // namespace vcardrules
