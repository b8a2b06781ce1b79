// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncrecords_p.h"

#include "model/contact.h"

#include <iterator>

Q_LOGGING_CATEGORY(lcIosSync, "app.ios", QtInfoMsg)

namespace iossync {

namespace {

const ChildKind kKinds[] = {
    {pim::ENTITY_PHONE, "com.apple.contacts.Phone Number", 3},
    {pim::ENTITY_EMAIL, "com.apple.contacts.Email Address", 4},
    {pim::ENTITY_ADDR, "com.apple.contacts.Street Address", 5},
    {pim::ENTITY_EVENT, "com.apple.contacts.Date", 12},
    {pim::ENTITY_IM, "com.apple.contacts.IM", 13},
    {pim::ENTITY_URL, "com.apple.contacts.URL", 22},
    {pim::ENTITY_REL, "com.apple.contacts.Related Name", 23},
};

// "home" and "work" mean different codes in different kinds, so every
// kind keeps its own table.
const Word kPhone[] = {{1, "home"}, {2, "mobile"}, {3, "work"}, {4, "work fax"},
                       {5, "home fax"}, {6, "pager"}, {12, "main"}, {0, "other"}};
const Word kEmail[] = {{1, "home"}, {2, "work"}, {0, "other"}};
const Word kUrl[] = {{1, "home page"}, {4, "home"}, {5, "work"}, {0, "other"}};
const Word kHomeWork[] = {{1, "home"}, {2, "work"}, {0, "other"}};
const Word kDate[] = {{1, "anniversary"}, {0, "other"}};
const Word kRelation[] = {{1, "assistant"}, {2, "brother"}, {3, "child"}, {5, "father"},
                          {6, "friend"}, {7, "manager"}, {8, "mother"}, {9, "parent"},
                          {10, "partner"}, {13, "sister"}, {14, "spouse"}, {0, "other"}};
const Word kService[] = {{1, "aim"}, {2, "msn"}, {3, "yahoo"}, {4, "skype"}, {5, "qq"},
                         {6, "googletalk"}, {7, "icq"}, {8, "jabber"}, {10, "gadugadu"},
                         {11, "facebook"}};

template <std::size_t N>
Words words(const Word (&table)[N])
{
    return {table, int(N)};
}

} // namespace

bool carriedByContactRecord(int type, const pim::Entity& entity)
{
    switch (type) {
    case pim::ENTITY_NAME:
    case pim::ENTITY_PHOTO:
    case pim::ENTITY_NOTES:
    case pim::ENTITY_ORG:
    case pim::ENTITY_NICKNAME:
        return true;
    case pim::ENTITY_EVENT:
        return entity.fields.value(QStringLiteral("data2")).toInt() == 3;
    default:
        return false;
    }
}

const ChildKind* childKindOfType(int type)
{
    for (const ChildKind& kind : kKinds)
        if (kind.type == type)
            return &kind;
    return nullptr;
}

const ChildKind* childKindOfName(const QString& name)
{
    for (const ChildKind& kind : kKinds)
        if (name == QLatin1String(kind.kind))
            return &kind;
    return nullptr;
}

Words typeWords(int type)
{
    switch (type) {
    case pim::ENTITY_PHONE:
        return words(kPhone);
    case pim::ENTITY_EMAIL:
        return words(kEmail);
    case pim::ENTITY_URL:
        return words(kUrl);
    case pim::ENTITY_EVENT:
        return words(kDate);
    case pim::ENTITY_REL:
        return words(kRelation);
    case pim::ENTITY_IM:
    case pim::ENTITY_ADDR:
        return words(kHomeWork);
    default:
        return {nullptr, 0};
    }
}

Words serviceWords()
{
    return words(kService);
}

QString wordOf(const Words& table, int code, const QString& fallback)
{
    for (int i = 0; i < table.count; ++i)
        if (table.words[i].code == code)
            return QLatin1String(table.words[i].word);
    return fallback;
}

int codeOf(const Words& table, const QString& word)
{
    for (int i = 0; i < table.count; ++i)
        if (word == QLatin1String(table.words[i].word))
            return table.words[i].code;
    return -1;
}

QString tempContactId(unsigned long long localId)
{
    return QLatin1Char('-') + QString::number(localId);
}

QString tempChildId(int property, const QString& contactRecordId, long long negatedEntityId)
{
    return QStringLiteral("%1/%2/%3").arg(property).arg(contactRecordId).arg(negatedEntityId);
}

} // namespace iossync
