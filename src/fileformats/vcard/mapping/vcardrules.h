// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/mapping/vcardcardtext.h"
#include "fileformats/vcard/mapping/vcardvalue.h"
#include "model/contact.h"

#include <QSet>

#include <optional>

// The property rules of the vCard reader, one function per property name.
// Each writes the entities of one kind into the contact being built.
namespace vcardrules {

// What the rules of one card left out or read differently, each with the
// line of its property, in words for the user.
struct Notes {
    QList<std::pair<qint64, QString>> items;
    // The names of the card's groups so far, of every CATEGORIES line: a
    // name given twice makes one group.
    QSet<QString> groupNames;
    // Of those, the groups beyond kMaxGroupsPerCard, which were not read.
    int groupsNotRead = 0;
    // Line and name of each property with a value of a kind no rule reads
    // and that carried something a user keeps; of one whose name is damaged
    // (VCardProperty::nameDamaged), which names no kind, the line alone in
    // unreadLines: a line that could not be read.
    QList<std::pair<qint64, QString>> leftOut;
    QList<qint64> unreadLines;
    // The lines, ascending, of text read by a guess (VCardCardText::text()):
    // text that is not UTF-8 and names no charset or only UTF-8, or words in
    // quoted-printable codes that they do not declare.
    QList<VCardCardText::GuessedLine> guessedLines;
    // The lines, ascending and each once, of values whose text held control
    // characters, which were left out or replaced
    // (VCardCardText::controlLines()), of those whose letters encoded twice
    // were read as the letters meant (VCardCardText::twiceEncodedLines()),
    // and of words in undeclared codes whose stray "=" before a code was
    // left out (VCardCardText::strayEqualsLines()).
    QList<qint64> controlLines;
    QList<qint64> twiceEncodedLines;
    QList<qint64> strayEqualsLines;
    // The line of the photo read so far, which a later one takes the place of.
    qint64 photoLine = 0;
    // The dates whose item label alone made them birthdays: each one's
    // place among the contact's dates, and the label.
    QList<std::pair<qsizetype, QString>> birthdaysOfLabels;

