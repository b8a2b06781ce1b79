// SPDX-License-Identifier: GPL-3.0-or-later
// The walks that tell a whole JPEG, PNG or GIF by its structure alone,
// without decoding a pixel or allocating anything, the measure of the
// picture inside an icon, and the PNG a converted picture is written as.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>

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

// As isWholePng, from the signature at the start of `bytes`: how many bytes
// the PNG takes up to the end of its IEND chunk; 0 when it is not whole.
qsizetype wholePngLength(QByteArrayView bytes, Declared& declared);

enum class Gif {
    NotWhole,
    // One image, and the file whole: the screen, its colour table, then
    // extensions and the image, each run of sub-blocks closed, up to the
    // trailer.
    Whole,
    // Several images (an animation's frames), of which the first is whole
    // as above and a second begins after it. Nothing past that start is
    // read: only the first is decoded.
    Frames,
};

// A GIF's first image: where it stands and its own size, that of the
// picture Qt's reader draws it on, and where its bytes are. Qt's reader
// draws on the GIF's screen, of which a side of no size reaches to the
// image's far edge; its measure of the picture (QImageReader::size()) may
// give the image's size where the screen is ten times as large, but it
// draws on the whole screen.
struct GifImage {
    Declared origin;
    Declared size;
    Declared canvas;
    // The image's descriptor, the byte of its code size, and the first byte
    // after its codes.
    qsizetype descriptor = 0;
    qsizetype codes = 0;
    qsizetype end = 0;
    // The image brings a colour table of its own.
    bool ownColours = false;
};

// The bytes of the colour table that a GIF's screen or image descriptor
// announces in its packed byte; 0 where it announces none.
qsizetype colourTableSize(unsigned char packed);

// From the GIF's signature: what its blocks make of it. `declared` is the
// size of its screen, or of its first image where the screen has none.
Gif walkGif(const QByteArray& bytes, Declared& declared, GifImage& first);

// How many pixels the codes of `image` give as Qt's reader decodes them, up
// to the first code that no table holds, its end code or the end of its
// data: so many it steps through, on the screen or off it, whatever size
// the image declares. Counting stops once past `limit`.
qint64 gifCodePixels(const QByteArray& bytes, const GifImage& image, qint64 limit);

} // namespace picturecheck::walk

namespace picturecheck::icon {

enum class Kind {
    None,
    Png,
    Bitmap,
};

// The picture in an icon's or cursor's first entry, the one Qt's reader
// decodes, measured by its own header: the directory's size is only what
// its writer claimed.
struct Entry {
    Kind kind = Kind::None;
    // Where the picture starts in the file, and how long a PNG is.
    qsizetype offset = 0;
    qsizetype length = 0;
    // A PNG's own size; for a bitmap the larger of its header's and the
    // directory's, since Qt's reader takes either.
    walk::Declared size;
};

// None when the file has no entry, its picture lies outside the file, or
// an embedded PNG is not whole.
Entry firstEntry(const QByteArray& bytes);

} // namespace picturecheck::icon

namespace picturecheck::convert {

// The picture written as PNG, turned first as `turn` says, in place: no
// second copy of its pixels is made while this is its only holder. Empty
// when `image` is null or cannot be written.
QByteArray pngOf(QImage image, QImageIOHandler::Transformations turn);

} // namespace picturecheck::convert
