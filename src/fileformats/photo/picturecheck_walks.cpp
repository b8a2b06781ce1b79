// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG and GIF walks of the photo check.
#include "fileformats/photo/picturecheck_p.h"

#include <QtEndian>

#include <zlib.h>

#include <cstring>

namespace picturecheck::walk {

namespace {

using Byte = unsigned char;

// The CRC-32 that PNG puts after each chunk.
quint32 crc32(const Byte* data, qsizetype length)
{
    return quint32(crc32_z(0, data, size_t(length)));
}

// What libpng checks of a PNG's header: a size, and a bit depth that goes
// with the colour type.
bool readPngHeader(const Byte* ihdr, quint32 length, Declared& declared)
{
    if (length != 13)
        return false;
    const quint32 width = qFromBigEndian<quint32>(ihdr);
    const quint32 height = qFromBigEndian<quint32>(ihdr + 4);
    const unsigned depth = ihdr[8];
    const unsigned colour = ihdr[9];
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        return false;
    bool depthFits = false;
    switch (colour) {
    case 0:
        depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case 3:
        depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case 2:
    case 4:
    case 6:
        depthFits = depth == 8 || depth == 16;
        break;
    default:
        return false;
    }
    if (!depthFits || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
        return false;
    declared = { width, height };
    return true;
}

// libpng stops at a chunk whose name is not four ASCII letters.
bool isChunkName(const Byte* type)
{
    for (int i = 0; i < 4; ++i) {
        const Byte c = type[i] | 0x20;
        if (c < 'a' || c > 'z')
            return false;
    }
    return true;
}

} // namespace

bool isWholePng(const QByteArray& bytes, Declared& declared)
{
    return wholePngLength(bytes, declared) > 0;
}

qsizetype wholePngLength(QByteArrayView bytes, Declared& declared)
{
    const auto* b = reinterpret_cast<const Byte*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype at = 8;
    bool first = true;
    bool data = false;
    while (n - at >= 12) {
        const quint32 length = qFromBigEndian<quint32>(b + at);
        if (length > 0x7FFFFFFFu || qsizetype(length) > n - at - 12)
            return 0;
        const Byte* type = b + at + 4;
        if (!isChunkName(type))
            return 0;
        if (first && (std::memcmp(type, "IHDR", 4) != 0 || !readPngHeader(type + 4, length, declared)))
            return 0;
        // An ancillary chunk (lower-case first letter: text, gamma, time)
        // with a wrong CRC is dropped by libpng with a warning; a critical
        // one is an error.
        const bool critical = !(type[0] & 0x20);
        if (critical && crc32(type, qsizetype(length) + 4) != qFromBigEndian<quint32>(type + 4 + length))
            return 0;
        if (std::memcmp(type, "IEND", 4) == 0)
            return data ? at + 12 + qsizetype(length) : 0;
        data = data || std::memcmp(type, "IDAT", 4) == 0;
        at += 12 + qsizetype(length);
        first = false;
    }
    return 0;
}

namespace {

// Passes a run of sub-blocks (a length byte and as many bytes, up to an
// empty one) from `at`; false when the bytes end first.
bool passSubBlocks(const Byte* b, qsizetype n, qsizetype& at)
{
    while (at < n) {
        const Byte length = b[at++];
        if (length == 0)
            return true;
        at += length;
    }
    return false;
}

qsizetype colourTableSize(Byte packed)
{
    return (packed & 0x80) ? 3 * (qsizetype(2) << (packed & 0x07)) : 0;
}

} // namespace

Gif walkGif(const QByteArray& bytes, Declared& declared, GifImage& first)
{
    const auto* b = reinterpret_cast<const Byte*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 13)
        return Gif::NotWhole;
    declared = { qFromLittleEndian<quint16>(b + 6), qFromLittleEndian<quint16>(b + 8) };
    qsizetype at = 13 + colourTableSize(b[10]);
    bool image = false;
    while (at < n) {
        const Byte block = b[at++];
        if (block == 0x3B)
            return image ? Gif::Whole : Gif::NotWhole;
        if (block == 0x21) {
            // The extension's label, then its sub-blocks.
            ++at;
        } else if (block == 0x2C) {
            // Only the first image is decoded: what follows its start need
            // not be read.
            if (image)
                return Gif::Frames;
            if (n - at < 9)
                return Gif::NotWhole;
            first.size = { qFromLittleEndian<quint16>(b + at + 4), qFromLittleEndian<quint16>(b + at + 6) };
            first.canvas = { declared.width > 0 ? declared.width : first.size.width,
                             declared.height > 0 ? declared.height : first.size.height };
            // A screen of no size takes its first image's (Qt's reader
            // does the same).
            if (declared.width == 0 || declared.height == 0)
                declared = first.size;
            at += 9 + colourTableSize(b[at + 8]);
            // The LZW code size, as far as Qt's reader decodes.
            if (at >= n || b[at] > 12)
                return Gif::NotWhole;
            ++at;
            image = true;
        } else {
            return Gif::NotWhole;
        }
        if (at > n || !passSubBlocks(b, n, at))
            return Gif::NotWhole;
    }
    return Gif::NotWhole;
}

} // namespace picturecheck::walk
