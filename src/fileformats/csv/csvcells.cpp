// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV reader's cell readers: what one cell of a known column gives the
// entities of its row, and how those entities become the row's contact.
#include "fileformats/csv/csvimport.h"

#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvimport_p.h"
#include "fileformats/vcard/mapping/vcardrules.h"
#include "model/pimlabels.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// A date cell as stored: an ISO date, or the month/day/year form of a
// web-mail export, in the form the vCard reader stores dates, so the same
// birthday from a card and from a table is one date; a date without a year
// ("--04-22", which a web-mail export writes after a blank) as written,
// without blanks around it; any other text as it stands, blanks and all.
// Empty for the zero date ("0/0/00") such an export writes where a contact
// has no date. Day first where the first number cannot be a month, or
// where dayFirst() says so of a date that reads either way.
template <typename DayFirst>
QString storedDate(const QString& cell, DayFirst dayFirst)
{
    static const QRegularExpression yearLess(QStringLiteral("^\\s*--\\d{2}-?\\d{2}\\s*$"));
    if (QStringView(cell).trimmed().startsWith(u"--") && yearLess.match(cell).hasMatch())
        return cell.trimmed();
    if (const std::optional<csvread::SlashedDate> date = csvread::slashedDate(cell)) {
        int month = date->first;
        int day = date->second;
        if (month == 0 && day == 0 && date->year == 0)
            return QString();
        if (month > 12 || (date->fullYear && date->readsEitherWay() && dayFirst()))
            std::swap(month, day);
        if (date->fullYear && QDate::isValid(date->year, month, day))
            return QDate(date->year, month, day)
                .startOfDay()
                .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
        return cell;
    }
    const QString iso = vcardrules::dateText(cell);
    return iso == cell.trimmed() ? cell : iso;
}

QString storedDate(const QString& cell)
{
    return storedDate(cell, [] { return false; });
}

// A web-mail export marks the groups it keeps itself with "* ". Its
// all-contacts group holds every contact of the account and says nothing
// about this one, so it is no group here, however the export spells it
// ("* myContacts", "* My Contacts", "*mycontacts"); the others ("* starred")
// keep their names, and `marked` tells that a mark named them.
QString groupName(const QString& piece, bool& marked)
{
    marked = false;
    const QStringView text = QStringView(piece).trimmed();
    if (!text.startsWith(u'*'))
        return piece;
    const QStringView name = text.mid(1).trimmed();
    if (pim::namesLabel(name, u"myContacts"))
        return QString();
    if (!piece.startsWith(QLatin1String("* ")))
        return piece;
    marked = true;
    return name.toString();
}

// The key under which a group a mark named waits for the row's end.
const QString kMarkedGroupKey = QStringLiteral("markedGroup");

// A group of the user's own is kept before one the web-mail export keeps
// itself: as the merge keeps the last of a contact's groups, those a mark
// named go first, each kind in the order of the file.
void putMarkedGroupsFirst(QList<pim::Entity>& groups)
{
    std::stable_partition(groups.begin(), groups.end(),
                          [](const pim::Entity& group) { return group.fields.contains(kMarkedGroupKey); });
    for (pim::Entity& group : groups)
        group.fields.remove(kMarkedGroupKey);
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
// the value it marks as the main one. The mark says nothing of the kind:
// where the value has none, the export writes the mark alone ("* "), which
// is an empty cell.
QString describedText(const QString& cell)
{
    QString text = cell.trimmed();
    if (text.startsWith(QLatin1String("* ")))
        text = text.mid(2).trimmed();
    else if (text == QLatin1String("*"))
        text.clear();
    return text;
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
// (pim::codeNamed: "Mobile", "work", "skype", "homePage", "Home-Page"), "* "
// or not; any other text is the entity's own label under labelKey, with
// code 0, as a phone keeps its own label and a messaging address its own
// service.
void setNamedCode(pim::Entity& entity, const QMap<int, QString>& labels, const QString& codeKey,
                  const QString& labelKey, const QString& cell)
{
    const QString text = describedText(cell);
    if (text.isEmpty())
        return;
    if (const std::optional<int> code = pim::codeNamed(text, labels)) {
        entity.fields.insert(codeKey, *code);
        entity.fields.remove(labelKey);
        return;
    }
    entity.fields.insert(codeKey, 0);
    entity.fields.insert(labelKey, text);
}

// A messaging address written as a link of its service's scheme
// ("sip:ann@voip.example") is the address after the scheme, as a card's
// X-SIP line is read.
QString addressWithoutScheme(const QString& value, const QString& scheme)
{
    if (value.size() > scheme.size() && value.at(scheme.size()) == u':'
        && QStringView(value).left(scheme.size()).compare(scheme, Qt::CaseInsensitive) == 0)
        return pim::withoutEndBlanks(value.mid(scheme.size() + 1));
    return value;
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
        // The whole name's reading ("Yomi Name") stands in for the
        // readings of the parts where they give none, as the given
        // name's reading, as a whole name stands in for the given name.
        static const QString kReadingKey = QString::fromLatin1(CsvColumnDictionary::kNameReadingPiece);
        const QString reading = entity.fields.take(kReadingKey).toString().trimmed();
        if (!reading.isEmpty() && pim::isBlankText(pim::fieldText(entity.fields.value(QStringLiteral("data7"))))
            && pim::isBlankText(pim::fieldText(entity.fields.value(QStringLiteral("data8")))))
            entity.fields.insert(QStringLiteral("data7"), reading);
        // A whole name in one cell ("Name") names the contact where
        // the parts give none, as the given name too, so an edit that
        // builds the name from its parts keeps it. Beside the parts it
        // is the display name the file gives, kept as a card's is; the
        // contact is listed under the name its parts make. A title or
        // suffix alone makes no name, nor a whole name that only repeats
        // it, as a card's FN does not.
        const QString whole = entity.fields.value(QStringLiteral("data1")).toString().trimmed();
        const QString display = entity.fullName();
        contact.fullName = display.isEmpty() || entity.namesSomeone() ? display : QString();
        if (contact.fullName.isEmpty() && !whole.isEmpty() && whole != display)
            contact.fullName = entity.takeWholeName(whole);
        entity.fields.insert(QStringLiteral("data1"), whole.isEmpty() ? display : whole);
        break;
    }
    default:
        break;
    }
    contact.entities[type].append(std::move(entity));
}

} // namespace

