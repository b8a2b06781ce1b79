// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/absimport.h"

#include "model/contactmention.h"

#include <QCoreApplication>

#include <algorithm>

void ImportProblems::Tallies::add(const Tally& more)
{
    total += more.count;
    qsizetype at = index.value(more.text, -1);
    if (at < 0) {
        if (tallies.size() >= kMaxListed)
            return;
        at = tallies.size();
        index.insert(more.text, at);
        tallies.append({ more.text, 0, more.firstLine, {} });
    }
    Tally& tally = tallies[at];
    tally.count += more.count;
    tally.firstLine = qMin(tally.firstLine, more.firstLine);
    if (more.lines.isEmpty())
        return;
    tally.lines += more.lines;
    std::sort(tally.lines.begin(), tally.lines.end());
    tally.lines.resize(qMin<qsizetype>(tally.lines.size(), kMaxPlaces));
}

void ImportProblems::addLeftOutKind(const QString& name, qint64 line)
{
    m_leftOut.add({ name.left(kMaxNameLength), 1, line, {} });
}

void ImportProblems::addNotice(const QString& what, qint64 line)
{
    m_notices.add({ what, 1, line, { line } });
}

QList<ImportProblems::Tally> ImportProblems::leftOutKinds() const
{
    QList<Tally> kinds = m_leftOut.tallies;
    std::stable_sort(kinds.begin(), kinds.end(), [](const Tally& a, const Tally& b) {
        return a.count != b.count ? a.count > b.count : a.firstLine < b.firstLine;
    });
    return kinds;
}

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
    // Kinds and notices in the order met across the parts.
    QList<std::pair<const Tally*, bool>> tallies;
    for (const ImportProblems* part : parts) {
        all.m_count += part->m_count;
        for (const Tally& tally : part->m_leftOut.tallies)
            tallies.append({ &tally, true });
        for (const Tally& tally : part->m_notices.tallies)
            tallies.append({ &tally, false });
        // What a part counted beyond the kinds it kept.
        all.m_leftOut.total += part->m_leftOut.total;
        all.m_notices.total += part->m_notices.total;
        for (const Tally& tally : part->m_leftOut.tallies)
            all.m_leftOut.total -= tally.count;
        for (const Tally& tally : part->m_notices.tallies)
            all.m_notices.total -= tally.count;
    }
    std::stable_sort(tallies.begin(), tallies.end(),
                     [](const auto& a, const auto& b) { return a.first->firstLine < b.first->firstLine; });
    for (const auto& [tally, leftOut] : tallies)
        (leftOut ? all.m_leftOut : all.m_notices).add(*tally);
    return all;
}

void NamedPlaces::add(qint64 place)
{
    if (place == m_last)
        return;
    m_last = place;
    ++m_count;
    if (m_first.size() < ImportProblems::kMaxPlaces)
        m_first.append(place);
}

void NamedPlaces::add(const NamedPlaces& more)
{
    m_count += more.m_count;
    m_first += more.m_first;
    std::sort(m_first.begin(), m_first.end());
    m_first.resize(qMin<qsizetype>(m_first.size(), ImportProblems::kMaxPlaces));
}

const QString& groupsNotReadKey()
{
    static const QString key = QStringLiteral("groupsNotRead");
    return key;
}

QString standInName(const pim::_Contact& contact)
{
    return pim::standInName(contact);
}

QString ImportProblems::places(const QList<qint64>& lines, int count)
{
    QStringList numbers;
    for (const qint64 line : lines)
        numbers.append(QString::number(line));
    QString text = numbers.join(QLatin1String(", "));
    if (count > numbers.size())
        text = QCoreApplication::translate("ImportProblems", "%1 and %2 more")
                   .arg(text)
                   .arg(count - numbers.size());
    return text;
}
