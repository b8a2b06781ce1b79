// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvimport.h"

#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvscanner_p.h"
#include "fileformats/fileformatslog.h"
#include "fileformats/vcard/vcardrules.h"
#include "model/pimlabels.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QFile>
#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace {

// Web-mail exports put several values of one kind into one cell.
const QString kMultiValueSeparator = QStringLiteral(" ::: ");

// A date cell as stored: an ISO date, or the month/day/year form of a
// web-mail export, in the form the vCard reader stores dates, so the same
// birthday from a card and from a table is one date; a date without a year
// ("--04-22", which a web-mail export writes after a blank) as written,
// without blanks around it; any other text as it stands, blanks and all.
// Empty for the zero date ("0/0/00") such an export writes where a contact
// has no date.
QString storedDate(const QString& cell)
{
    static const QRegularExpression yearLess(QStringLiteral("^\\s*--\\d{2}-?\\d{2}\\s*$"));
    if (QStringView(cell).trimmed().startsWith(u"--") && yearLess.match(cell).hasMatch())
        return cell.trimmed();
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

// A web-mail export marks the groups it keeps itself with "* ". Its
// "* myContacts" holds every contact of the account and says nothing about
// this one, so it is no group here; the others ("* starred") keep their
// names.
QString groupName(const QString& piece)
{
    if (!piece.startsWith(QLatin1String("* ")))
        return piece;
    const QString name = piece.mid(2).trimmed();
    return name == QLatin1String("myContacts") ? QString() : name;
}

QString takeText(pim::Entity& entity, const char* key)
{
    return entity.fields.take(QLatin1String(key)).toString();
}

// An address's extended address ("Suite 200") and post-office box have no
// field of their own: they follow the street on lines of their own, as a
// card's address is read. The formatted address only stands in for an
// address that the file gives no part of.
void joinAddressPieces(pim::Entity& entity)
{
    const QString extended = takeText(entity, CsvColumnDictionary::kExtendedAddressPiece);
    const QString poBox = takeText(entity, CsvColumnDictionary::kPoBoxPiece);
    const QString formatted = takeText(entity, CsvColumnDictionary::kFormattedAddressPiece);
    if (extended.isEmpty() && poBox.isEmpty() && formatted.isEmpty())
        return;
    QStringList lines;
    for (const QString& line : { entity.fields.value(QStringLiteral("data4")).toString(), extended, poBox }) {
        if (!line.isEmpty())
            lines.append(line);
    }
    if (!lines.isEmpty()) {
        entity.fields.insert(QStringLiteral("data4"), lines.join(QLatin1Char('\n')));
        return;
    }
    for (const char* part : { "data7", "data8", "data9", "data10" }) {
        if (entity.fields.contains(QLatin1String(part)))
            return;
    }
    entity.fields.insert(QStringLiteral("data4"), formatted);
}

// The date that a year, a month and a day in columns of their own make:
// stored as a date column's date is, without a year in the form a card
// gives a birthday without one ("--0314"); anything else as written, so no
// date a user entered is lost.
QString dateOfPieces(const QString& year, const QString& month, const QString& day)
{
    bool monthOk = false;
    bool dayOk = false;
    const int m = month.toInt(&monthOk);
    const int d = day.toInt(&dayOk);
    if (monthOk && dayOk) {
        bool yearOk = false;
        const int y = year.toInt(&yearOk);
        if (yearOk && QDate::isValid(y, m, d))
            return storedDate(QDate(y, m, d).toString(Qt::ISODate));
        if (year.isEmpty() && QDate::isValid(2000, m, d))
            return QStringLiteral("--%1%2").arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'));
    }
    QStringList written;
    for (const QString& piece : { year, month, day }) {
        if (!piece.isEmpty())
            written.append(piece);
    }
    return written.join(QLatin1Char('-'));
}

// A date given in pieces becomes the entity's date, unless a column of the
// whole date gave it one.
void joinDatePieces(pim::Entity& entity)
{
    const QString year = takeText(entity, CsvColumnDictionary::kYearPiece).trimmed();
    const QString month = takeText(entity, CsvColumnDictionary::kMonthPiece).trimmed();
    const QString day = takeText(entity, CsvColumnDictionary::kDayPiece).trimmed();
    if (year.isEmpty() && month.isEmpty() && day.isEmpty())
        return;
    if (entity.fields.value(QStringLiteral("data1")).toString().isEmpty())
        entity.fields.insert(QStringLiteral("data1"), dateOfPieces(year, month, day));
}

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

struct DescribingColumns {
    QList<int> type;
    QList<int> service;
    // Whether the column only describes others.
    QList<bool> describingOnly;
};

DescribingColumns describingColumns(const QStringList& header, const std::function<int(const QString&)>& typeOf)
{
    DescribingColumns d;
    d.type = describingColumnsOf(header, QLatin1String("Type"),
                                 [&](const QString& name) { return typeOf(name) != 0; });
    d.service = describingColumnsOf(header, QLatin1String("Service"),
                                    [&](const QString& name) { return typeOf(name) == pim::ENTITY_IM; });
    d.describingOnly.fill(false, header.size());
    for (const QList<int>* columns : { &d.type, &d.service }) {
        for (const int column : *columns) {
            if (column >= 0)
                d.describingOnly[column] = true;
        }
    }
    return d;
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

// The text of a describing cell, without the "* " the export puts before
// the value it marks as the main one.
QString describedText(const QString& cell)
{
    QString text = cell.trimmed();
    if (text.startsWith(QLatin1String("* ")))
        text = text.mid(2).trimmed();
    return text;
}

// Whether text names the label, letter case and blanks aside: "homePage"
// and "Home Page" are "Home page".
bool namesLabel(QStringView text, QStringView label)
{
    const auto next = [](QStringView s, qsizetype& at) {
        while (at < s.size() && s.at(at).isSpace())
            ++at;
        return at < s.size() ? s.at(at++).toCaseFolded() : QChar();
    };
    qsizetype t = 0;
    qsizetype l = 0;
    for (;;) {
        const QChar a = next(text, t);
        if (a != next(label, l))
            return false;
        if (a.isNull())
            return true;
    }
}

// Whether a type cell names a kind: a web-mail export keeps the type words
// of a card it read ("INTERNET", "VOICE"), which only say what any value of
// the column is, as the vCard reader finds them saying nothing.
bool namesKind(int entityType, const QString& cell)
{
    // Most value columns have no type column beside them.
    if (cell.isEmpty())
        return false;
    const QString text = describedText(cell);
    if (text.isEmpty())
        return false;
    static const struct {
        int entityType;
        const char* word;
    } nothingSaid[] = {
        { pim::ENTITY_EMAIL, "internet" }, { pim::ENTITY_EMAIL, "pref" }, { pim::ENTITY_PHONE, "voice" },
        { pim::ENTITY_PHONE, "pref" },     { pim::ENTITY_ADDR, "postal" }, { pim::ENTITY_ADDR, "parcel" },
        { pim::ENTITY_ADDR, "dom" },       { pim::ENTITY_ADDR, "intl" },   { pim::ENTITY_ADDR, "pref" },
    };
    for (const auto& n : nothingSaid) {
        if (n.entityType == entityType && text.compare(QLatin1String(n.word), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

// Gives the entity the code a describing cell names: a label of the table
// (namesLabel: "Mobile", "work", "skype", "homePage"), "* " or not; any
// other text is the entity's own label under labelKey, with code 0, as a
// phone keeps its own label and a messaging address its own service.
void setNamedCode(pim::Entity& entity, const QMap<int, QString>& labels, const QString& codeKey,
                  const QString& labelKey, const QString& cell)
{
    const QString text = describedText(cell);
    if (text.isEmpty())
        return;
    for (auto it = labels.cbegin(); it != labels.cend(); ++it) {
        if (namesLabel(text, it.value())) {
            entity.fields.insert(codeKey, it.key());
            entity.fields.remove(labelKey);
            return;
        }
    }
    entity.fields.insert(codeKey, 0);
    entity.fields.insert(labelKey, text);
}

// Completes an entity of a row once all its cells are in (the formatted
// address, a date from its pieces, the kinds a messaging address gets, the
// names) and adds it to the contact.
void finishEntity(int type, pim::Entity& entity, pim::_Contact& contact)
{
    switch (type) {
    case pim::ENTITY_ADDR:
        joinAddressPieces(entity);
        entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
        break;
    case pim::ENTITY_EVENT:
        joinDatePieces(entity);
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
        // builds the name from its parts keeps it. Beside the parts it
        // is the display name the file gives, kept as a card's is; the
        // contact is listed under the name its parts make.
        const QString whole = entity.fields.value(QStringLiteral("data1")).toString().trimmed();
        contact.fullName = entity.fullName();
        if (contact.fullName.isEmpty() && !whole.isEmpty()) {
            contact.fullName = whole;
            entity.fields.insert(QStringLiteral("data2"), whole);
        }
        entity.fields.insert(QStringLiteral("data1"), whole.isEmpty() ? contact.fullName : whole);
        break;
    }
    default:
        break;
    }
    contact.entities[type].append(std::move(entity));
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
    const QList<bool> describingOnly
        = describingColumns(header, [](const QString& name) { return colInfo(name).entityType; }).describingOnly;
    QList<int> unread;
    for (int i = 0; i < header.size(); ++i) {
        const QString& name = header.at(i);
        if (colInfo(name).entityType == 0 && !name.trimmed().isEmpty() && !describingOnly.at(i))
            unread.append(i);
    }
    if (!header.isEmpty() && unread.size() == header.size())
        throw Error(QCoreApplication::translate("CSVImport", "This program reads none of the columns of this file."));

    m_header = std::move(header);
    m_text = text;
    m_rowStarts = std::move(rowStarts);
    m_rowNumbers = std::move(rowNumbers);
    m_cursor = 0;
    m_encoding = encoding;
    m_delimiter = delimiter;
    m_problems.clear();
    m_unreadEmpty.fill(false, m_header.size());
    for (const int index : std::as_const(unread))
        m_unreadEmpty[index] = true;
    m_unreadColumns = std::move(unread);
    resolveColumns();
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
        QCoreApplication::translate("CSVImport", "Row 1: columns this program does not read were left out: %1.")
            .arg(list));
    // The header's row comes first.
    m_problems = ImportProblems::merged({ &header, &m_problems });
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
    const DescribingColumns describing
        = describingColumns(m_header, [&](const QString& name) { return infoOfName.value(name).entityType; });
    m_inFileOrder.reset();
    for (int i = 0; i < m_header.size(); ++i) {
        const _ColInfo& info = infos.at(i);
        const bool describingOnly = describing.describingOnly.at(i);
        if (info.entityType == 0 && !describingOnly)
            continue;
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
        }
        m_columnOfIndex[i] = int(m_columns.size());
        m_columns.append(col);
    }
    // Describing columns come before or after their values: linked once all
    // are in.
    for (Column& col : m_columns) {
        if (col.describingOnly)
            continue;
        if (const int type = describing.type.at(col.index); type >= 0)
            col.typeColumn = m_columnOfIndex.at(type);
        if (const int service = describing.service.at(col.index); service >= 0)
            col.serviceColumn = m_columnOfIndex.at(service);
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

bool CSVImport::readPlainRow(qsizetype pos, QVarLengthArray<QString, 64>& values, bool& extraCells)
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
        if (index >= headerSize) {
            extraCells = extraCells || size > 0;
        } else if (size > 0) {
            if (const int column = m_columnOfIndex.at(index); column >= 0)
                values[column] = QString::fromUtf8(cell, size);
            else if (m_unreadEmpty.at(index))
                noteUnreadCell(index, QString::fromUtf8(cell, size));
        }
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

    // Only the cells of known columns are decoded, and those of a column no
    // field takes until one holds something; cells beyond the header are
    // looked at only to tell that something was left out.
    const int headerSize = int(m_header.size());
    QVarLengthArray<QString, 64> values(m_columns.size());
    bool extraCells = false;
    if (!readPlainRow(pos, values, extraCells)) {
        csvhelper::MemorySource src(m_text, pos, m_delimiter);
        auto sink = csvhelper::decodingSink(
            [&](int index) {
                return index >= headerSize || m_columnOfIndex.at(index) >= 0 || m_unreadEmpty.at(index);
            },
            [&](int index, QString&& text) {
                if (index >= headerSize)
                    extraCells = extraCells || !text.isEmpty();
                else if (const int column = m_columnOfIndex.at(index); column >= 0)
                    values[column] = std::move(text);
                else
                    noteUnreadCell(index, text);
            });
        csvhelper::scanRow(src, sink);
    }
    if (extraCells)
        m_problems.add(QCoreApplication::translate("CSVImport",
                                                   "Row %1: the cells beyond the last named column were left out.")
                           .arg(rowNumber));

    // Every entity of the row in the order it was begun, with its group,
    // and for each group the index of its latest entity (-1: none yet).
    struct Begun {
        int group;
        pim::Entity entity;
    };
    QVarLengthArray<Begun, 32> begun;
    QVarLengthArray<int, 64> latest(m_groupTypes.size());
    std::fill(latest.begin(), latest.end(), -1);
    // The entities begun by the later positions of address lists: rare, so
    // searched rather than kept in a table per row.
    struct Positioned {
        int group;
        qsizetype position;
        int index;
    };
    QVarLengthArray<Positioned, 8> positioned;
    // Where the piece at position p of a cell goes: a new entity for every
    // value of phones and the like (every column of such a group fills
    // "data1", so a group that holds an entity already has its value) and
    // for every further group; the position's own entity of the group for a
    // list by position; else the group's entity of this row.
    const auto entityFor = [&](const Column& col, qsizetype p, bool separate) -> pim::Entity& {
        int* at = &latest[col.group];
        if (col.listByPosition && p > 0) {
            auto it = std::find_if(positioned.begin(), positioned.end(),
                                   [&](const Positioned& e) { return e.group == col.group && e.position == p; });
            if (it == positioned.end()) {
                positioned.append({ col.group, p, -1 });
                it = positioned.end() - 1;
            }
            at = &it->index;
        }
        if (*at < 0 || col.multiValued || (separate && p > 0)) {
            *at = int(begun.size());
            begun.append({ col.group, pim::Entity() });
        }
        return begun[*at].entity;
    };
    for (int c = 0; c < m_columns.size(); ++c) {
        const Column& col = m_columns.at(c);
        const QString& cell = values[c];
        if (cell.isEmpty() || col.describingOnly)
            continue;
        // A describing cell beside a cell of several values holds as many
        // kinds ("* Home ::: Work"), or one for them all.
        const auto describingPieces = [&](int column) {
            return column >= 0 ? values[column].split(kMultiValueSeparator) : QStringList();
        };
        const QStringList kinds = describingPieces(col.typeColumn);
        const QStringList services = describingPieces(col.serviceColumn);
        const auto describingPiece = [](const QStringList& list, qsizetype p) {
            return list.size() == 1 ? list.first() : list.value(p);
        };
        // Only phones, e-mails, groups and the like hold several values; a
        // name or a note keeps its pieces as one text.
        const bool separate = col.multiValued || col.info.entityType == pim::ENTITY_GROUP;
        QStringList pieces { cell };
        if (cell.contains(kMultiValueSeparator)) {
            pieces = cell.split(kMultiValueSeparator);
            if (!separate && !col.listByPosition)
                pieces = QStringList { pieces.join(QLatin1String(", ")) };
        }
        for (qsizetype p = 0; p < pieces.size(); ++p) {
            const QString& piece = pieces.at(p);
            QString value = piece.startsWith(QLatin1Char('\'')) ? csvhelper::unguardFormula(piece) : piece;
            if (col.info.entityType == pim::ENTITY_EVENT && !col.piece)
                value = storedDate(value);
            else if (col.info.entityType == pim::ENTITY_GROUP)
                value = groupName(value);
            // A blank value is nothing to keep.
            if (pim::isBlankText(value))
                continue;
            pim::Entity& entity = entityFor(col, p, separate);
            const QString kind = describingPiece(kinds, p);
            if (namesKind(col.info.entityType, kind)) {
                setNamedCode(entity, kindLabels(col.info.entityType), QStringLiteral("data2"),
                             QStringLiteral("data3"), kind);
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
            const QString service = describingPiece(services, p);
            if (const std::optional<int> protocol = pim::imProtocolNamed(service)) {
                // "Yahoo!", "GoogleTalk": named as every reader names it.
                entity.fields.insert(QStringLiteral("data5"), *protocol);
                entity.fields.remove(QStringLiteral("data6"));
            } else if (!service.trimmed().isEmpty()) {
                setNamedCode(entity, {}, QStringLiteral("data5"), QStringLiteral("data6"), service);
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

    // Another program's columns give their entities in the order of the
    // file; those of this program's own columns come in the order of their
    // groups, as the files it wrote have always been read.
    pim::_Contact contact;
    QVarLengthArray<int, 64> inGroupOrder;
    for (int i = 0; i < begun.size(); ++i) {
        const int type = m_groupTypes.at(begun[i].group);
        if (m_inFileOrder.test(size_t(type)))
            finishEntity(type, begun[i].entity, contact);
        else
            inGroupOrder.append(i);
    }
    const auto groupBefore = [&](int a, int b) { return begun[a].group < begun[b].group; };
    if (!std::is_sorted(inGroupOrder.cbegin(), inGroupOrder.cend(), groupBefore))
        std::stable_sort(inGroupOrder.begin(), inGroupOrder.end(), groupBefore);
    for (const int i : inGroupOrder)
        finishEntity(m_groupTypes.at(begun[i].group), begun[i].entity, contact);

    // Rows without a name (business cards, bare numbers) would otherwise be
    // dropped.
    if (contact.fullName.isEmpty())
        contact.fullName = standInName(contact);
    if (contact.fullName.isEmpty())
        m_problems.add(QCoreApplication::translate(
                           "CSVImport", "Row %1: no name, company, phone number or e-mail address; the row was left out.")
                           .arg(rowNumber));
    if (!hasNext())
        reportUnreadColumns();
    return contact;
}

void CSVImport::uninitialize()
{
}
