// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncwriteback_p.h"

#include "ios/iossyncrecords_p.h"
#include "ios/iossynctodevicethread.h"
#include "model/localdb.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QHash>

namespace iossync {

namespace {

// The phone's id for every temporary id of `sent`, checked before any is
// written.
QHash<QString, QString> confirmed(const PlistCFType& remap, const SentIds& sent, bool contacts)
{
    QHash<QString, QString> ids;
    for (const SentRow& row : sent) {
        const QString phoneId = remap.get(row.tempId).CFStringQString();
        if (phoneId.isEmpty()) {
            const char* text = contacts
                ? "The iPhone did not confirm the new contact \"%1\" (sent as %2), so it may be missing on the "
                  "phone. Connect the iPhone again and repeat the transfer."
                : "The iPhone did not confirm a new entry of the contact \"%1\" (sent as %2), so it may be "
                  "missing on the phone. Connect the iPhone again and repeat the transfer.";
            throw Error(QCoreApplication::translate("IOSSync", text).arg(row.contactName, row.tempId));
        }
        ids.insert(row.tempId, phoneId);
    }
    return ids;
}

} // namespace

void addChild(PlistCFType& records, SentIds& sent, const QString& contactRecordId, int type,
              const pim::Entity& entity, const QString& contactName)
{
    const ChildKind* kind = childKindOfType(type);
    if (!kind || contactRecordId.isEmpty())
        return;
    const long long negatedId = -static_cast<long long>(entity.id);
    IOSSyncToDeviceThread::addPlistDataFromEntity(records, contactRecordId, type, negatedId, entity);
    if (!entity.srcId.isEmpty())
        return;
    const QString tempId = tempChildId(kind->property, contactRecordId, negatedId);
    if (records.get(tempId).ref())
        sent.append({tempId, entity.id, contactName});
}

void writeBackContacts(LocalDb& db, const PlistCFType& remap, const SentIds& sent,
                       const std::function<void(unsigned long long, const QString&)>& assigned)
{
    const QHash<QString, QString> ids = confirmed(remap, sent, true);
    for (const SentRow& row : sent) {
        qCDebug(lcIosSync).noquote() << "contact" << row.tempId << "=>" << ids.value(row.tempId);
        db.updateContactBaseSrcId(row.id, ids.value(row.tempId));
        assigned(row.id, ids.value(row.tempId));
    }
}

void writeBackEntities(LocalDb& db, const PlistCFType& remap, const SentIds& sent)
{
    const QHash<QString, QString> ids = confirmed(remap, sent, false);
    for (const SentRow& row : sent) {
        qCDebug(lcIosSync).noquote() << "entry" << row.tempId << "=>" << ids.value(row.tempId);
        db.updateEntitySrcId(row.id, ids.value(row.tempId));
    }
}

} // namespace iossync
