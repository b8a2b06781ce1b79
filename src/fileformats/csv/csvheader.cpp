// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV reader's first step: which field each header column fills, which
// columns describe others and which no field takes.
#include "fileformats/csv/csvimport.h"

#include "fileformats/csv/csvimport_p.h"
#include "model/pimlabels.h"

#include <QCoreApplication>
#include <QHash>
#include <QMap>
#include <QSet>

namespace {

// A web-mail export names its numbered values "Phone 1 - Value",
// "Address 1 - Street" and describes them in columns beside: the kind in
// "Phone 1 - Type", "Address 1 - Type", the messaging service in
// "IM 1 - Service". For each header column, the index of the column named
// with that word that describes it, or -1; describes() tells which known
// columns such a column can describe.
QList<int> describingColumnsOf(const QStringList& header, QLatin1String word,
                               const std::function<bool(const QString&)>& describes)
{
    static const QLatin1String kSeparator(" - ");
    QHash<QString, int> columnOfPrefix;
    for (int i = 0; i < header.size(); ++i) {
        const QString& name = header.at(i);
        if (name.endsWith(kSeparator + word) && name.size() > kSeparator.size() + word.size())
            columnOfPrefix.insert(name.left(name.size() - word.size()), i);
    }
    QList<int> result(header.size(), -1);
    if (columnOfPrefix.isEmpty())
        return result;
    for (int i = 0; i < header.size(); ++i) {
        const QString& name = header.at(i);
        const qsizetype at = name.lastIndexOf(kSeparator);
        if (at <= 0 || !describes(name))
            continue;
        const auto it = columnOfPrefix.constFind(name.left(at + kSeparator.size()));
        if (it != columnOfPrefix.constEnd())
            result[i] = *it;
    }
    return result;
}

} // namespace

namespace csvread {

DescribingColumns describingColumns(const QStringList& header, const std::function<int(const QString&)>& typeOf)
{
    DescribingColumns d;
    d.type = describingColumnsOf(header, QLatin1String("type"),
                                 [&](const QString& name) { return typeOf(name) != 0; });
    d.service = describingColumnsOf(header, QLatin1String("service"),
                                    [&](const QString& name) { return typeOf(name) == pim::ENTITY_IM; });
    d.extension = extensionColumnsOf(header, typeOf);
    d.describingOnly.fill(false, header.size());
    for (const QList<int>* columns : { &d.type, &d.service, &d.extension }) {
        for (const int column : *columns) {
            if (column >= 0)
                d.describingOnly[column] = true;
        }
    }
    return d;
}

} // namespace csvread

CSVImport::_ColInfo CSVImport::colInfo(const QString& headerName)
{
    return CsvColumnDictionary::lookup(headerName);
}

void CSVImport::resolveColumns()
{
    m_columns.clear();
    m_groupTypes.clear();
    m_extensions.clear();
    m_columnOfIndex.fill(-1, m_header.size());

    // A header may name one column very many times: each distinct name is
    // looked up once, each column then costs two hash look-ups.
    QHash<QString, _ColInfo> infoOfName;
    QList<_ColInfo> infos(m_header.size());
    for (int i = 0; i < m_header.size(); ++i) {
        const QString& key = m_headerKeys.at(i);
        auto it = infoOfName.constFind(key);
        if (it == infoOfName.constEnd())
            it = infoOfName.insert(key, colInfo(key));
        infos[i] = *it;
    }
    const QList<int> jobTitles = decideTitleColumns(infos);
    const QList<int> repeatedBlocks = csvread::numberRepeatedBlocks(m_header, infos);
    // Entities come out of a row in the text order of their "type-subtype"
    // keys, as the files written so far have always been read; a numbered
    // column's entity follows the first of its kind.
    const auto groupKey = [](const _ColInfo& info) {
        QString key = QStringLiteral("%1-%2").arg(info.entityType).arg(info.subType);
        if (info.instance > 0)
            key += QStringLiteral("#%1").arg(info.instance, 10, 10, QLatin1Char('0'));
        return key;
    };
    QMap<QString, int> groupByKey;
    for (const _ColInfo& info : std::as_const(infoOfName)) {
        if (info.entityType != 0)
            groupByKey.insert(groupKey(info), info.entityType);
    }
    for (const QList<int>* columns : { &jobTitles, &repeatedBlocks }) {
        for (const int i : *columns)
            groupByKey.insert(groupKey(infos.at(i)), infos.at(i).entityType);
    }
    QHash<QString, int> groupIndex;
    for (auto it = groupByKey.cbegin(); it != groupByKey.cend(); ++it) {
        groupIndex.insert(it.key(), int(m_groupTypes.size()));
        m_groupTypes.append(it.value());
    }
    const csvread::DescribingColumns describing = csvread::describingColumns(
        m_headerKeys, [&](const QString& name) { return infoOfName.value(name).entityType; });
    m_inFileOrder.reset();
    m_dateOrders.clear();
    // The first column of each compared name, for the columns whose names
    // read alike only once letter case and blanks are set aside.
    QHash<QString, int> firstOfName;
    QSet<QString> toldAlike;
    for (int i = 0; i < m_header.size(); ++i) {
        const _ColInfo& info = infos.at(i);
        const bool describingOnly = describing.describingOnly.at(i);
        if (info.entityType == 0 && !describingOnly)
            continue;
        auto named = firstOfName.constFind(m_headerKeys.at(i));
        if (named == firstOfName.constEnd())
            named = firstOfName.insert(m_headerKeys.at(i), i);
        const int first = *named;
        if (m_header.at(first) != m_header.at(i) && !toldAlike.contains(m_header.at(i))) {
            toldAlike.insert(m_header.at(i));
            m_problems.add(QCoreApplication::translate("CSVImport", "Row %1: the columns \"%2\" and \"%3\" differ "
                                                                    "only in letter case or blanks; both were read "
                                                                    "as \"%2\".")
                               .arg(QString::number(m_headerRow), m_header.at(first), m_header.at(i)));
        }
        Column col;
        col.index = i;
        col.describingOnly = describingOnly;
        if (!describingOnly) {
            col.info = info;
            col.group = groupIndex.value(groupKey(info));
            col.piece = CsvColumnDictionary::isPieceKey(info.valueKey);
            col.multiValued = pim::isMultiValued(info.entityType) && !col.piece;
            // Files this program wrote hold no such lists: a cell of theirs
            // reads as it always has.
            col.listByPosition = info.entityType == pim::ENTITY_ADDR && !info.own;
            // Files this program wrote have always been read in the order
            // of the kinds; another program's order is its own ranking
            // ("Primary Email" before "Secondary Email").
            if (!info.own)
                m_inFileOrder.set(size_t(info.entityType));
            if (info.entityType == pim::ENTITY_EVENT && !col.piece) {
                col.dateOrder = int(m_dateOrders.size());
                DateOrder order;
                order.column = int(m_columns.size());
                m_dateOrders.append(order);
            }
        }
        m_columnOfIndex[i] = int(m_columns.size());
        m_columns.append(col);
    }
    resolveSpellings();
    // Describing columns come before or after their values: linked once all
    // are in.
    for (Column& col : m_columns) {
        if (col.describingOnly)
            continue;
        if (const int type = describing.type.at(col.index); type >= 0)
            col.typeColumn = m_columnOfIndex.at(type);
        if (const int service = describing.service.at(col.index); service >= 0)
            col.serviceColumn = m_columnOfIndex.at(service);
        if (const int extension = describing.extension.at(col.index); extension >= 0)
            m_extensions.append({ m_columnOfIndex.at(col.index), m_columnOfIndex.at(extension) });
    }
}