namespace csvread {

const QString kMultiValueSeparator = QStringLiteral(" ::: ");

RowEntities::RowEntities(qsizetype groupCount)
    : m_latest(groupCount)
{
    std::fill(m_latest.begin(), m_latest.end(), -1);
}

pim::Entity& RowEntities::entityFor(int group, qsizetype p, bool listByPosition, bool multiValued, bool separate)
{
    int* at = &m_latest[group];
    if (listByPosition && p > 0) {
        if (m_positioned.empty())
            m_positioned.resize(m_latest.size());
        std::vector<int>& positions = m_positioned[size_t(group)];
        if (positions.size() < size_t(p))
            positions.resize(size_t(p), -1);
        // Valid up to the next resize, which comes only with a later call.
        at = &positions[size_t(p) - 1];
    }
    if (*at < 0 || multiValued || (separate && p > 0)) {
        *at = int(m_begun.size());
        m_begun.append({ group, pim::Entity() });
    }
    return m_begun[*at].entity;
}

} // namespace csvread

void CSVImport::readCell(int c, const Cells& values, csvread::RowEntities& row)
{
    using csvread::kMultiValueSeparator;
    const Column& col = m_columns.at(c);
    const QString& cell = values[c];
    if (cell.isEmpty() || col.describingOnly)
        return;
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
        bool markedGroup = false;
        if (col.info.entityType == pim::ENTITY_EVENT && !col.piece)
            value = storedDate(value, [&] { return readsDayFirst(col.dateOrder); });
        else if (col.info.entityType == pim::ENTITY_GROUP)
            value = groupName(value, markedGroup);
        // The blanks and tabs around a piece are nobody's, around a part
        // of a name or an address as much as around a number; a date is
        // read in its own form, and a note keeps its layout.
        if (col.info.entityType != pim::ENTITY_EVENT && !pim::keepsEndBlanks(col.info.entityType))
            pim::dropEndBlanks(value);
        if (!col.info.service.isEmpty())
            value = addressWithoutScheme(value, col.info.service);
        // A blank value is nothing to keep.
        if (pim::isBlankText(value))
            continue;
        pim::Entity& entity = row.entityFor(col.group, p, col.listByPosition, col.multiValued, separate);
        if (markedGroup) {
            entity.fields.insert(kMarkedGroupKey, true);
            row.noteMarkedGroup();
        }
        const QString kind = describingPiece(kinds, p);
        if (namesKind(col.info.entityType, kind)) {
            setNamedCode(entity, kindLabels(col.info.entityType), QStringLiteral("data2"),
                         QStringLiteral("data3"), kind);
        } else if (!col.info.typeKey.isEmpty() && (col.info.subType != 0 || !col.info.typeNamed)) {
            // The columns of a group share their sub-type: a lookup is
            // cheaper than writing the same number again. Other (0) is
            // written only where the column names no kind, as the kind of
            // a new entry.
            const auto type = entity.fields.constFind(col.info.typeKey);
            if (type == entity.fields.constEnd() || type->typeId() != QMetaType::Int
                || type->toInt() != col.info.subType)
                entity.fields.insert(col.info.typeKey, col.info.subType);
            if (!col.info.typeNamed)
                pim::setTypeNotGiven(entity);
        }
        if (col.info.kind >= 0 && !namesKind(col.info.entityType, kind))
            entity.fields.insert(QStringLiteral("data2"), col.info.kind);
        const QString service = describingPiece(services, p);
        if (const std::optional<int> protocol = pim::imProtocolNamed(service)) {
            // "Yahoo!", "GoogleTalk": named as every reader names it.
            entity.fields.insert(QStringLiteral("data5"), *protocol);
            entity.fields.remove(QStringLiteral("data6"));
        } else if (!service.trimmed().isEmpty()) {
            setNamedCode(entity, {}, QStringLiteral("data5"), QStringLiteral("data6"), service);
        }
        if (!col.info.service.isEmpty())
            entity.fields.insert(QStringLiteral("data6"), col.info.service);
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

void CSVImport::joinExtensions(Cells& values) const
{
    for (const auto& [phone, extension] : m_extensions) {
        if (!values[extension].isEmpty())
            values[phone] = csvread::phoneWithExtension(values[phone], values[extension]);
    }
}

pim::_Contact CSVImport::contactOf(csvread::RowEntities& row) const
{
    // Another program's columns give their entities in the order of the
    // file; those of this program's own columns come in the order of their
    // groups, as the files it wrote have always been read.
    auto& begun = row.begun();
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
    if (row.hasMarkedGroup())
        putMarkedGroupsFirst(contact.entities[pim::ENTITY_GROUP]);
    return contact;
}
