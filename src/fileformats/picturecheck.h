// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace picturecheck {

// Whether an image reader opens the bytes as a whole picture. A JPEG must
// run to its end marker (libjpeg decodes a JPEG cut short without an error,
// its missing part grey) and Qt's reader must read its headers; a PNG must
// pass what libpng checks: its header, every chunk whole with its CRC
// right, up to its end. Their pixels are not decoded, which would cost far
// more and find nothing more. Any other format Qt reads is decoded, and
// every picture must fit Qt's allocation limit. Safe to call from any
// thread.
bool isWholePicture(const QByteArray& bytes);

} // namespace picturecheck
