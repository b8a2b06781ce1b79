// SPDX-License-Identifier: GPL-3.0-or-later
// Contact sync records as the computer writes them. Keys are put in a fixed
// order per kind; the phone does not care, but it keeps what is sent
// comparable from run to run.
#include "ios/iossynctodevicethread.h"

#include "ios/iossyncrecords_p.h"

#include <QDateTime>

using namespace iossync;

namespace {

QString text(const pim::Entity& entity, const char* key)
{
    return pim::fieldText(entity.fields.value(QLatin1String(key)));
}

int code(const pim::Entity& entity, const char* key)
{
    return entity.fields.value(QLatin1String(key)).toInt();
}

void putText(PlistCFType& record, const char* key, const QString& value)
{
    if (!value.isEmpty())
        record.put(QLatin1String(key), PlistCFType::createCFString(value));
}

// "label" and "type". The phone keeps a label beside its kind ("mother"
// labelled "Mutti"), so both go back as read; a kind without a word of its
// own goes out as "other".
void putLabelAndType(PlistCFType& record, const pim::Entity& entity, int type)
{
    putText(record, "label", text(entity, "data3"));
    putText(record, "type", wordOf(typeWords(type), code(entity, "data2")));
}

// The date of a date entity, as the phone takes it, or the null value.
PlistCFType dateValue(const pim::Entity& entity)
{
    const QDateTime when = QDateTime::fromString(text(entity, "data1"), Qt::ISODate);
    return when.isValid() ? PlistCFType::createCFDate(when) : PlistCFType();
}

// Fills a fresh record with the kind's keys; false when the entity gives no
// record.
bool fillChild(PlistCFType& record, int type, const pim::Entity& entity, const QString& kind)
{
    const auto name = [&] { record.put(kEntityNameKey, PlistCFType::createCFString(kind)); };
    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_URL:
    case pim::ENTITY_REL: {
        const QString value = text(entity, "data1");
        if (value.isEmpty())
            return false;
        name();
        putText(record, "value", value);
        putLabelAndType(record, entity, type);
        return true;
    }
    case pim::ENTITY_IM: {
        const QString user = text(entity, "data1");
        if (user.isEmpty())
            return false;
        name();
        putText(record, "user", user);
        putLabelAndType(record, entity, type);
        putText(record, "service", wordOf(serviceWords(), code(entity, "data5"), QString()));
        return true;
    }
    case pim::ENTITY_ADDR:
        if (entity.formattedAddr().isEmpty())
            return false;
        name();
        for (const auto& [key, field] : {std::pair{"country", "data10"}, {"country code", "data11"}, {"state", "data8"},
                                         {"city", "data7"}, {"street", "data4"}, {"postal code", "data9"}})
            putText(record, key, text(entity, field));
        putLabelAndType(record, entity, type);
        return true;
    case pim::ENTITY_EVENT: {
        // A birthday travels in the contact record; only one with a label
        // of its own needs a date record as well.
        const bool labelled = !text(entity, "data3").isEmpty();
        if (!labelled && code(entity, "data2") == 3)
            return false;
        const PlistCFType date = dateValue(entity);
        if (!date.ref())
            return false;
        name();
        record.put(QStringLiteral("value"), date);
        putLabelAndType(record, entity, type);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

bool iossync::travelsAsChild(int type, const pim::Entity& entity)
{
    const ChildKind* kind = childKindOfType(type);
    PlistCFType scratch = PlistCFType::createCFDictionary();
    return kind && fillChild(scratch, type, entity, QLatin1String(kind->kind));
}

void IOSSyncToDeviceThread::addPlistDataFromContact(PlistCFType& records, const pim::_Contact& contact)
{
    PlistCFType record = PlistCFType::createCFDictionary();
    record.put(kEntityNameKey, PlistCFType::createCFString(kContactKind));
    record.put(QStringLiteral("display as company"), PlistCFType::createCFString(QStringLiteral("person")));
    const auto first = [&](int type) -> const pim::Entity* {
        const auto it = contact.entities.constFind(type);
        return it == contact.entities.constEnd() || it->isEmpty() ? nullptr : &it->first();
    };
    if (const pim::Entity* name = first(pim::ENTITY_NAME)) {
        for (const auto& [key, field] : {std::pair{"first name", "data2"}, {"first name yomi", "data7"},
                                         {"middle name", "data4"}, {"last name", "data3"}, {"last name yomi", "data8"},
                                         {"title", "data5"}, {"suffix", "data6"}})
            putText(record, key, text(*name, field));
    }
    if (const pim::Entity* org = first(pim::ENTITY_ORG)) {
        putText(record, "company name", text(*org, "data1"));
        putText(record, "department", text(*org, "data5"));
        putText(record, "job title", text(*org, "data4"));
    }
    if (const pim::Entity* nickname = first(pim::ENTITY_NICKNAME))
        putText(record, "nickname", text(*nickname, "data1"));
    // The last birthday that reads as a date wins.
    PlistCFType birthday;
    for (const pim::Entity& date : contact.entities.value(pim::ENTITY_EVENT)) {
        if (code(date, "data2") != 3)
            continue;
        const PlistCFType value = dateValue(date);
        if (value.ref())
            birthday = value;
    }
    if (birthday.ref())
        record.put(QStringLiteral("birthday"), birthday);
    if (const pim::Entity* photo = first(pim::ENTITY_PHOTO)) {
        const QByteArray bytes = photo->fields.value(QStringLiteral("data15")).toByteArray();
        if (!bytes.isEmpty())
            record.put(QStringLiteral("image"), PlistCFType::createCFData(bytes));
    }
    if (const pim::Entity* notes = first(pim::ENTITY_NOTES))
        putText(record, "notes", text(*notes, "data1"));

    records.put(contact.srcId.isEmpty() ? tempContactId(contact.id) : contact.srcId, record);
}

void IOSSyncToDeviceThread::addPlistDataFromEntity(PlistCFType& records, const QString& contactRecordId,
                                                   int entityType, long long negatedEntityId,
                                                   const pim::Entity& entity)
{
    const ChildKind* kind = childKindOfType(entityType);
    if (!kind)
        return;
    PlistCFType record = PlistCFType::createCFDictionary();
    if (!fillChild(record, entityType, entity, QLatin1String(kind->kind)) || record.dict_size() == 0)
        return;
    record.put(kParentKey, PlistCFType::createCFArray({PlistCFType::createCFString(contactRecordId)}));
    records.put(entity.srcId.isEmpty() ? tempChildId(kind->property, contactRecordId, negatedEntityId)
                                       : entity.srcId,
                record);
}
