// SPDX-License-Identifier: GPL-3.0-or-later
// How a phone keeps a contact's values: one data row per value, of a kind a
// MIME type names ("vnd.android.cursor.item/nickname"), its text in the
// columns "data1".."data15". An entity of this program is such a row: its
// fields are named after the row's columns and its sub-type codes are the
// row's, except that a phone's own "other" code of a kind is this program's
// 0 (Other) where the kind's label table has no code of its own for it.
//
// The companion app's records carry the columns listed here, in this order;
// a phone's own vCard export writes the rows of a few kinds whole.
#pragma once

#include <QLatin1String>
#include <QList>
#include <QStringView>

namespace pim {

enum class RowColumnKind {
    Text,
    // A sub-type or protocol code.
    Code,
    Bytes,
    // A calendar date, "yyyy-MM-dd" on a phone.
    Date,
};

struct RowColumn {
    RowColumnKind kind;
    QLatin1String key;
    // The code table of a Code column: 0 for the entity type's own
    // sub-types, kImProtocolCodes for the messaging protocols.
    int codeTable = 0;
};

inline constexpr int kImProtocolCodes = 99;

// The columns of an entity type's rows that this program keeps, in the
// order of a companion record; empty for an unknown type.
const QList<RowColumn>& rowColumnsOf(int type);

// Whether the type's rows hold a label of the user's ("data3") beside the
// sub-type code, which names the sub-type in place of the code when given.
bool rowHasLabel(int type);

// The entity type of the rows of a kind, by its MIME type: only the kinds
// a phone's own vCard export writes as rows, as no vCard property holds
// them (a nickname, a date other than the birthday, a relation); 0 for
// any other.
int entityTypeOfRowKind(QStringView mimeType);

// What every MIME type of a phone's contact rows starts with.
inline constexpr QLatin1StringView kRowKindPrefix("vnd.android.cursor.item/");

} // namespace pim
