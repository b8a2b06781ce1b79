// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardvalue.h"

#include "fileformats/qvcardparser.h"
#include "fileformats/vcardcharsets.h"

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
    // Only 3.0/4.0 give "\n" a meaning; older values keep the letter.
    return VCardProperty::splitComponents(raw(), m_unescape);
}

QString VCardValue::typeText() const
{
    return m_property.params.value(QStringLiteral("TYPE"));
}
