// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvimport.h"

#include "fileformats/csvhelper.h"
#include "fileformats/csvscanner_p.h"
#include "fileformats/fileformatslog.h"
#include "fileformats/vcardrules.h"
#include "model/pimlabels.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QFile>
#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QVarLengthArray>

#include <cstring>
#include <functional>
#include <utility>

namespace {

// Web-mail exports put several values of one kind into one cell.
const QString kMultiValueSeparator = QStringLiteral(" ::: ");

// A date cell as stored: an ISO date, or the month/day/year form of a
// web-mail export, in the form the vCard reader stores dates, so the same
// birthday from a card and from a table is one date; any other text as it
// stands, blanks and all. Empty for the zero date ("0/0/00") such an export
// writes where a contact has no date.
QString storedDate(const QString& cell)
{
    static const QRegularExpression slashed(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{2}|\\d{4})\\s*$"));
    const QRegularExpressionMatch m = slashed.match(cell);
    if (m.hasMatch()) {
        int month = m.captured(1).toInt();
        int day = m.captured(2).toInt();
        const int year = m.captured(3).toInt();
        if (month == 0 && day == 0 && year == 0)
            return QString();
        // Day first where the first number cannot be a month.
        if (month > 12)
            std::swap(month, day);
        if (m.captured(3).size() == 4 && QDate::isValid(year, month, day))
            return QDate(year, month, day).startOfDay().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
        return cell;
    }
    const QString iso = vcardrules::dateText(cell);
    return iso == cell.trimmed() ? cell : iso;
}

// A web-mail export names its numbered values "Phone 1 - Value",
// "Address 1 - Street" and gives their kind in "Phone 1 - Type",
// "Address 1 - Type". For each header column, the index of the type column
// that belongs to it, or -1; type is the known column's entity type.
QList<int> typeColumnsOf(const QStringList& header, const std::function<int(const QString&)>& typeOf)
{
    static const QLatin1String kSeparator(" - ");
    static const QLatin1String kType("Type");
    QHash<QString, int> typeColumnOfPrefix;
    for (int i = 0; i < header.size(); ++i) {
        const QString& name = header.at(i);
        if (name.endsWith(kSeparator + kType) && name.size() > kSeparator.size() + kType.size())
            typeColumnOfPrefix.insert(name.left(name.size() - kType.size()), i);
    }
    QList<int> result(header.size(), -1);
    if (typeColumnOfPrefix.isEmpty())
        return result;
    for (int i = 0; i < header.size(); ++i) {
        const QString& name = header.at(i);
        const qsizetype at = name.lastIndexOf(kSeparator);
        if (at <= 0 || typeOf(name) == 0)
            continue;
        const auto it = typeColumnOfPrefix.constFind(name.left(at + kSeparator.size()));
        if (it != typeColumnOfPrefix.constEnd())
            result[i] = *it;
    }
    return result;
}

// Which header columns are type columns, from typeColumnsOf().
QList<bool> typeOnlyColumns(const QList<int>& typeColumns)
{
    QList<bool> typeOnly(typeColumns.size(), false);
    for (const int column : typeColumns) {
        if (column >= 0)
            typeOnly[column] = true;
    }
    return typeOnly;
}

// The labels of the kinds of one entity type.
QMap<int, QString> kindLabels(int entityType)
{
    switch (entityType) {
    case pim::ENTITY_PHONE: return pim::phoneTypeMap();
    case pim::ENTITY_EMAIL: return pim::emailTypeMap();
    case pim::ENTITY_EVENT: return pim::eventTypeMap();
    case pim::ENTITY_IM: return pim::imTypeMap();
    case pim::ENTITY_ORG: return pim::orgTypeMap();
    case pim::ENTITY_REL: return pim::relTypeMap();
    case pim::ENTITY_ADDR: return pim::addrTypeMap();
    case pim::ENTITY_URL: return pim::urlTypeMap();
    default: return {};
    }
}

// Gives the entity the kind a type cell names: a label of its entity type
// in any letter case ("Mobile", "work"), with the "* " the export puts
// before the value it marks as the main one; any other text is the value's
// own label, as a phone keeps it.
void setNamedKind(pim::Entity& entity, int entityType, const QString& cell)
{
    QString text = cell.trimmed();
    if (text.startsWith(QLatin1String("* ")))
        text = text.mid(2).trimmed();
    if (text.isEmpty())
        return;
    const QMap<int, QString> labels = kindLabels(entityType);
    for (auto it = labels.cbegin(); it != labels.cend(); ++it) {
        if (it.value().compare(text, Qt::CaseInsensitive) == 0) {
            entity.fields.insert(QStringLiteral("data2"), it.key());
            entity.fields.remove(QStringLiteral("data3"));
            return;
        }
    }
    entity.fields.insert(QStringLiteral("data2"), 0);
    entity.fields.insert(QStringLiteral("data3"), text);
}

} // namespace

