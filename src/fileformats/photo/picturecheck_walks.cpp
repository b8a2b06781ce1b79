// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG and GIF walks of the photo check.
#include "fileformats/photo/picturecheck_p.h"

#include <QtEndian>

#include <zlib.h>

#include <array>
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

} // namespace

qsizetype colourTableSize(Byte packed)
{
    return (packed & 0x80) ? 3 * (qsizetype(2) << (packed & 0x07)) : 0;
}

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
            first.descriptor = at - 1;
            first.origin = { qFromLittleEndian<quint16>(b + at), qFromLittleEndian<quint16>(b + at + 2) };
            first.size = { qFromLittleEndian<quint16>(b + at + 4), qFromLittleEndian<quint16>(b + at + 6) };
            const Declared farEdge { first.origin.width + first.size.width, first.origin.height + first.size.height };
            first.canvas = { declared.width > 0 ? declared.width : farEdge.width,
                             declared.height > 0 ? declared.height : farEdge.height };
            // A screen of no size takes its first image's (Qt's reader
            // does the same).
            if (declared.width == 0 || declared.height == 0)
                declared = first.size;
            first.ownColours = (b[at + 8] & 0x80) != 0;
            at += 9 + colourTableSize(b[at + 8]);
            // The LZW code size, as far as Qt's reader decodes.
            if (at >= n || b[at] > 12)
                return Gif::NotWhole;
            first.codes = at;
            ++at;
            image = true;
        } else {
            return Gif::NotWhole;
        }
        if (at > n || !passSubBlocks(b, n, at))
            return Gif::NotWhole;
        if (first.end == 0 && image)
            first.end = at;
    }
    return Gif::NotWhole;
}

qint64 gifCodePixels(const QByteArray& bytes, const GifImage& image, qint64 limit)
{
    const auto* b = reinterpret_cast<const Byte*>(bytes.constData());
    const qsizetype n = qMin(bytes.size(), image.end);
    qsizetype at = image.codes;
    if (at <= 0 || at >= n)
        return 0;
    const int minimum = b[at++];
    const int clear = 1 << minimum;
    constexpr int kTable = 4096;
    // The pixels of each entry of the table; below `clear` one each.
    std::array<quint16, kTable> length {};
    const auto lengthOf = [&](int code) { return code < clear ? 1 : int(length[size_t(code)]); };
    int width = minimum + 1;
    int next = clear + 2;
    // The code before, or -1 right after a clear code, whose code gives one
    // pixel and adds no entry.
    int previous = -1;
    quint32 held = 0;
    int bits = 0;
    qint64 pixels = 0;
    while (at < n) {
        const qsizetype blockEnd = qMin(n, at + 1 + b[at]);
        if (b[at++] == 0)
            break;
        for (; at < blockEnd; ++at) {
            held |= quint32(b[at]) << bits;
            bits += 8;
            while (bits >= width) {
                const int code = int(held & ((1u << width) - 1));
                held >>= width;
                bits -= width;
                if (code == clear) {
                    width = minimum + 1;
                    next = clear + 2;
                    previous = -1;
                    continue;
                }
                // A code past the table's next entry, or past the table
                // itself (of a code size of 12), no table holds.
                if (code == clear + 1 || code > next || code >= kTable)
                    return pixels;
                if (previous < 0) {
                    pixels += 1;
                } else {
                    // The code just being made gives the code before and
                    // one pixel more, as its entry will.
                    const int added = lengthOf(previous) + 1;
                    pixels += code == next ? added : lengthOf(code);
                    if (next < kTable) {
                        length[size_t(next++)] = quint16(added);
                        if (next >= 1 << width && width < 12)
                            ++width;
                    }
                }
                previous = code;
                if (pixels > limit)
                    return pixels;
            }
        }
    }
    return pixels;
}

} // namespace picturecheck::walk
