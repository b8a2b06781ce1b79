// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/vcardencoders.h"

QByteArray VCardEncoders::encodeQuoted(const QByteArray& data, int lineLength)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(data.size() * 3);
    int counter = 0;
    bool afterBreak = false;
    for (const char ch : data) {
        const auto b = static_cast<unsigned char>(ch);
        // A line after a soft break that starts as a property's name may
        // read as that property's line (vcardsyntax::propertyLineAt()): its
        // first letter or digit is written as a code.
        const bool nameByte = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-';
        if (b == '=' || b < 0x21 || b > 0x7E || (afterBreak && nameByte)) {
            out.append('=');
            out.append(hex[b >> 4]);
            out.append(hex[b & 0x0F]);
            counter += 3;
        } else {
            out.append(ch);
            counter += 1;
        }
        afterBreak = false;
        if (lineLength != 0 && counter >= lineLength - 3) {
            // No blank after it: a reader takes a blank there for text.
            out.append("=\r\n", 3);
            counter = 0;
            afterBreak = true;
        }
    }
    return out;
}

QByteArray VCardEncoders::encodeBase64(const QByteArray& data, int lineLength)
{
    const QByteArray plain = data.toBase64();
    if (lineLength <= 0 || plain.size() <= lineLength)
        return plain;
    QByteArray out;
    out.reserve(plain.size() + (plain.size() / lineLength + 1) * 3);
    for (qsizetype at = 0; at < plain.size(); at += lineLength) {
        if (at > 0)
            out.append("\r\n ", 3);
        out.append(plain.constData() + at, qMin<qsizetype>(lineLength, plain.size() - at));
    }
    return out;
}

QByteArray VCardEncoders::vcard2Bytes(const QList<VCardProperty>& properties)
{
    QByteArray out("BEGIN:VCARD\r\n");
    for (const VCardProperty& property : properties) {
        if (!property.group.isEmpty())
            out.append(property.group.toLatin1()).append('.');
        out.append(property.name.toLatin1());
        for (auto it = property.params.constBegin(); it != property.params.constEnd(); ++it)
            out.append(';').append(it.key().toLatin1()).append('=').append(it.value().toLatin1());
        out.append(':');
        out.append(property.value);
        out.append("\r\n", 2);
    }
    out.append("END:VCARD\r\n");
    return out;
}
