// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardrules.h"

#include "fileformats/absimport.h"
#include "model/phonedatarow.h"
#include "model/pimlabels.h"

#include <QDate>
#include <QTime>
#include <QHash>

namespace vcardrules {

namespace {

std::optional<int> relationType(const QString& typeText)
{
    static const QHash<QString, int> table {
        { QStringLiteral("assistant"), 1 }, { QStringLiteral("brother"), 2 },
        { QStringLiteral("child"), 3 },     { QStringLiteral("dompartner"), 4 },
        { QStringLiteral("father"), 5 },    { QStringLiteral("friend"), 6 },
        { QStringLiteral("manager"), 7 },   { QStringLiteral("mother"), 8 },
        { QStringLiteral("parent"), 9 },    { QStringLiteral("partner"), 10 },
        { QStringLiteral("ref"), 11 },      { QStringLiteral("relative"), 12 },
        { QStringLiteral("sister"), 13 },   { QStringLiteral("spouse"), 14 },
    };
    const auto it = table.constFind(typeText);
    if (it == table.constEnd())
        return std::nullopt;
    return *it;
}

// The relation sub-type of kind words: those of the relation table, and
// RFC 6350's "kin" for a relative.
std::optional<int> relationTypeOfKinds(const QStringList& kinds)
{
    for (const QString& kind : kinds) {
        if (const std::optional<int> type = relationType(kind))
            return type;
        if (kind == QLatin1String("kin"))
            return 12;
    }
    if (VCardValue::has(kinds, QLatin1StringView("other")))
        return 0;
    return std::nullopt;
}

// The relation sub-type whose label the text names ("Domestic Partner",
// "relative"), by the rule a CSV type cell names it.
std::optional<int> relationLabelled(const QString& label)
{
    return pim::codeNamed(label, pim::relTypeMap());
}

// A relation entity of the related person's name. An item label that is a
// label of the relation table gives its sub-type; any other label is kept as
// a custom one. Without a label, the sub-type is `type`, else a kind word the
// table has no code for (`word`, "co-worker") is the label.
void appendRelation(const VCardValue& value, pim::_Contact& contact, std::optional<int> type,
                    const QString& word = QString())
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    const QString label = value.customLabel();
    const std::optional<int> labelled = label.isEmpty() ? std::nullopt : relationLabelled(label);
    if (labelled) {
        entity.fields.insert(QStringLiteral("data2"), *labelled);
    } else if (label.isEmpty() && !type && !word.isEmpty()) {
        entity.fields.insert(QStringLiteral("data2"), 0);
        entity.fields.insert(QStringLiteral("data3"), word);
    } else {
        setSubType(entity, value, type, 0);
    }
    appendEntity(contact, pim::ENTITY_REL, entity);
}

constexpr int kBirthday = 3;

void readDate(const VCardValue& value, pim::_Contact& contact, std::optional<int> subType,
              Notes* notes = nullptr)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), dateText(value.text()));
    setNamedSubType(entity, value, subType, &pim::eventTypeMap, 0);
    appendEntity(contact, pim::ENTITY_EVENT, entity);
    if (notes && !subType && entity.fields.value(QStringLiteral("data2")).toInt() == kBirthday
        && !pim::isBlankEntry(pim::ENTITY_EVENT, entity))
        notes->birthdaysOfLabels.append({ contact.entities[pim::ENTITY_EVENT].size() - 1,
                                          value.customLabel() });
}

// The groups of one CATEGORIES value: split at commas that no backslash
// escapes; "\," stays a comma inside its group.
QStringList categoryNames(const QString& raw, bool unescape)
{
    QStringList names;
    QString current;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == u'\\' && i + 1 < raw.size()) {
            const QChar next = raw.at(++i);
            if (unescape || next != u',')
                current.append(c);
            current.append(next);
        } else if (c == u',') {
            names.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    names.append(current);
    for (QString& name : names)
        name = (unescape ? VCardProperty::unescapeText(name) : name).trimmed();
    names.removeAll(QString());
    return names;
}

} // namespace

