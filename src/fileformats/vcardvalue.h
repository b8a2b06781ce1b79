// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcardproperty.h"

class VCardCharsets;

// How the property rules see one property of a card: its text, its
// components and its TYPE text, with the escapes of 3.0/4.0 decoded where
// they apply.
class VCardValue {
public:
    // unescape: the card is 3.0/4.0 and the value is not quoted-printable.
    VCardValue(const VCardProperty& property, VCardCharsets& charsets, bool unescape);

    const VCardProperty& property() const { return m_property; }
    const QByteArray& bytes() const { return m_property.value; }
    // The whole value as text.
    QString text() const;
    // The structured value split at unescaped ";" (an empty trailing
    // component left out).
    QStringList components() const;
    // The value of the parameter named exactly "TYPE"; empty when absent.
    QString typeText() const;

private:
    QString raw() const;

    const VCardProperty& m_property;
    VCardCharsets& m_charsets;
    bool m_unescape;
};
