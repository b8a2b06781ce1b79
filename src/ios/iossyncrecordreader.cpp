// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncrecordreader.h"

#include "ios/iossyncrecords_p.h"
#include "model/localdb.h"

using namespace iossync;

namespace {

QString textOf(const PlistCFType& record, const char* key)
{
    return record.get(QLatin1String(key)).CFStringQString();
}

bool has(const PlistCFType& record, const char* key)
{
    return record.get(QLatin1String(key)).ref() != nullptr;
}

// "type" (or "service") into `field` when the word is one of the table's;
// any other word leaves the field unset.
void readWord(const PlistCFType& record, const char* key, const Words& words, pim::Entity& entity,
              const char* field)
{
    const int code = codeOf(words, textOf(record, key));
    if (code >= 0)
        entity.fields.insert(QLatin1String(field), code);
}

void readTexts(const PlistCFType& record, pim::Entity& entity,
               std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    for (const auto& [key, field] : pairs)
        entity.fields.insert(QLatin1String(field), textOf(record, key));
}

bool isAbsentOr(const PlistCFType& value, bool (PlistCFType::*is)() const)
{
    return !value.ref() || (value.*is)();
}

// Every key the reader takes is of the type it expects: texts are texts, dates
// dates, the photo data, and the contact list a list of texts.
bool hasReadableShape(const PlistCFType& record, int childType)
{
    static const char* const kTexts[] = {"first name", "first name yomi", "middle name", "last name",
                                         "last name yomi", "title", "suffix", "nickname", "company name",
                                         "department", "job title", "notes", "postal code", "city", "state",
                                         "country", "country code", "street", "label", "user", "service", "type"};
    for (const char* key : kTexts)
        if (!isAbsentOr(record.get(QLatin1String(key)), &PlistCFType::isCFString))
            return false;
    if (!isAbsentOr(record.get(QStringLiteral("birthday")), &PlistCFType::isCFDate)
        || !isAbsentOr(record.get(QStringLiteral("image")), &PlistCFType::isCFData))
        return false;
    if (childType < 0)
        return true;
    if (!isAbsentOr(record.get(QStringLiteral("value")),
                    childType == pim::ENTITY_EVENT ? &PlistCFType::isCFDate : &PlistCFType::isCFString))
        return false;
    const PlistCFType parents = record.get(kParentKey);
    if (!parents.isCFArray())
        return false;
    for (quint32 i = 0; i < parents.array_size(); ++i)
        if (!parents.at(int(i)).isCFString())
            return false;
    return true;
}

} // namespace

IOSSyncRecordReader::IOSSyncRecordReader(LocalDb& db) : m_db(db) {}

void IOSSyncRecordReader::readBatch(const PlistCFType& batch)
{
    for (const PlistCFType& key : batch.dict_keys())
        readRecord(key.CFStringQString(), batch.get(key));
}

void IOSSyncRecordReader::readRecord(const QString& recordId, const PlistCFType& record)
{
    const PlistCFType kindValue = record.isCFDictionary() ? record.get(kEntityNameKey) : PlistCFType();
    const QString kind = kindValue.CFStringQString();
    const ChildKind* child = childKindOfName(kind);
    if (!kindValue.isCFString() || ((kind == kContactKind || child) && !hasReadableShape(record, child ? child->type : -1))) {
        ++m_unreadable;
        if (m_unreadableIds.size() < kNamedUnreadable)
            m_unreadableIds << recordId;
        qCWarning(lcIosSync) << "record" << recordId << "of the iPhone cannot be read; left out";
        return;
    }
    if (kind == kContactKind)
        readContact(recordId, record);
    else if (child)
        readChild(child->type, recordId, record);
    else
        qCInfo(lcIosSync) << "record" << recordId << "of kind" << kind << "is not a contact's; left out";
}

