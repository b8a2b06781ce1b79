// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

#include "model/controlcharacters.h"
#include "model/entityfields.h"

namespace pim {

enum ENTITY_TYPE : int {
    ENTITY_NAME = 1,
    ENTITY_PHOTO = 2,
    ENTITY_PHONE = 3,
    ENTITY_EMAIL = 4,
    ENTITY_NICKNAME = 5,
    ENTITY_EVENT = 6,
    ENTITY_GROUP = 7,
    ENTITY_IM = 8,
    ENTITY_NOTES = 9,
    ENTITY_ORG = 10,
    ENTITY_REL = 11,
    ENTITY_ADDR = 12,
    ENTITY_URL = 13,
};

constexpr int ENTITY_TYPE_FIRST = ENTITY_NAME;
constexpr int ENTITY_TYPE_LAST = ENTITY_URL;

inline bool isValidEntityType(int type)
{
    return type >= ENTITY_TYPE_FIRST && type <= ENTITY_TYPE_LAST;
}

// Whether a contact may hold several values of this type, each labelled on
// its own (phones, e-mails, dates, messaging, relations, web sites); a file
// reader or writer then gives every value its own field or column.
bool isMultiValued(int type);

// One typed datum of a contact. The type code is not held here: it is the
// key under which the owning contact keeps the entity.
// Whether a letter is Chinese, Japanese or Korean (Han, Hiragana,
// Katakana, Hangul): a name of such parts reads family name first, without
// a blank (Entity::fullName).
bool isCjkLetter(char32_t c);

class Entity {
public:
    Entity() = default;
    Entity(unsigned long long id, QString srcId) : id(id), srcId(std::move(srcId)) {}
    ~Entity() = default;

    // Display name built from the name parts ("data2".."data6").
    QString fullName() const;
    // Whether the name parts name someone: a given, middle or family name.
    // A title or suffix alone ("Mr.", "Dr.", "Jr.") names no one: the
    // contact is then known as one without a name is, its title kept.
    bool namesSomeone() const;
    // Makes a whole name (a card's FN, a table's "Name") the display name
    // and the given name of a name whose parts name no one, and returns the
    // name the contact is listed by: the whole name, or the name the parts
    // make where a title or suffix the whole name does not show stays.
    QString takeWholeName(const QString& whole);
    // The whole postal address built from its parts.
    QString formattedAddr() const;
    // Base64 of the MD5 of the photo bytes in "data15".
    QString photoHash() const;
    // Base64 of the MD5 of the given bytes: 24 characters ending in "==".
    static QString photoHash(QByteArray bytes);

    EntityFields fields;
    unsigned long long id = 0;
    QString srcId;
};

// The key a file reader sets on an entity whose file named no sub-type and
// no label for its value (a vCard line without TYPE, a CSV column that names
// none): "data2" then holds only the reader's choice for a new entry, and a
// merge into a stored entry of the same value keeps that entry's sub-type
// and label. Not a column, so never stored and never sent to a phone.
const QString& typeNotGivenKey();
bool isTypeGiven(const Entity& entity);
void setTypeNotGiven(Entity& entity);

class _Contact {
public:
    _Contact() = default;
    _Contact(unsigned long long id, QString srcId, QString fullName)
        : id(id), srcId(std::move(srcId)), fullName(std::move(fullName)) {}
    _Contact(const _Contact&) = default;
    _Contact& operator=(const _Contact&) = default;
    _Contact(_Contact&&) noexcept = default;
    _Contact& operator=(_Contact&&) noexcept = default;
    ~_Contact() = default;

    unsigned long long id = 0;
    QString srcId;
    QString fullName;
    QMap<int, QList<Entity>> entities;
};

class _Group {
public:
    _Group() = default;
    _Group(unsigned long long id, QString name) : id(id), name(std::move(name)) {}

    unsigned long long id = 0;
    QString name;
};

// The text under which a field value is stored and compared: dates become
// ISO text without milliseconds ("yyyy-MM-ddThh:mm:ss"), everything else its
// plain string form. Qt 6 would otherwise append ".000" to date-times.
QString fieldText(const QVariant& value);

// Whether a value's text holds nothing but blanks (or nothing at all): such
// a number, address or note is nothing to keep, so the file readers store no
// entry for it and the writers write none.
bool isBlankText(QStringView text);

// A value's text as the file readers store it: without the blanks and tabs
// (U+0020, U+0009) at its ends, which tables and phones' exports leave
// around names, numbers and addresses, and which break mailing, dialling
// and the merge's matching of names. Nothing inside the text changes, and
// other white space at its ends (a line break) stays. In place: a text
// without such blanks, nearly every one, is neither copied nor written.
// Whether dropEndBlanks() would change the text.
inline bool hasEndBlanks(QStringView text)
{
    const auto isEndBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    return !text.isEmpty() && (isEndBlank(text.front()) || isEndBlank(text.back()));
}
// The work of dropEndBlanks() on a text that has such blanks.
void dropFoundEndBlanks(QString& text);
inline void dropEndBlanks(QString& text)
{
    if (hasEndBlanks(text))
        dropFoundEndBlanks(text);
}
inline QString withoutEndBlanks(QString text)
{
    dropEndBlanks(text);
    return text;
}

// Whether the readers store a value of the type as written, with the
// blanks and tabs at its ends: only a note, whose indents and spacing are
// the user's layout.
bool keepsEndBlanks(int type);

// Whether an entry of the type holds nothing a user keeps: the fields that
// carry its value are absent or blank text (a photo: no bytes). Its kind,
// label or protocol alone are nothing to keep. The one rule of what a blank
// entry is: the file readers store no such entry and the writers write
// none. The value fields are, by type: a name's parts, display and phonetic
// names ("data1".."data9"); a photo's bytes ("data15"); a group's name
// ("data2"); an organisation's company, title and department ("data1",
// "data4", "data5"); an address's street, city, region, postcode and country
// ("data4", "data7".."data10"), of which the formatted text is made; "data1"
// for every other type. False for a type outside the table.
bool isBlankEntry(int type, const Entity& entity);

// Field equality as the duplicate rules need it: two absent (invalid)
// values are equal, an absent value equals nothing present (not even empty
// text); numbers compare as numbers; otherwise the right value is taken in
// the left value's type before comparing (text "2" equals int 2, a
// date-time equals its ISO text) and one that cannot be converted is unequal.
bool fieldEquals(const QVariant& left, const QVariant& right);

} // namespace pim

Q_DECLARE_METATYPE(pim::_Contact)
Q_DECLARE_METATYPE(pim::Entity)
Q_DECLARE_METATYPE(pim::_Group)
