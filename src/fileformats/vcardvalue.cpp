// SPDX-License-Identifier: GPL-3.0-or-later
#include "vcardvalue.h"

#include "qvcardparser.h"
#include "vcardcharsets.h"

VCardValue::VCardValue(const VCardProperty& property, VCardCharsets& charsets, bool unescape)
    : m_property(property)
    , m_charsets(charsets)
    , m_unescape(unescape)
{
}

QString VCardValue::raw() const
{
    return m_property.toString(m_charsets);
}

QString VCardValue::text() const
{
    return m_unescape ? QVCardParser::unescapeText(raw()) : raw();
}

QStringList VCardValue::components() const
{
    const QString source = raw();
    if (!source.contains(u'\\')) {
        QStringList parts = source.split(u';');
        if (!parts.isEmpty() && parts.last().isEmpty())
            parts.removeLast();
        return parts;
    }
    QStringList result;
    QString current;
    bool escaped = false;
    for (const QChar c : source) {
        if (escaped) {
            escaped = false;
            // Only 3.0/4.0 give "\n" a meaning; older values keep the letter.
            if (m_unescape && (c == u'n' || c == u'N'))
                current.append(u'\n');
            else
                current.append(c);
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

QString VCardValue::typeText() const
{
    return m_property.params.value(QStringLiteral("TYPE"));
}
