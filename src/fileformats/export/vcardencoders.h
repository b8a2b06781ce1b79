// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/syntax/vcardproperty.h"

#include <QByteArray>
#include <QList>

// The writing side of the vCard syntax: value encoders and the serialiser of
// one card.
class VCardEncoders {
public:
    // Every byte outside "!".."~", and "=", becomes "=XY". With lineLength
    // above 0 a soft break ("=" CR LF) follows once a line reaches
    // lineLength - 3 characters, also after the last byte; a letter, digit
    // or "-" right after one becomes "=XY" too.
    static QByteArray encodeQuoted(const QByteArray& data, int lineLength);
    // Standard base64 (padded) cut into lines of lineLength characters
    // joined by CR LF blank; lineLength 0 or less gives one line.
    static QByteArray encodeBase64(const QByteArray& data, int lineLength);
    // BEGIN:VCARD, one line per property ("group." when it has one, name,
    // ";key=value" per parameter in key order, ":", the value as stored),
    // END:VCARD; CR LF line ends.
    // Values must already be encoded; nothing is folded or escaped here.
    static QByteArray vcard2Bytes(const QList<VCardProperty>& properties);
};
