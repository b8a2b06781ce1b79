// SPDX-License-Identifier: GPL-3.0-or-later
// The walks that tell a whole JPEG, PNG or GIF by its structure alone,
// without decoding a pixel or allocating anything.
#pragma once

#include <QByteArray>

namespace picturecheck::walk {

// The width and height a picture's header declares.
struct Declared {
    qint64 width = 0;
    qint64 height = 0;
};

// From the JPEG's start marker: every segment up to the first scan as
// libjpeg reads it (a frame it decodes, tables it takes, no marker it does
// not know), then the scans' data and segments up to the end marker.
bool isWholeJpeg(const QByteArray& bytes, Declared& declared);

// From the PNG's signature: a valid IHDR first, every chunk whole under a
// chunk name, the CRC of every critical chunk right, image data, and IEND.
bool isWholePng(const QByteArray& bytes, Declared& declared);

// From the GIF's signature: the screen, its colour table, then extensions
// and images, each run of sub-blocks closed, up to the trailer after at
// least one image.
bool isWholeGif(const QByteArray& bytes, Declared& declared);

} // namespace picturecheck::walk
