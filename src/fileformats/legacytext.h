// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Text of files that name no encoding: phones and mail programs of old
// wrote the local 8-bit code page, almost always windows-1252, where
// everything newer writes UTF-8. A stretch of bytes that is valid UTF-8 is
// taken as UTF-8, anything else as windows-1252, so no letter becomes a
// replacement character.
namespace legacytext {

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or code points beyond U+10FFFF).
bool isValidUtf8(QByteArrayView bytes);
// windows-1252 differs from Latin-1 only in 0x80..0x9F; the five
// unassigned bytes keep their C1 code points, as Windows itself maps them.
QString fromWindows1252(QByteArrayView bytes);
QString utf8OrWindows1252(QByteArrayView bytes);

// How UTF-16 text starts: its byte order and the length of its byte-order
// mark (0 when it has none).
struct Utf16Start {
    bool littleEndian;
    int markLength;
};
// Whether the bytes that start a file are UTF-16, by the mark or, without
// one, by where the zero bytes stand: letters, digits and separators of
// the ASCII range, of which every card and table has plenty, are a zero
// byte and a non-zero one, so zeros stand on odd offsets (little-endian)
// or even ones (big-endian). Text in UTF-8 or an 8-bit code page holds no
// zero bytes, binary content holds them on both.
std::optional<Utf16Start> utf16Start(QByteArrayView head);
// UTF-16 data as UTF-8 text without the mark.
QByteArray utf16ToUtf8(QByteArrayView data, Utf16Start start);

} // namespace legacytext
