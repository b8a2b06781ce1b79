// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncwriteback_p.h"

#include "ios/iossyncrecords_p.h"
#include "ios/iossynctodevicethread.h"
#include "model/localdb.h"

#include <QCoreApplication>

namespace iossync {

namespace {

// Writes back every id the phone gave, then names the first record it gave
// none for. The user knows a record by its contact's name; the temporary
// id is the program's own and stays in the log.
void writeBack(const PlistCFType& remap, const SentIds& sent, bool contacts,
               const std::function<void(const SentRow&, const QString&)>& write)
{
    const SentRow* missing = nullptr;
    for (const SentRow& row : sent) {
        const QString phoneId = remap.get(row.tempId).CFStringQString();
        if (phoneId.isEmpty()) {
            qCWarning(lcIosSync).noquote() << (contacts ? "contact" : "entry") << row.tempId
                                           << "was not confirmed by the iPhone";
            if (!missing)
                missing = &row;
            continue;
        }
        qCDebug(lcIosSync).noquote() << (contacts ? "contact" : "entry") << row.tempId << "=>" << phoneId;
        write(row, phoneId);
    }
    if (!missing)
        return;
    const char* unanswered = contacts
        ? "The iPhone answered without confirming the new contact \"%1\"."
        : "The iPhone answered without confirming a new entry of the contact \"%1\".";
    throw UnconfirmedRecord(QCoreApplication::translate("IOSSync", unanswered).arg(missing->contactName));
}

} // namespace

bool addChild(PlistCFType& records, SentIds& sent, const QString& contactRecordId, int type,
              const pim::Entity& entity, const QString& contactName)
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
        sent.append({recordId, entity.id, contactName});
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
