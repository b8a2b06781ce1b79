// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardrules.h"

namespace vcardrules {

namespace {

int addressType(const QString& typeText)
{
    if (typeText == QLatin1String("home"))
        return 1;
    if (typeText == QLatin1String("work"))
        return 2;
    return 0;
}

// A 4.0 photo given inline as "data:image/jpeg;base64,...": the image
// bytes, not the text of the reference. Empty when the value is no such URI.
QByteArray inlinePhoto(const QByteArray& value)
{
    if (!value.startsWith("data:"))
        return QByteArray();
    const qsizetype comma = value.indexOf(',');
    if (comma < 0 || !value.left(comma).endsWith(";base64"))
        return QByteArray();
    const auto decoded = QByteArray::fromBase64Encoding(value.mid(comma + 1),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? decoded.decoded : QByteArray();
}

} // namespace

void readOrg(const VCardValue& value, pim::_Contact& contact)
{
    pim::Entity& entity = firstEntity(contact, pim::ENTITY_ORG);
    const QStringList parts = value.components();
    if (parts.size() >= 1)
        entity.fields.insert(QStringLiteral("data1"), parts.at(0));
    if (parts.size() >= 2)
        entity.fields.insert(QStringLiteral("data5"), parts.at(1));
}

void readTitle(const VCardValue& value, pim::_Contact& contact)
{
    firstEntity(contact, pim::ENTITY_ORG).fields.insert(QStringLiteral("data4"), value.text());
}

void readAddress(const VCardValue& value, pim::_Contact& contact)
{
    static const QString keys[] = { QString(), QString(), QStringLiteral("data4"), QStringLiteral("data7"),
                                    QStringLiteral("data8"), QStringLiteral("data9"), QStringLiteral("data10") };
    pim::Entity entity;
    const QStringList parts = value.components();
    for (int i = 2; i < 7 && i < parts.size(); ++i)
        entity.fields.insert(keys[i], parts.at(i));
    entity.fields.insert(QStringLiteral("data2"), addressType(value.typeText()));
    entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
    appendEntity(contact, pim::ENTITY_ADDR, entity);
}

void readPhoto(const VCardValue& value, pim::_Contact& contact)
{
    const QByteArray inlined = inlinePhoto(value.bytes());
    firstEntity(contact, pim::ENTITY_PHOTO)
        .fields.insert(QStringLiteral("data15"), inlined.isEmpty() ? value.bytes() : inlined);
}

} // namespace vcardrules
