// SPDX-License-Identifier: GPL-3.0-or-later
#include "vcardrules.h"

#include <QDateTime>
#include <QHash>

namespace vcardrules {

namespace {

int relationType(const QString& typeText)
{
    static const QHash<QString, int> table {
        { QStringLiteral("assistant"), 1 }, { QStringLiteral("brother"), 2 },
        { QStringLiteral("child"), 3 },     { QStringLiteral("dompartner"), 4 },
        { QStringLiteral("father"), 5 },    { QStringLiteral("friend"), 6 },
        { QStringLiteral("manager"), 7 },   { QStringLiteral("mother"), 8 },
        { QStringLiteral("parent"), 9 },    { QStringLiteral("partner"), 10 },
        { QStringLiteral("ref"), 11 },      { QStringLiteral("relative"), 12 },
        { QStringLiteral("sister"), 13 },   { QStringLiteral("spouse"), 14 },
    };
    return table.value(typeText, 0);
}

void readDate(const VCardValue& value, pim::_Contact& contact, int subType)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), dateText(value.text()));
    entity.fields.insert(QStringLiteral("data2"), subType);
    appendEntity(contact, pim::ENTITY_EVENT, entity);
}

} // namespace

QString dateText(const QString& value)
{
    QString text = value.trimmed();
    if (text.isEmpty())
        return text;
    // Extended forms: 1980-01-15, 1980-01-15T10:30:00, with Z or an offset.
    if (text.size() == 10) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (date.isValid())
            return pim::fieldText(QVariant(date.startOfDay()));
    }
    QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
    if (moment.isValid())
        return pim::fieldText(QVariant(moment));
    // Basic forms: 19800115 and 19800115T103000 (Z).
    QString basic = text;
    if (basic.endsWith(u'Z'))
        basic.chop(1);
    if (basic.size() == 8) {
        const QDate date = QDate::fromString(basic, QStringLiteral("yyyyMMdd"));
        if (date.isValid())
            return pim::fieldText(QVariant(date.startOfDay()));
    }
    if (basic.size() == 15) {
        moment = QDateTime::fromString(basic, QStringLiteral("yyyyMMdd'T'HHmmss"));
        if (moment.isValid())
            return pim::fieldText(QVariant(moment));
    }
    return text;
}

void readNickname(const VCardValue& value, pim::_Contact& contact)
{
    firstEntity(contact, pim::ENTITY_NICKNAME).fields.insert(QStringLiteral("data1"), value.text());
}

void readBirthday(const VCardValue& value, pim::_Contact& contact)
{
    readDate(value, contact, 3);
}

void readEvent(const VCardValue& value, pim::_Contact& contact)
{
    readDate(value, contact, value.typeText() == QLatin1String("anniversary") ? 1 : 0);
}

void readCategories(const VCardValue& value, pim::_Contact& contact)
{
    firstEntity(contact, pim::ENTITY_GROUP).fields.insert(QStringLiteral("data2"), value.text());
}

void readNote(const VCardValue& value, pim::_Contact& contact)
{
    firstEntity(contact, pim::ENTITY_NOTES).fields.insert(QStringLiteral("data1"), value.text());
}

void readRelation(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity entity;
    entity.fields.insert(QStringLiteral("data1"), value.text());
    entity.fields.insert(QStringLiteral("data2"), relationType(value.typeText()));
    appendEntity(contact, pim::ENTITY_REL, entity);
}

} // namespace vcardrules
