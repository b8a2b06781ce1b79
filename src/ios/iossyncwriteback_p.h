// SPDX-License-Identifier: GPL-3.0-or-later
// The phone's answer to records sent under temporary ids: each such id is
// mapped to the phone's own record id, which becomes the source id of the
// contact or data row the record came from.
#pragma once

#include "ios/plistcftype.h"
#include "model/contact.h"
#include "platform/error.h"

#include <QList>
#include <QString>

#include <functional>

class LocalDb;

namespace iossync {

// What one message sent under temporary ids, in send order: temporary id
// and local row id.
struct SentRow {
    QString tempId;
    unsigned long long id;
};
using SentIds = QList<SentRow>;

// Told the local row id and the phone's id of each record the phone confirmed.
using Assigned = std::function<void(unsigned long long, const QString&)>;

// The phone answered a message without an id for a record it was sent under
// a temporary one: the record may or may not exist on the phone. The road
// tells which of its contacts that leaves unconfirmed; what() only says that
// the phone left something so.
class UnconfirmedRecord : public Error {
public:
    using Error::Error;
};

// Adds the child record of an entity to `records` under the contact's phone
// id and notes its temporary id in `sent` when it has one. True when a
// record was added (an entity without a record form, or a contact without
// a phone id, adds none).
bool addChild(PlistCFType& records, SentIds& sent, const QString& contactRecordId, int type,
              const pim::Entity& entity);

// Writes the phone's ids of the contacts in `sent` back and tells
// `assigned` each. The remap keys are looked up exactly: the phone's ids
// are opaque texts. Throws UnconfirmedRecord, after writing every id the
// phone gave, when it confirmed no id for one of them: claiming that one
// would lose it.
void writeBackContacts(LocalDb& db, const PlistCFType& remap, const SentIds& sent, const Assigned& assigned);
// The same for data rows; `assigned` may be empty.
void writeBackEntities(LocalDb& db, const PlistCFType& remap, const SentIds& sent, const Assigned& assigned = {});

} // namespace iossync