CSVImport::_ColInfo CSVImport::colInfo(const QString& headerName)
{
    return CsvColumnDictionary::lookup(headerName);
}

void CSVImport::initialize(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(file.errorString());
    const auto tooLarge = [] {
        throw Error(QCoreApplication::translate("CSVImport", "The file is larger than %1 MB and cannot be imported.")
                        .arg(csvhelper::kMaxFileBytes / (1024 * 1024)));
    };
    if (file.size() > csvhelper::kMaxFileBytes)
        tooLarge();
    // Read in pieces so the bound also holds for a file that grows or does
    // not know its size, without reserving the whole bound up front.
    QByteArray raw;
    raw.reserve(file.size());
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            throw Error(file.errorString());
        if (n == 0)
            break;
        raw.append(chunk.constData(), n);
        if (raw.size() > csvhelper::kMaxFileBytes)
            tooLarge();
    }
    file.close();

    QString encoding;
    const QByteArray text = csvhelper::toUtf8Text(raw, &encoding);
    qCDebug(lcCsv) << "reading" << path << "as" << encoding;

    const char delimiter = csvhelper::detectDelimiter(text);
    QStringList header;
    QList<qsizetype> rowStarts;
    QList<int> rowNumbers;
    qsizetype pos = 0;
    if (csvhelper::readRow(text, pos, header, delimiter)) {
        // Rows are numbered as a spreadsheet shows them: the header is row 1.
        int number = 1;
        // The last row counts even without a final line end.
        while (pos < text.size()) {
            const qsizetype start = pos;
            bool blank = false;
            csvhelper::skipRow(text, pos, &blank);
            ++number;
            // A line with nothing on it holds no contact; counting it would
            // only make the progress total wrong.
            if (!blank) {
                rowStarts.append(start);
                rowNumbers.append(number);
            }
        }
    } else {
        // A header without a line end has no rows below it.
        header.clear();
    }
    const QList<bool> typeOnly = typeOnlyColumns(
        typeColumnsOf(header, [](const QString& name) { return colInfo(name).entityType; }));
    QStringList unknown;
    for (int i = 0; i < header.size(); ++i) {
        const QString& name = header.at(i);
        if (colInfo(name).entityType == 0 && !name.trimmed().isEmpty() && !typeOnly.at(i))
            unknown.append(name);
    }
    if (!header.isEmpty() && unknown.size() == header.size())
        throw Error(QCoreApplication::translate("CSVImport", "No column of this file is a known contact field."));

    m_header = std::move(header);
    m_text = text;
    m_rowStarts = std::move(rowStarts);
    m_rowNumbers = std::move(rowNumbers);
    m_cursor = 0;
    m_encoding = encoding;
    m_delimiter = delimiter;
    m_problems.clear();
    if (!unknown.isEmpty()) {
        constexpr int kNamed = 5;
        QStringList named;
        for (const QString& name : unknown.mid(0, kNamed))
            named.append(QLatin1Char('"') + name + QLatin1Char('"'));
        QString list = named.join(QLatin1String(", "));
        if (unknown.size() > kNamed)
            list += QCoreApplication::translate("CSVImport", " and %1 more").arg(unknown.size() - kNamed);
        m_problems.add(QCoreApplication::translate("CSVImport",
                                                   "Row 1: columns that are no known contact field were left out: %1.")
                           .arg(list));
    }
    resolveColumns();
}

