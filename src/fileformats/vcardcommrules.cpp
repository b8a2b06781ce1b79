// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardrules.h"

#include <QHash>

namespace vcardrules {

namespace {

// TYPE texts are matched whole and case-sensitively: these are the texts
// this program's own writer puts out.
int phoneType(const QString& typeText)
{
    static const QHash<QString, int> table {
        { QStringLiteral("home,voice"), 1 }, { QStringLiteral("cell"), 2 },
        { QStringLiteral("work,voice"), 3 }, { QStringLiteral("work,fax"), 4 },
        { QStringLiteral("home,fax"), 5 },   { QStringLiteral("pager"), 6 },
        { QStringLiteral("car"), 9 },        { QStringLiteral("isdn"), 11 },
        { QStringLiteral("fax"), 13 },
    };
    return table.value(typeText, 2);
}

int imProtocol(const QString& typeText)
{
    static const QHash<QString, int> table {
        { QStringLiteral("aim"), 1 },         { QStringLiteral("msn"), 2 },
        { QStringLiteral("yahoo"), 3 },       { QStringLiteral("skype"), 4 },
        { QStringLiteral("qq"), 5 },          { QStringLiteral("googletalk"), 6 },
        { QStringLiteral("icq"), 7 },         { QStringLiteral("jabber"), 8 },
        { QStringLiteral("netmetting"), 9 },  { QStringLiteral("gadugadu"), 10 },
        { QStringLiteral("facebook"), 11 },
    };
    return table.value(typeText, 0);
}

int urlType(const QString& typeText)
{
    static const QHash<QString, int> table {
        { QStringLiteral("homepage"), 1 }, { QStringLiteral("blog"), 2 },
        { QStringLiteral("profile"), 3 },  { QStringLiteral("home"), 4 },
        { QStringLiteral("work"), 5 },     { QStringLiteral("ftp"), 6 },
    };
    return table.value(typeText, 0);
}

} // namespace

pim::Entity& firstEntity(pim::_Contact& contact, int type)
{
    QList<pim::Entity>& list = contact.entities[type];
    if (list.isEmpty())
        list.append(pim::Entity());
    return list.first();
}

void appendEntity(pim::_Contact& contact, int type, const pim::Entity& entity)
{
    contact.entities[type].append(entity);
}

void readTel(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    entity.fields.insert(QStringLiteral("data2"), phoneType(value.typeText()));
    appendEntity(contact, pim::ENTITY_PHONE, entity);
}

void readEmail(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    entity.fields.insert(QStringLiteral("data2"), 1);
    appendEntity(contact, pim::ENTITY_EMAIL, entity);
}

void readIm(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data2"), 1);
    entity.fields.insert(QStringLiteral("data1"), value.text());
    const int protocol = imProtocol(value.typeText());
    if (protocol != 0)
        entity.fields.insert(QStringLiteral("data5"), protocol);
    appendEntity(contact, pim::ENTITY_IM, entity);
}

void readUrl(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    entity.fields.insert(QStringLiteral("data2"), urlType(value.typeText()));
    appendEntity(contact, pim::ENTITY_URL, entity);
}

} // namespace vcardrules