void IOSSyncRecordReader::readContact(const QString& recordId, const PlistCFType& record)
{
    pim::Entity name(0, recordId);
    readTexts(record, name, {{"first name", "data2"}, {"first name yomi", "data7"}, {"middle name", "data4"},
                             {"last name", "data3"}, {"last name yomi", "data8"}, {"title", "data5"},
                             {"suffix", "data6"}});
    name.fields.insert(QStringLiteral("data1"), name.fullName());

    pim::_Contact contact(0, recordId, name.fullName());
    m_db.insertContactBase(contact);
    m_contactIds.insert(recordId, contact.id);
    m_rowLimit.addContact(contact.id, contact.fullName);
    store(contact.id, pim::ENTITY_NAME, name);

    if (has(record, "nickname")) {
        pim::Entity nickname(0, recordId);
        readTexts(record, nickname, {{"nickname", "data1"}});
        // The record carries no kind of nickname: it is the default one.
        nickname.fields.insert(QStringLiteral("data2"), 1);
        store(contact.id, pim::ENTITY_NICKNAME, nickname);
    }
    if (has(record, "company name") || has(record, "department") || has(record, "job title")) {
        pim::Entity org(0, recordId);
        org.fields.insert(QStringLiteral("data2"), 1);
        readTexts(record, org, {{"company name", "data1"}, {"department", "data5"}, {"job title", "data4"}});
        store(contact.id, pim::ENTITY_ORG, org);
    }
    if (has(record, "birthday")) {
        pim::Entity birthday(0, recordId);
        birthday.fields.insert(QStringLiteral("data2"), 3);
        const QDateTime when = record.get(QStringLiteral("birthday")).CFDateToDateTime(nullptr);
        birthday.fields.insert(QStringLiteral("data1"), when.isValid() ? when.toString(Qt::ISODate) : QString());
        store(contact.id, pim::ENTITY_EVENT, birthday);
    }
    if (has(record, "image")) {
        pim::Entity photo(0, recordId);
        photo.fields.insert(QStringLiteral("data15"), record.get(QStringLiteral("image")).CFDataBytes());
        store(contact.id, pim::ENTITY_PHOTO, photo);
    }
    if (has(record, "notes")) {
        pim::Entity notes(0, recordId);
        readTexts(record, notes, {{"notes", "data1"}});
        store(contact.id, pim::ENTITY_NOTES, notes);
    }
}

void IOSSyncRecordReader::readChild(int type, const QString& recordId, const PlistCFType& record)
{
    pim::Entity entity(0, recordId);
    switch (type) {
    case pim::ENTITY_ADDR:
        readTexts(record, entity, {{"postal code", "data9"}, {"city", "data7"}, {"state", "data8"},
                                   {"country", "data10"}, {"country code", "data11"}, {"street", "data4"},
                                   {"label", "data3"}});
        entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
        break;
    case pim::ENTITY_IM:
        readTexts(record, entity, {{"user", "data1"}, {"label", "data3"}});
        readWord(record, "service", serviceWords(), entity, "data5");
        break;
    case pim::ENTITY_EVENT: {
        const QDateTime when = record.get(QStringLiteral("value")).CFDateToDateTime(nullptr);
        entity.fields.insert(QStringLiteral("data1"), when.isValid() ? when.toString(Qt::ISODate) : QString());
        readTexts(record, entity, {{"label", "data3"}});
        break;
    }
    default:
        readTexts(record, entity, {{"value", "data1"}, {"label", "data3"}});
        break;
    }
    readWord(record, "type", typeWords(type), entity, "data2");

    const PlistCFType parents = record.get(kParentKey);
    if (!parents.isCFArray())
        return;
    for (quint32 i = 0; i < parents.array_size(); ++i) {
        const QString parentId = parents.at(int(i)).CFStringQString();
        const auto found = m_contactIds.constFind(parentId);
        if (found != m_contactIds.constEnd())
            store(found.value(), type, entity);
        else
            m_waiting.append({parentId, recordId, type, entity});
    }
}

void IOSSyncRecordReader::store(unsigned long long contactId, int type, pim::Entity entity)
{
    if (m_rowLimit.take(contactId, type, entity))
        m_db.insertEntity(contactId, type, entity);
}

void IOSSyncRecordReader::finish()
{
    for (const Waiting& waiting : std::as_const(m_waiting)) {
        const auto found = m_contactIds.constFind(waiting.parentId);
        if (found != m_contactIds.constEnd())
            store(found.value(), waiting.type, waiting.entity);
        else if (++m_dropped <= kNamedUnreadable)
            m_droppedIds << waiting.recordId;
    }
    m_waiting.clear();
    if (m_dropped > 0)
        qCInfo(lcIosSync) << m_dropped << "child records named a contact the iPhone never sent; left out";
    if (m_rowLimit.leftOut() > 0)
        qCWarning(lcIosSync) << m_rowLimit.leftOut() << "records of contacts already full; left out";
}