void CSVImport::resolveSpellings()
{
    m_spellings.clear();
    // Web apps head a column "first_name" or "firstName" that a table
    // merged from two sources also heads "First Name": one field, which the
    // two cells would otherwise fill with both values joined. A field of
    // several values (phones, e-mails, groups) takes each cell as a value of
    // its own, and a note keeps every cell joined: free text loses nothing
    // so. A name written in the very same words is no other spelling but
    // the field's next line or value (csvread::numberRepeatedBlocks).
    QHash<QString, int> firstOfSpelling;
    for (int c = 0; c < m_columns.size(); ++c) {
        Column& col = m_columns[c];
        if (col.describingOnly || col.multiValued || col.info.entityType == pim::ENTITY_GROUP
            || col.info.entityType == pim::ENTITY_NOTES)
            continue;
        const QString spelled = CsvColumnDictionary::looseForm(m_headerKeys.at(col.index)) + QLatin1Char('\n')
            + QString::number(col.group) + QLatin1Char('\n') + col.info.valueKey;
        const auto first = firstOfSpelling.constFind(spelled);
        if (first == firstOfSpelling.constEnd()) {
            firstOfSpelling.insert(spelled, c);
            continue;
        }
        if (m_header.at(m_columns.at(*first).index) == m_header.at(col.index))
            continue;
        Column& head = m_columns[*first];
        if (head.spelling < 0) {
            head.spelling = int(m_spellings.size());
            m_spellings.append({ QStringList { m_header.at(head.index) }, NamedPlaces() });
        }
        col.spelling = head.spelling;
        // The ending names a few: a header of thousands of spellings
        // ("Notes", " Notes", "  Notes") is no user's table.
        QStringList& names = m_spellings[col.spelling].names;
        if (names.size() < 5 && !names.contains(m_header.at(col.index)))
            names.append(m_header.at(col.index));
    }
}

void CSVImport::noteUnreadCell(int index, QStringView text)
{
    if (!pim::isBlankText(text))
        m_unreadEmpty[index] = false;
}

void CSVImport::reportUnreadColumns()
{
    QStringList filled;
    for (const int index : std::as_const(m_unreadColumns)) {
        if (!m_unreadEmpty.at(index))
            filled.append(m_header.at(index));
    }
    if (filled.isEmpty())
        return;
    // Every one, so the user can see what stays behind; the bound only
    // keeps a header of thousands of names from filling the message.
    constexpr int kNamed = 50;
    QStringList named;
    for (const QString& name : filled.mid(0, kNamed))
        named.append(QLatin1Char('"') + name + QLatin1Char('"'));
    QString list = named.join(QLatin1String(", "));
    if (filled.size() > kNamed)
        list += QCoreApplication::translate("CSVImport", " and %1 more").arg(filled.size() - kNamed);
    ImportProblems header;
    header.add(
        QCoreApplication::translate("CSVImport", "Row %1: columns this program does not read were left out: %2.")
            .arg(QString::number(m_headerRow), list));
    // The header's row comes first.
    m_problems = ImportProblems::merged({ &header, &m_problems });
}