void CSVImport::resolveColumns()
{
    m_columns.clear();
    m_groupTypes.clear();
    m_columnOfIndex.fill(-1, m_header.size());

    // A header may name one column very many times: each distinct name is
    // looked up once, each column then costs two hash look-ups.
    QHash<QString, _ColInfo> infoOfName;
    QList<_ColInfo> infos(m_header.size());
    for (int i = 0; i < m_header.size(); ++i) {
        auto it = infoOfName.constFind(m_header.at(i));
        if (it == infoOfName.constEnd())
            it = infoOfName.insert(m_header.at(i), colInfo(m_header.at(i)));
        infos[i] = *it;
    }
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
    QHash<QString, int> groupIndex;
    for (auto it = groupByKey.cbegin(); it != groupByKey.cend(); ++it) {
        groupIndex.insert(it.key(), int(m_groupTypes.size()));
        m_groupTypes.append(it.value());
    }
    const QList<int> typeColumns
        = typeColumnsOf(m_header, [&](const QString& name) { return infoOfName.value(name).entityType; });
    const QList<bool> typeOnlyAt = typeOnlyColumns(typeColumns);
    for (int i = 0; i < m_header.size(); ++i) {
        const _ColInfo& info = infos.at(i);
        const bool typeOnly = typeOnlyAt.at(i);
        if (info.entityType == 0 && !typeOnly)
            continue;
        Column col;
        col.index = i;
        col.typeOnly = typeOnly;
        if (!typeOnly) {
            col.info = info;
            col.group = groupIndex.value(groupKey(info));
            col.multiValued = pim::isMultiValued(info.entityType);
        }
        m_columnOfIndex[i] = int(m_columns.size());
        m_columns.append(col);
    }
    // Type columns come before or after their values: linked once all are in.
    for (Column& col : m_columns) {
        if (!col.typeOnly && typeColumns.at(col.index) >= 0)
            col.typeColumn = m_columnOfIndex.at(typeColumns.at(col.index));
    }
}

int CSVImport::total()
{
    return int(m_rowStarts.size());
}

bool CSVImport::hasNext()
{
    return m_cursor < m_rowStarts.size();
}

bool CSVImport::readPlainRow(qsizetype pos, QVarLengthArray<QString, 64>& values, bool& extraCells) const
{
    const char* const begin = m_text.constData() + pos;
    const char* const end = m_text.constData() + m_text.size();
    const char* const rowEnd = csvhelper::plainRowEnd(begin, end);
    if (!rowEnd)
        return false;
    const int headerSize = int(m_header.size());
    int index = 0;
    const char* cell = begin;
    for (;;) {
        const void* comma = std::memchr(cell, m_delimiter, size_t(rowEnd - cell));
        const char* c = comma ? static_cast<const char*>(comma) : rowEnd;
        const qsizetype size = c - cell;
        if (index >= headerSize)
            extraCells = extraCells || size > 0;
        else if (size > 0 && m_columnOfIndex.at(index) >= 0)
            values[m_columnOfIndex.at(index)] = QString::fromUtf8(cell, size);
        ++index;
        cell = c + 1;
        if (c == rowEnd)
            return true;
    }
}

