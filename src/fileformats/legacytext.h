// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

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

} // namespace legacytext