namespace {

// Reads digits at text[at..at+count); -1 when any is not a digit.
int digitsAt(const QString& text, qsizetype at, int count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(at + i);
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

// The time part after "T", extended (10:30:00) or basic (103000), seconds
// optional, then optional fractions and a zone (Z, +hh:mm, +hhmm, +hh),
// which are dropped: dates are stored as the wall-clock text written.
bool readTime(const QString& text, qsizetype at, bool extended, int& h, int& m, int& s)
{
    const int step = extended ? 3 : 2;
    h = digitsAt(text, at, 2);
    m = digitsAt(text, at + step, 2);
    if (h < 0 || m < 0 || (extended && text.at(at + 2) != u':'))
        return false;
    at += step + 2;
    s = 0;
    if (at < text.size() && (extended ? text.at(at) == u':' : text.at(at).isDigit())) {
        s = digitsAt(text, at + (extended ? 1 : 0), 2);
        if (s < 0)
            return false;
        at += extended ? 3 : 2;
    }
    if (at < text.size() && (text.at(at) == u'.' || text.at(at) == u',')) {
        ++at;
        while (at < text.size() && text.at(at).isDigit())
            ++at;
    }
    if (at < text.size() && text.at(at) == u'Z')
        ++at;
    else if (at < text.size() && (text.at(at) == u'+' || text.at(at) == u'-')) {
        const qsizetype rest = text.size() - at - 1;
        const bool zone = (rest == 2 && digitsAt(text, at + 1, 2) >= 0)
            || (rest == 4 && digitsAt(text, at + 1, 4) >= 0)
            || (rest == 5 && text.at(at + 3) == u':' && digitsAt(text, at + 1, 2) >= 0 && digitsAt(text, at + 4, 2) >= 0);
        if (!zone)
            return false;
        at = text.size();
    }
    return at == text.size() && QTime::isValid(h, m, s);
}

} // namespace

QString dateText(const QString& value)
{
    const QString text = value.trimmed();
    // Extended (1980-01-15) or basic (19800115) date, optionally followed
    // by "T" and a time in the same form.
    const bool extended = text.size() >= 10 && text.at(4) == u'-' && text.at(7) == u'-';
    const int y = digitsAt(text, 0, 4);
    const int mo = digitsAt(text, extended ? 5 : 4, 2);
    const int d = digitsAt(text, extended ? 8 : 6, 2);
    const qsizetype dateEnd = extended ? 10 : 8;
    if (y < 0 || mo < 0 || d < 0 || !QDate::isValid(y, mo, d))
        return text;
    int h = 0, mi = 0, s = 0;
    if (text.size() > dateEnd) {
        if (text.at(dateEnd) != u'T' || !readTime(text, dateEnd + 1, extended, h, mi, s))
            return text;
    }
    // "yyyy-MM-ddThh:mm:ss"; every part is already known to fit its width.
    char16_t out[19];
    const auto put = [&out](int at, int value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            out[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, y, 4);
    put(5, mo, 2);
    put(8, d, 2);
    put(11, h, 2);
    put(14, mi, 2);
    put(17, s, 2);
    out[4] = out[7] = u'-';
    out[10] = u'T';
    out[13] = out[16] = u':';
    return QString(reinterpret_cast<const QChar*>(out), 19);
}

void readNickname(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    appendEntity(contact, pim::ENTITY_NICKNAME, entity);
}

void readBirthday(const VCardValue& value, pim::_Contact& contact)
{
    readDate(value, contact, kBirthday);
}

void readEvent(const VCardValue& value, pim::_Contact& contact, Notes& notes)
{
    const QStringList kinds = value.kinds();
    std::optional<int> subType;
    if (VCardValue::has(kinds, QLatin1StringView("anniversary")))
        subType = 1;
    else if (VCardValue::has(kinds, QLatin1StringView("other")))
        subType = 0;
    readDate(value, contact, subType, &notes);
}

void readItemDate(const VCardValue& value, pim::_Contact& contact, Notes& notes)
{
    readEvent(value, contact, notes);
}

void keepOneBirthday(pim::_Contact& contact, const Notes& notes)
{
    QList<pim::Entity>& dates = contact.entities[pim::ENTITY_EVENT];
    const auto dayOf = [&dates](qsizetype at) {
        return pim::fieldText(dates.at(at).fields.value(QStringLiteral("data1")));
    };
    // The places of the labelled ones ascend, as the dates were read.
    QString birthday;
    for (qsizetype at = 0, labelled = 0; at < dates.size() && birthday.isEmpty(); ++at) {
        if (labelled < notes.birthdaysOfLabels.size() && notes.birthdaysOfLabels.at(labelled).first == at)
            ++labelled;
        else if (dates.at(at).fields.value(QStringLiteral("data2")).toInt() == kBirthday)
            birthday = dayOf(at);
    }
    if (birthday.isEmpty())
        birthday = dayOf(notes.birthdaysOfLabels.constFirst().first);
    for (const auto& [at, label] : notes.birthdaysOfLabels) {
        if (dayOf(at) != birthday)
            setSubType(dates[at], label, 0, 0);
    }
}

void readAnniversary(const VCardValue& value, pim::_Contact& contact)
{
    readDate(value, contact, 1);
}

namespace {

// The labels of the sub-type codes of the kinds a phone's row may be.
QMap<int, QString> rowCodeLabels(int type)
{
    switch (type) {
    case pim::ENTITY_NICKNAME:
        return pim::nicknameTypeMap();
    case pim::ENTITY_EVENT:
        return pim::eventTypeMap();
    case pim::ENTITY_REL:
        return pim::relTypeMap();
    default:
        return {};
    }
}

// A code of a phone's row as this program keeps it: the phone's own code
// for "other" (an event's 2), which the kind's table lacks, is Other (0).
int rowCode(int type, const QString& text)
{
    const int code = text.trimmed().toInt();
    return rowCodeLabels(type).contains(code) ? code : 0;
}

} // namespace

void readPhoneDataRow(const VCardValue& value, pim::_Contact& contact, Notes& notes)
{
    const QStringList columns = value.components();
    const QString kind = columns.value(0).trimmed();
    const int type = pim::entityTypeOfRowKind(kind);
    if (type == 0) {
        const bool holds = std::any_of(columns.cbegin() + qMin<qsizetype>(1, columns.size()), columns.cend(),
                                       [](const QString& column) { return !pim::isBlankText(column); });
        if (holds) {
            const QString name = kind.startsWith(pim::kRowKindPrefix) ? kind.mid(pim::kRowKindPrefix.size())
                : kind.isEmpty()                                      ? value.property().name
                                                                      : kind;
            notes.leftOut.append({ value.property().line, name });
        }
        return;
    }
    pim::Entity entity;
    if (type == pim::ENTITY_NICKNAME) {
        // The row's kind code and label are the phone's own: a nickname here
        // is its text alone, as NICKNAME gives it, so the phone's card and
        // this program's export of it store the same row.
        const QString text = columns.value(1);
        if (!pim::isBlankText(text))
            entity.fields.insert(QStringLiteral("data1"), text);
        appendEntity(contact, type, entity);
        return;
    }
    for (const pim::RowColumn& column : pim::rowColumnsOf(type)) {
        const QString text = columns.value(pim::EntityFields::keyNumber(QString(column.key)));
        switch (column.kind) {
        case pim::RowColumnKind::Text:
            if (!pim::isBlankText(text))
                entity.fields.insert(column.key, text);
            break;
        case pim::RowColumnKind::Code:
            entity.fields.insert(column.key, rowCode(type, text));
            break;
        case pim::RowColumnKind::Date:
            entity.fields.insert(column.key, dateText(text));
            break;
        case pim::RowColumnKind::Bytes:
            break;
        }
    }
    // The user's own label names the kind in place of the code.
    if (pim::rowHasLabel(type) && entity.fields.contains(QStringLiteral("data3")))
        entity.fields.insert(QStringLiteral("data2"), 0);
    appendEntity(contact, type, entity);
}

void readCategories(const VCardValue& value, pim::_Contact& contact, Notes& notes)
{
    // The groups of a later CATEGORIES follow those of an earlier one.
    const QStringList names = categoryNames(value.rawText(), value.unescapes());
    if (names.isEmpty())
        return;
    QList<pim::Entity>& groups = contact.entities[pim::ENTITY_GROUP];
    const int notReadBefore = notes.groupsNotRead;
    for (const QString& name : names) {
        if (notes.groupNames.contains(name))
            continue;
        notes.groupNames.insert(name);
        if (groups.size() >= kMaxGroupsPerCard) {
            ++notes.groupsNotRead;
            continue;
        }
        pim::Entity entity;
        entity.fields.insert(QStringLiteral("data2"), name);
        groups.append(entity);
    }
    if (notes.groupsNotRead != notReadBefore)
        groups.last().fields.insert(groupsNotReadKey(), notes.groupsNotRead);
}

void readNote(const VCardValue& value, pim::_Contact& contact)
{
    // Every NOTE is a note of its own: a contact may hold several, and the
    // writer gives each its own line.
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    appendEntity(contact, pim::ENTITY_NOTES, entity);
}

void readRelation(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    setSubType(entity, value, relationType(value.typeText()), 0);
    appendEntity(contact, pim::ENTITY_REL, entity);
}

void readItemRelation(const VCardValue& value, pim::_Contact& contact)
{
    appendRelation(value, contact, relationTypeOfKinds(value.kinds()));
}

void readRelated(const VCardValue& value, pim::_Contact& contact)
{
    const QStringList kinds = value.kinds();
    QString word;
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        if (kinds.at(i) != QLatin1String("pref")) {
            // In lower case, as a kind word is.
            word = value.storedText(value.writtenKinds().value(i)).toLower();
            break;
        }
    }
    appendRelation(value, contact, relationTypeOfKinds(kinds), word);
}

void readNamedRelation(const VCardValue& value, pim::_Contact& contact)
{
    static const QHash<QString, QString> words {
        { QStringLiteral("X-SPOUSE"), QStringLiteral("spouse") },
        { QStringLiteral("X-MANAGER"), QStringLiteral("manager") },
        { QStringLiteral("X-ASSISTANT"), QStringLiteral("assistant") },
        { QStringLiteral("X-CHILDREN"), QStringLiteral("child") },
        { QStringLiteral("X-EVOLUTION-SPOUSE"), QStringLiteral("spouse") },
        { QStringLiteral("X-EVOLUTION-MANAGER"), QStringLiteral("manager") },
        { QStringLiteral("X-EVOLUTION-ASSISTANT"), QStringLiteral("assistant") },
        { QStringLiteral("X-MS-SPOUSE"), QStringLiteral("spouse") },
        { QStringLiteral("X-MS-MANAGER"), QStringLiteral("manager") },
        { QStringLiteral("X-MS-ASSISTANT"), QStringLiteral("assistant") },
        { QStringLiteral("X-KADDRESSBOOK-X-SPOUSESNAME"), QStringLiteral("spouse") },
        { QStringLiteral("X-KADDRESSBOOK-X-MANAGERSNAME"), QStringLiteral("manager") },
        { QStringLiteral("X-KADDRESSBOOK-X-ASSISTANTSNAME"), QStringLiteral("assistant") },
        { QStringLiteral("X-WAB-SPOUSE_NAME"), QStringLiteral("spouse") },
        { QStringLiteral("X-OUTLOOK-SPOUSE-NAME"), QStringLiteral("spouse") },
        { QStringLiteral("X-OUTLOOK-MANAGER-NAME"), QStringLiteral("manager") },
        { QStringLiteral("SPOUSNAME"), QStringLiteral("spouse") },
        { QStringLiteral("MANNAME"), QStringLiteral("manager") },
        { QStringLiteral("ASSNAME"), QStringLiteral("assistant") },
    };
    appendRelation(value, contact, relationType(words.value(value.property().name)));
}

} // namespace vcardrules
