// SPDX-License-Identifier: GPL-3.0-or-later
#include "vcardproperty.h"

#include "vcardcharsets.h"

QString VCardProperty::paramIgnoringCase(const QString& key) const
{
    const auto exact = params.constFind(key);
    if (exact != params.constEnd())
        return exact.value();
    for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
        if (it.key().compare(key, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return QString();
}

QString VCardProperty::toString() const
{
    VCardCharsets charsets;
    return toString(charsets);
}

QString VCardProperty::toString(VCardCharsets& charsets) const
{
    return charsets.decode(value, paramIgnoringCase(QStringLiteral("CHARSET")));
}

QStringList VCardProperty::values() const
{
    return splitComponents(toString());
}

QStringList VCardProperty::splitComponents(const QString& text)
{
    QStringList result;
    QString current;
    bool escaped = false;
    for (const QChar c : text) {
        if (escaped) {
            current.append(c);
            escaped = false;
        } else if (c == u'\\') {
            escaped = true;
        } else if (c == u';') {
            result.append(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        result.append(current);
    return result;
}
