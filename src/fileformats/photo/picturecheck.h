// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>

namespace picturecheck {

// What a reader does with the bytes given as a contact's photo.
enum class Verdict {
    // A whole picture in a format phones show (JPEG, PNG, a GIF of one
    // frame, BMP): stored as it is.
    Keep,
    // A whole raster picture in a format phones do not show (TIFF, WebP,
    // icons, bitmaps of the X and PNM families), or the first frame of a
    // GIF of several (on its screen, or where the screen is mostly empty,
    // the frame alone): stored converted to PNG, or for an icon that holds
    // a PNG, that PNG as it is.
    KeepAsPng,
    // A vector picture (SVG, or SVGZ: gzip data whose first kilobytes
    // inflate to SVG text): phones show none, so it is left out, neither
    // parsed nor inflated past those kilobytes.
    Vector,
    // Gzip data that holds no SVG: no picture. Left out, named as
    // compressed data.
    Compressed,
    // A whole raster picture to convert, of more pixels than phones show
    // (kMaxConvertedPixels): left out, named with its size, undecoded.
    TooLarge,
    // No whole picture: cut short, damaged, too large to be opened safely,
    // in a format known by no signature, or no picture at all (a path,
    // base64 text that was never decoded). Left out.
    NotWhole,
};

struct Checked {
    Verdict verdict = Verdict::NotWhole;
    // What to store: the bytes as given for Keep, the PNG for KeepAsPng;
    // empty otherwise.
    QByteArray picture;
    // The picture's width and height as it shows, turned as its header
    // says, for TooLarge.
    QSize size;
};

// The verdict on the bytes of a photo. A JPEG must run to its end marker
// (libjpeg decodes a JPEG cut short without an error, its missing part
// grey) with segments up to its first scan that libjpeg reads; a PNG must
// pass what libpng checks: its header, every chunk whole, the CRC of every
// critical chunk right (libpng only warns of an ancillary one's), up to its
// end; a GIF of one frame must run through its blocks to its trailer.
// Their pixels are not decoded, which would cost far more and find nothing
// more, and they must fit Qt's allocation limit. A GIF of several frames
// need only run through its first, which is converted as a format phones
// do not show is. A format phones do not show is decoded only when its
// header (an icon's: that of the picture inside, not its directory)
// declares a size that the photo's own size makes plausible (see
// kMaxPixelBytesPerByte) and at most kMaxConvertedPixels; a GIF's codes
// pack a flat drawing far tighter, so a GIF's first frame is bounded by
// the pixels its codes give (see kMaxScreenPerCodePixels): drawn on its
// screen, or alone where its screen is mostly empty, and at most
// kMaxConvertedPixels. One decoded copy of the pixels is held, turned in
// place. Of gzip data only the first kilobytes are inflated. Safe to call
// from any thread.
Checked check(const QByteArray& bytes);

// A BMP of more pixels is not kept, since it is decoded to be checked; nor
// a GIF whose first frame's codes give more, which Qt's reader steps
// through one by one.
constexpr qint64 kMaxDecodedPixels = 24LL * 1000 * 1000;
// A picture converted to PNG has at most 16 megapixels (4000 by 4000, more
// than any phone's screen shows of a contact); a larger one is left out,
// since none of Qt's readers of the formats converted scales while reading.
constexpr qint64 kMaxConvertedPixels = 16LL * 1000 * 1000;
// A picture to convert may take this many bytes of pixels (four a pixel)
// per byte of the photo: a compressed photo reaches a few tens, a
// decompression bomb thousands.
constexpr qint64 kMaxPixelBytesPerByte = 64;
// Below this many pixels a picture is converted whatever the ratio: a
// flat avatar of one colour compresses far better than a photo, and a
// picture of this size costs little to decode.
constexpr qint64 kAlwaysConvertedPixels = 1024 * 1024;
// A GIF's first frame is drawn on its screen where the screen has at most
// this many times the pixels the frame's codes give (the frame covers a
// quarter of it or more), or at most kAlwaysConvertedPixels; on a screen
// mostly empty, the frame is stored alone, without the empty screen.
constexpr qint64 kMaxScreenPerCodePixels = 4;

} // namespace picturecheck
