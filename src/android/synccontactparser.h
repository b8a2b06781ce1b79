// SPDX-License-Identifier: GPL-3.0-or-later
// Reads entity sync records and the phone's answer to a batch (see
// synccontactbuilder.h for the formats). Ill-formed input degrades field by
// field and never fails: a word not in the table reads as 0, an unreadable
// date as empty text, a short record leaves the missing keys alone.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace pim {
class Entity;
}

class SyncContactParser {
public:
    SyncContactParser() = delete;

    // Fills the entity's data keys from a record split at every comma (empty
    // parts kept): element 0 is the id, the fields follow. `type` is the id's
    // first field. Name and address records also set "data1" to the derived
    // display text; a non-empty label sets the word's code to 0 (likewise a
    // custom IM protocol name sets the protocol to 0). The entity's id and
    // source id are left alone; an unknown type changes nothing.
    static void fillEntityInfo(const QStringList& fields, int type, pim::Entity& entity);
    // One text field: base64 decoded, read as UTF-8 up to the first NUL.
    static QString fromStrBase64(const QString& text);

    // One "old id=>new id" pair of the phone's "$batch:" answer.
    struct IdPair {
        quint64 contactKey = 0; // old id's second field, without sign
        quint64 recordKey = 0; // old id's fourth field, without sign
        bool temporary = false; // the old id was a temporary one (negative record key)
        QString newId; // the phone's id for the record
        QString oldId; // the id the record was sent under, as the phone echoed it
    };
    // Every pair of the answer, left to right; anything between pairs is
    // ignored. Pairs whose old id was not temporary name records the phone
    // already knew and must not be taken for local ids.
    static QList<IdPair> batchReplyPairs(const QString& reply);
};