    void add(qint64 line, const QString& text) { items.append({ line, text }); }
};

// Groups one card may join; a card with more is damaged or hostile. The
// rest are counted on the last group read (groupsNotReadKey()).
constexpr int kMaxGroupsPerCard = 1000;

// The entity's sub-type code, or for a custom label code 0 and the label
// in "data3". Without a code (the property names no kind) and without a
// label, the fallback is stored and the entity marked as one whose type
// was not given (pim::setTypeNotGiven).
void setSubType(pim::Entity& entity, const VCardValue& value, std::optional<int> code, int fallback);
// The same with the label given apart from the value's.
void setSubType(pim::Entity& entity, const QString& label, std::optional<int> code, int fallback);

// The kind the property's words name (code); without one, the kind of the
// table (labels) the item's label names by the rule a CSV type cell names
// one (a phone's "Work Fax", web-mail's "homePage", "Home Page", "BLOG", a
// cloud's "Home" on an e-mail or an address); else as setSubType() gives
// it, the label as one of the user's own. This program's own export names
// the kind of every labelled value, Other beside a label of the user's, so
// a label of the user's that reads like a kind stays theirs; a label beside
// the very kind it names stays beside that kind.
void setNamedSubType(pim::Entity& entity, const VCardValue& value, std::optional<int> code,
                     QMap<int, QString> (*labels)(), int fallback);
void setNamedSubType(pim::Entity& entity, const QString& label, std::optional<int> code,
                     QMap<int, QString> (*labels)(), int fallback);

// The contact's first entity of a type, appended empty when there is none:
// a property that a contact holds once (its name, a photo) writes into it.
pim::Entity& firstEntity(pim::_Contact& contact, int type);
// Appends an entity, one per occurrence of the property; an entity that
// holds nothing (pim::isBlankEntry: "TEL:", "IMPP:xmpp:") makes no entry.
void appendEntity(pim::_Contact& contact, int type, const pim::Entity& entity);

// Phones, e-mail, messaging, web sites (vcardcommrules.cpp).
void readTel(const VCardValue& value, pim::_Contact& contact);
// A phone of the kind its property names (a phone suite's X-ASSISTANT-TEL,
// the assistant's).
void readNamedTel(const VCardValue& value, pim::_Contact& contact);
void readEmail(const VCardValue& value, pim::_Contact& contact);
void readIm(const VCardValue& value, pim::_Contact& contact);
// IMPP ("xmpp:ann@example.org"): the protocol from X-SERVICE-TYPE, else
// from the scheme.
void readImpp(const VCardValue& value, pim::_Contact& contact);
// The address of a property named after its protocol (X-AIM, X-SKYPE...;
// X-SIP, X-GROUPWISE and X-WV-ID of a protocol of that name, which the
// table lacks), or of no protocol (the desktop address book's
// X-KADDRESSBOOK-X-IMAddress, the mail programs' X-MS-IMADDRESS and
// X-OUTLOOK-IM-ADDRESS).
void readNamedIm(const VCardValue& value, pim::_Contact& contact);
// The desktop address book's older messaging form, X-messaging/xmpp-All:
// the addresses of the protocol its name names, a protocol of the table or
// else one of that name.
void readMessaging(const VCardValue& value, pim::_Contact& contact);
// Whether a property name is of that form (upper case, as read).
bool isMessagingName(const QString& name);
void readUrl(const VCardValue& value, pim::_Contact& contact);
// A site of the kind its property names (X-EVOLUTION-BLOG-URL a blog,
// X-EVOLUTION-VIDEO-URL, a video call's link, Other).
void readNamedUrl(const VCardValue& value, pim::_Contact& contact);

// Nickname, dates, group, note, relations (vcardpersonrules.cpp).
// Every NICKNAME and every group of every CATEGORIES is passed on: the
// merge keeps one of each, and the import counts the rest.
void readNickname(const VCardValue& value, pim::_Contact& contact);
void readBirthday(const VCardValue& value, pim::_Contact& contact);
// A date of no kind its words name takes the kind its item's label names,
// noted where that is the birthday (keepOneBirthday()).
void readEvent(const VCardValue& value, pim::_Contact& contact, Notes& notes);
// A labelled date of a grouped item (X-ABDATE).
void readItemDate(const VCardValue& value, pim::_Contact& contact, Notes& notes);
// A contact has one birthday: once the card is read, a date that only its
// label made a birthday stays one where it is the day of the card's
// birthday (a BDAY's, else the first such date's); any other keeps the
// label as one of the user's own, and the kind Other.
void keepOneBirthday(pim::_Contact& contact, const Notes& notes);
void readCategories(const VCardValue& value, pim::_Contact& contact, Notes& notes);
void readNote(const VCardValue& value, pim::_Contact& contact);
void readRelation(const VCardValue& value, pim::_Contact& contact);
// A related person of a grouped item (X-ABRELATEDNAMES), its kind from the
// item's label.
void readItemRelation(const VCardValue& value, pim::_Contact& contact);
// RELATED (4.0), its kind from TYPE.
void readRelated(const VCardValue& value, pim::_Contact& contact);
// A property named after the relation (X-SPOUSE, X-MS-MANAGER, the desktop
// address book's X-KADDRESSBOOK-X-SpousesName, X-OUTLOOK-SPOUSE-NAME,
// MANNAME...).
void readNamedRelation(const VCardValue& value, pim::_Contact& contact);
// ANNIVERSARY and the properties named after it (X-KADDRESSBOOK-X-Anniversary
// too): an anniversary date.
void readAnniversary(const VCardValue& value, pim::_Contact& contact);
// A phone's own data row (X-ANDROID-CUSTOM: its kind, then its columns
// data1 to data15), as a phone's export writes a nickname, a date other
// than the birthday and a relation: the entity the row is. A row of a kind
// no entity is (another app's, "vnd.com.example.profile") is left out,
// named by that kind.
void readPhoneDataRow(const VCardValue& value, pim::_Contact& contact, Notes& notes);
// A date as stored: ISO text "yyyy-MM-ddThh:mm:ss" for the extended and
// basic ISO forms, the trimmed text as written for anything else, so no
// date a user entered is lost.
QString dateText(const QString& value);

// Organization, title, postal address, photo (vcardorgaddrrules.cpp).
// ORG and TITLE each fill a part of an organization, which the card reader
// pairs into organizations once the card is read (with the desktop address
// book's X-KADDRESSBOOK-X-Department); both give the organisation's kind
// where they name one.
void readOrg(const VCardValue& value, pim::Entity& org);
void readTitle(const VCardValue& value, pim::Entity& org);
// ADR: its post-office box, extended address and any part after the
// country follow the street on lines of their own.
void readAddress(const VCardValue& value, pim::_Contact& contact);
// A printed address (LABEL) of a card without an ADR: the address's text,
// each of its lines a line of the street, its kind that of its TYPE. Lines
// of blanks and punctuation alone are none of it, and a label of nothing
// else is no address.
void readPrintedAddress(const VCardValue& value, pim::_Contact& contact);
void readPhoto(const VCardValue& value, pim::_Contact& contact, Notes& notes);

// How the name is spoken, as phones keep it: the phonetic given and family
// name of the contact's name (vcardnamerules.cpp).
// X-PHONETIC-FIRST-NAME, X-PHONETIC-LAST-NAME.
void readPhoneticFirstName(const VCardValue& value, pim::_Contact& contact);
void readPhoneticLastName(const VCardValue& value, pim::_Contact& contact);
// A phone's 2.1 SOUND;X-IRMC-N: both readings, family name first as in N.
void readNameReading(const VCardValue& value, pim::_Contact& contact);
// Whether the name holds a reading.
bool holdsReading(const pim::Entity& name);

} // namespace vcardrules
