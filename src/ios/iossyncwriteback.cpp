// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncwriteback_p.h"

#include "ios/iossyncrecords_p.h"
#include "ios/iossynctodevicethread.h"
#include "model/localdb.h"

#include <QCoreApplication>

namespace iossync {

namespace {

// Writes back every id the phone gave, then throws when it gave none for
// some record. The temporary ids are the program's own and stay in the log.
void writeBack(const PlistCFType& remap, const SentIds& sent, bool contacts,
               const std::function<void(const SentRow&, const QString&)>& write)
{
    bool missing = false;
    for (const SentRow& row : sent) {
        const QString phoneId = remap.get(row.tempId).CFStringQString();
        if (phoneId.isEmpty()) {
            qCWarning(lcIosSync).noquote() << (contacts ? "contact" : "entry") << row.tempId
                                           << "was not confirmed by the iPhone";
            missing = true;
            continue;
        }
        qCDebug(lcIosSync).noquote() << (contacts ? "contact" : "entry") << row.tempId << "=>" << phoneId;
        write(row, phoneId);
    }
    if (missing)
        throw UnconfirmedRecord(
            QCoreApplication::translate("IOSSync", "The iPhone answered without confirming all it was sent."));
}

} // namespace

bool addChild(PlistCFType& records, SentIds& sent, const QString& contactRecordId, int type,
              const pim::Entity& entity)
{
    const ChildKind* kind = childKindOfType(type);
    if (!kind || contactRecordId.isEmpty())
        return false;
    const long long negatedId = -static_cast<long long>(entity.id);
    const QString recordId = entity.srcId.isEmpty() ? tempChildId(kind->property, contactRecordId, negatedId)
                                                    : entity.srcId;
    IOSSyncToDeviceThread::addPlistDataFromEntity(records, contactRecordId, type, negatedId, entity);
    if (!records.get(recordId).ref())
        return false;
    if (entity.srcId.isEmpty())
        sent.append({recordId, entity.id});
    return true;
}

void writeBackContacts(LocalDb& db, const PlistCFType& remap, const SentIds& sent, const Assigned& assigned)
{
    writeBack(remap, sent, true, [&](const SentRow& row, const QString& phoneId) {
        db.updateContactBaseSrcId(row.id, phoneId);
        assigned(row.id, phoneId);
    });
}

void writeBackEntities(LocalDb& db, const PlistCFType& remap, const SentIds& sent, const Assigned& assigned)
{
    writeBack(remap, sent, false, [&](const SentRow& row, const QString& phoneId) {
        db.updateEntitySrcId(row.id, phoneId);
        if (assigned)
            assigned(row.id, phoneId);
    });
}

} // namespace iossync
