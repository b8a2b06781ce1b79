// SPDX-License-Identifier: GPL-3.0-or-later
// The phone's answer to records sent under temporary ids: each such id is
// mapped to the phone's own record id, which becomes the source id of the
// contact or data row the record came from.
#pragma once

#include "ios/plistcftype.h"
#include "model/contact.h"

#include <QList>
#include <QString>

#include <functional>

class LocalDb;

namespace iossync {

// What one message sent under temporary ids, in send order: temporary id,
// local row id, and the contact's name to tell the user which went wrong.
struct SentRow {
    QString tempId;
    unsigned long long id;
    QString contactName;
};
using SentIds = QList<SentRow>;

// Adds the child record of an entity to `records` under the contact's phone
// id and notes its temporary id in `sent` when it has one.
void addChild(PlistCFType& records, SentIds& sent, const QString& contactRecordId, int type,
              const pim::Entity& entity, const QString& contactName);

// Writes the phone's ids of the contacts in `sent` back (and tells
// `assigned` each). The remap keys are looked up exactly: the phone's ids
// are opaque texts. Throws Error, before writing anything, when the phone
// confirmed no id for one of them: the record may not exist on the phone,
// and claiming success would lose it.
void writeBackContacts(LocalDb& db, const PlistCFType& remap, const SentIds& sent,
                       const std::function<void(unsigned long long, const QString&)>& assigned);
// The same for data rows.
void writeBackEntities(LocalDb& db, const PlistCFType& remap, const SentIds& sent);

} // namespace iossync