pim::_Contact CSVImport::nextContact()
{
    Q_ASSERT(hasNext());
    const int rowNumber = m_rowNumbers.at(m_cursor);
    qsizetype pos = m_rowStarts.at(m_cursor++);

    // Only the cells of known columns are decoded; cells beyond the header
    // are looked at only to tell that something was left out.
    const int headerSize = int(m_header.size());
    QVarLengthArray<QString, 64> values(m_columns.size());
    bool extraCells = false;
    if (!readPlainRow(pos, values, extraCells)) {
        csvhelper::MemorySource src(m_text, pos, m_delimiter);
        auto sink = csvhelper::decodingSink(
            [&](int index) { return index >= headerSize || m_columnOfIndex.at(index) >= 0; },
            [&](int index, QString&& text) {
                if (index >= headerSize)
                    extraCells = extraCells || !text.isEmpty();
                else
                    values[m_columnOfIndex.at(index)] = std::move(text);
            });
        csvhelper::scanRow(src, sink);
    }
    if (extraCells)
        m_problems.add(QCoreApplication::translate("CSVImport",
                                                   "Row %1: the cells beyond the last named column were left out.")
                           .arg(rowNumber));

    QVarLengthArray<QList<pim::Entity>, 64> groups(m_groupTypes.size());
    for (int c = 0; c < m_columns.size(); ++c) {
        const Column& col = m_columns.at(c);
        const QString& cell = values[c];
        if (cell.isEmpty() || col.typeOnly)
            continue;
        // A type cell beside a cell of several values holds as many kinds
        // ("* Home ::: Work"), or one for them all.
        const QStringList kinds = col.typeColumn >= 0 ? values[col.typeColumn].split(kMultiValueSeparator)
                                                      : QStringList();
        // Only phones, e-mails, groups and the like hold several values; a
        // name or a note keeps its pieces as one text.
        const bool separate = col.multiValued || col.info.entityType == pim::ENTITY_GROUP;
        QStringList pieces { cell };
        if (cell.contains(kMultiValueSeparator)) {
            pieces = cell.split(kMultiValueSeparator);
            if (!separate)
                pieces = QStringList { pieces.join(QLatin1String(", ")) };
        }
        for (qsizetype p = 0; p < pieces.size(); ++p) {
            const QString& piece = pieces.at(p);
            QString value = piece.startsWith(QLatin1Char('\'')) ? csvhelper::unguardFormula(piece) : piece;
            if (col.info.entityType == pim::ENTITY_EVENT)
                value = storedDate(value);
            if (value.isEmpty())
                continue;
            QList<pim::Entity>& list = groups[col.group];
            // Every column of a multi-valued group fills "data1", so a group
            // that holds an entity already has its value.
            if (list.isEmpty() || col.multiValued || (separate && p > 0))
                list.append(pim::Entity());
            pim::Entity& entity = list.last();
            const QString kind = kinds.size() == 1 ? kinds.first() : kinds.value(p);
            if (!kind.trimmed().isEmpty()) {
                setNamedKind(entity, col.info.entityType, kind);
            } else if (!col.info.typeKey.isEmpty() && col.info.subType != 0) {
                // The columns of a group share their sub-type: a lookup is
                // cheaper than writing the same number again.
                const auto type = entity.fields.constFind(col.info.typeKey);
                if (type == entity.fields.constEnd() || type->typeId() != QMetaType::Int
                    || type->toInt() != col.info.subType)
                    entity.fields.insert(col.info.typeKey, col.info.subType);
                if (!col.info.typeNamed)
                    pim::setTypeNotGiven(entity);
            }
            auto field = entity.fields.find(col.info.valueKey);
            if (field == entity.fields.end() || field->toString().isEmpty()) {
                // Dates are stored in the one form the vCard reader gives
                // them, so the same date from both files merges.
                entity.fields.insert(col.info.valueKey, value);
            } else {
                // Appended in place: a copy per repeat of the column would
                // make a row that repeats it a million times quadratic.
                QString joined = field->toString();
                *field = QVariant();
                joined += QLatin1Char(' ');
                joined += value;
                *field = std::move(joined);
            }
        }
    }

    pim::_Contact contact;
    for (int g = 0; g < m_groupTypes.size(); ++g) {
        QList<pim::Entity>& list = groups[g];
        if (list.isEmpty())
            continue;
        const int type = m_groupTypes.at(g);
        for (pim::Entity& entity : list) {
            switch (type) {
            case pim::ENTITY_ADDR:
                entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
                break;
            case pim::ENTITY_IM:
                // The columns name the protocol, not the kind: Home for a
                // new address, unless a type cell gave one.
                if (!entity.fields.contains(QStringLiteral("data2"))) {
                    entity.fields.insert(QStringLiteral("data2"), 1);
                    pim::setTypeNotGiven(entity);
                }
                // Protocol Other is stored as such, as every reader does.
                if (!entity.fields.contains(QStringLiteral("data5")))
                    entity.fields.insert(QStringLiteral("data5"), 0);
                break;
            case pim::ENTITY_NAME: {
                // A whole name in one cell ("Name") names the contact where
                // the parts give none, as the given name too, so an edit that
                // builds the name from its parts keeps it.
                const QString whole = entity.fields.value(QStringLiteral("data1")).toString().trimmed();
                contact.fullName = entity.fullName();
                if (contact.fullName.isEmpty() && !whole.isEmpty()) {
                    contact.fullName = whole;
                    entity.fields.insert(QStringLiteral("data2"), whole);
                }
                entity.fields.insert(QStringLiteral("data1"), contact.fullName);
                break;
            }
            default:
                break;
            }
        }
        QList<pim::Entity>& ofType = contact.entities[type];
        if (ofType.isEmpty())
            ofType = std::move(list);
        else
            ofType.append(list);
    }

    // Rows without a name (business cards, bare numbers) would otherwise be
    // dropped.
    if (contact.fullName.isEmpty())
        contact.fullName = standInName(contact);
    if (contact.fullName.isEmpty())
        m_problems.add(QCoreApplication::translate(
                           "CSVImport", "Row %1: no name, company, phone number or e-mail address; the row was left out.")
                           .arg(rowNumber));
    return contact;
}

void CSVImport::uninitialize()
{
}
