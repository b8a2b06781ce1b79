// SPDX-License-Identifier: GPL-3.0-or-later
// The contact sync records of data class "com.apple.Contacts" as both
// directions share them: kind names, property numbers and the words that
// stand for sub-type codes.
#pragma once

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcIosSync)

namespace pim {
class Entity;
}

namespace iossync {

inline const QString kEntityNameKey = QStringLiteral("com.apple.syncservices.RecordEntityName");
inline const QString kContactKind = QStringLiteral("com.apple.contacts.Contact");
inline const QString kParentKey = QStringLiteral("contact");
// The value that asks the phone to delete the record under its key.
inline const QString kDeleteRecord = QStringLiteral("___EmptyParameterString___");

// One word of a record's "type" (or an IM's "service") and the code it
// stands for in the entity.
struct Word {
    int code;
    const char* word;
};

// A child kind: its entity type, record kind and address-book property
// number (the first part of a temporary record id), or nullptr for entity
// types that never travel as a child record.
struct ChildKind {
    int type;
    const char* kind;
    int property;
};
const ChildKind* childKindOfType(int type);
const ChildKind* childKindOfName(const QString& kind);

// The "type" words of a child kind, for types 3, 4, 6, 8, 11, 12, 13.
struct Words {
    const Word* words;
    int count;
};
Words typeWords(int type);
Words serviceWords();

// The word of a code, or "other" when the code has none.
QString wordOf(const Words& words, int code, const QString& fallback = QStringLiteral("other"));
// The code of a word (compared exactly, case included), or -1.
int codeOf(const Words& words, const QString& word);

// Whether the contact record carries the entity (names, photo, notes,
// organisation, nickname, birthday): a change of it sends the contact record.
bool carriedByContactRecord(int type, const pim::Entity& entity);
// Whether the entity travels as a child record of its own: a kind that has
// one, with a value the record can hold (a birthday only with its own label).
bool travelsAsChild(int type, const pim::Entity& entity);

// Temporary record ids of records the phone does not know yet.
QString tempContactId(unsigned long long localId);
QString tempChildId(int property, const QString& contactRecordId, long long negatedEntityId);

} // namespace iossync
