// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncwriteback_p.h"

#include "ios/iossyncrecords_p.h"
#include "ios/iossynctodevicethread.h"
#include "model/localdb.h"
#include "platform/error.h"

#include <QCoreApplication>

namespace iossync {

namespace {

// The phone's id for every temporary id of `sent`, checked before any is
// written.
QHash<QString, QString> confirmed(const PlistCFType& remap, const SentIds& sent, bool contacts)
{
    QHash<QString, QString> ids;
    for (auto it = sent.constBegin(); it != sent.constEnd(); ++it) {
        const QString phoneId = remap.get(it.key()).CFStringQString();
        if (phoneId.isEmpty()) {
            const char* text = contacts
                ? "The iPhone did not confirm the new contact \"%1\" (sent as %2), so it may be missing on the "
                  "phone. Connect the iPhone again and repeat the transfer."
                : "The iPhone did not confirm a new entry of the contact \"%1\" (sent as %2), so it may be "
                  "missing on the phone. Connect the iPhone again and repeat the transfer.";
            throw Error(QCoreApplication::translate("IOSSync", text).arg(it->contactName, it.key()));
        }
        ids.insert(it.key(), phoneId);
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
        sent.insert(tempId, {entity.id, contactName});
}

void writeBackContacts(LocalDb& db, const PlistCFType& remap, const SentIds& sent,
                       const std::function<void(unsigned long long, const QString&)>& assigned)
{
    const QHash<QString, QString> ids = confirmed(remap, sent, true);
    for (auto it = sent.constBegin(); it != sent.constEnd(); ++it) {
        qCDebug(lcIosSync).noquote() << "contact" << it.key() << "=>" << ids.value(it.key());
        db.updateContactBaseSrcId(it->id, ids.value(it.key()));
        assigned(it->id, ids.value(it.key()));
    }
}

void writeBackEntities(LocalDb& db, const PlistCFType& remap, const SentIds& sent)
{
    const QHash<QString, QString> ids = confirmed(remap, sent, false);
    for (auto it = sent.constBegin(); it != sent.constEnd(); ++it) {
        qCDebug(lcIosSync).noquote() << "entry" << it.key() << "=>" << ids.value(it.key());
        db.updateEntitySrcId(it->id, ids.value(it.key()));
    }
}

} // namespace iossync
