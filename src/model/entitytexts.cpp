// SPDX-License-Identifier: GPL-3.0-or-later
// The derived texts of an entity. Every writer of names, addresses and
// photos stores these exact texts, so they must not vary between callers.
#include "contact.h"

#include <QCryptographicHash>

namespace pim {

namespace {

QString part(const Entity& e, const char* key)
{
    return fieldText(e.fields.value(QLatin1String(key)));
}

} // namespace

QString Entity::fullName() const
{
    QString result = part(*this, "data5");
    for (const char* key : { "data2", "data4", "data3", "data6" }) {
        const QString p = part(*this, key);
        if (!p.isEmpty())
            result += QLatin1Char(' ') + p;
    }
    return result.trimmed();
}

QString Entity::formattedAddr() const
{
    const QString country = part(*this, "data10");
    const QString state = part(*this, "data8");
    const QString city = part(*this, "data7");
    const QString postcode = part(*this, "data9");

    QString result = part(*this, "data4");
    // A postcode without city or state would stand alone on its line with
    // nothing to locate it, so it is left out.
    if (!state.isEmpty() || !city.isEmpty()) {
        result += QLatin1Char('\n');
        if (!city.isEmpty()) {
            result += city;
            if (!state.isEmpty() || !postcode.isEmpty())
                result += QLatin1Char(',');
        }
        if (!state.isEmpty())
            result += QLatin1Char(' ') + state;
        if (!postcode.isEmpty())
            result += QLatin1Char(' ') + postcode;
    }
    if (!country.isEmpty())
        result += QLatin1Char('\n') + country;
    return result.trimmed();
}

QString Entity::photoHash(QByteArray bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64());
}

QString Entity::photoHash() const
{
    return photoHash(fields.value(QStringLiteral("data15")).toByteArray());
}

} // namespace pim
