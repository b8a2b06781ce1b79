// SPDX-License-Identifier: GPL-3.0-or-later
// The layout of an entity sync record, shared by its writer and its reader so
// that the two can never disagree on the order of the fields.
#pragma once

#include <QLatin1String>
#include <QList>

namespace synccontact_p {

enum class FieldKind { Text, Word, Bytes, Date };

struct Field {
    FieldKind kind;
    QLatin1String key;
    // The word table a Word field is looked up in; 0 means the record's type.
    int wordType = 0;
};

// The pseudo type under which the IM protocol words are kept.
inline constexpr int kImProtocolWordType = 99;

// The fields after the id, in record order; empty for an unknown type.
const QList<Field>& fieldsOf(int type);

// Types whose second field is the label "data3" that overrides the word.
bool hasLabel(int type);

} // namespace synccontact_p
