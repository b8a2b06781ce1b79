// SPDX-License-Identifier: GPL-3.0-or-later
// Writes entity sync records and Android sync ids, the record format spoken
// with the companion app.
//
// An Android sync id is four signed decimal integers joined by "/": entity
// type, contact key, second contact key, record key. A record the phone does
// not know yet travels under a temporary id whose record key is minus the
// local entity id. A record is the id, then for each field of the entity's
// type a comma and the field; text fields are base64 of UTF-8, so no field
// ever holds a comma or a line feed.
//
// None of these functions fails. The word tables are built on first use
// under the language's guarantee for function-local statics, so any thread
// may call them.
#pragma once

#include <QMap>
#include <QString>
#include <QtGlobal>

namespace pim {
class Entity;
}

class SyncContactBuilder {
public:
    SyncContactBuilder() = delete;

    // Sub-type words keyed by type * 100 + code; the IM protocol words sit
    // under the pseudo type 99.
    static QMap<int, QString> entSubTypeStrMap();
    // The word of a code, or empty text when the code has none.
    static QString entSubTypeStr(int type, int code);
    // The inverse table, keyed by type + "/" + word.
    static QMap<QString, int> entSubTypeMap();
    // The code of a word (exact, case-sensitive), or 0 when it is unknown.
    static int entSubType(int type, const QString& word);

    // Parses an Android sync id; false (and nothing written) when the text
    // is not exactly four signed decimal numbers joined by "/". A field too
    // large for its integer is written as 0. Null out-pointers are skipped.
    static bool fetchIdInfo(
        const QString& id, int* type, qint64* contactKey, qint64* secondKey, qint64* recordKey);
    // The entity's source id when it has one, else the temporary id.
    static QString makeAndroidSyncId(
        int type, qint64 contactKey, qint64 secondKey, const pim::Entity& entity);
    // The whole record, without the "$ent:" prefix.
    static QString entitySyncCmd(int type, qint64 contactKey, qint64 secondKey, const pim::Entity& entity);
    // One text field: base64 of the UTF-8 value, empty for a missing value.
    static QString entStringPro(const pim::Entity& entity, const QString& key);
};
