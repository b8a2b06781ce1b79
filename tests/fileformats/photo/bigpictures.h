// SPDX-License-Identifier: GPL-3.0-or-later
// Large pictures written a row at a time through zlib, so that making one
// costs no more memory than its compressed bytes: a PNG, an RGBA TIFF, and
// an icon or cursor whose directory lists a size of its own choosing; and
// animated GIFs packed as GIF writers pack them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <vector>

#include <zlib.h>

namespace bigpictures {

inline QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

inline QByteArray littleEndian16(quint32 value)
{
    return QByteArray(1, char(value)) + char(value >> 8);
}

inline QByteArray littleEndian32(quint32 value)
{
    return littleEndian16(value & 0xFFFF) + littleEndian16(value >> 16);
}

// The zlib stream of rows `first` to `end` - 1, each made by
// `row(y, bytes)`.
template <typename MakeRow>
QByteArray deflatedRows(qsizetype rowSize, int first, int end, MakeRow row)
{
    z_stream stream {};
    deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    QByteArray out;
    QByteArray chunk(1 << 16, '\0');
    QByteArray bytes(rowSize, '\0');
    for (int y = first; y <= end; ++y) {
        if (y < end)
            row(y, bytes);
        stream.next_in = reinterpret_cast<Bytef*>(bytes.data());
        stream.avail_in = y < end ? uInt(bytes.size()) : 0;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
            stream.avail_out = uInt(chunk.size());
            deflate(&stream, y < end ? Z_NO_FLUSH : Z_FINISH);
            out.append(chunk.constData(), chunk.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

inline QByteArray pngChunk(const char* type, const QByteArray& data)
{
    const QByteArray body = QByteArray(type) + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    return bigEndian32(quint32(data.size())) + body + bigEndian32(quint32(crc));
}

// An RGB PNG of a gradient from left to right, the same in every row: a
// flat picture that compresses a thousand times, as a drawn avatar does.
inline QByteArray flatPng(int width, int height)
{
    const QByteArray header
        = bigEndian32(quint32(width)) + bigEndian32(quint32(height)) + QByteArray("\x08\x02\0\0\0", 5);
    // Every row after the first says "as the row above" (filter 2).
    const QByteArray data
        = deflatedRows(1 + 3 * qsizetype(width), 0, height, [width](int y, QByteArray& row) {
              row.fill('\0');
              char* bytes = row.data();
              bytes[0] = char(y == 0 ? 0 : 2);
              for (int x = 0; y == 0 && x < width; ++x)
                  bytes[1 + 3 * x] = char(x * 255 / width);
          });
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", data)
        + pngChunk("IEND", QByteArray());
}

// A TIFF of `width` by `height` RGBA pixels (unassociated alpha) in deflate
// strips of eight rows, turned as `orientation` (1 to 8) says: a gradient
// with a grain in every 64th pixel, so it compresses about fifty times, as
// a scanned picture does.
inline QByteArray rgbaTiff(int width, int height, int orientation)
{
    constexpr int kRowsPerStrip = 8;
    const auto row = [width](int y, QByteArray& bytes) {
        quint32 grain = quint32(y) * 2654435761u;
        char* pixel = bytes.data();
        for (int x = 0; x < width; ++x, pixel += 4) {
            grain = grain * 1103515245u + 12345u;
            pixel[0] = char(x * 255 / width);
            pixel[1] = char(y * 255 / 6000);
            pixel[2] = char(128 + (x % 64 == 0 ? (grain >> 16) & 3 : 0));
            pixel[3] = char(255);
        }
    };
    QByteArray data;
    QList<quint32> offsets;
    QList<quint32> counts;
    for (int y = 0; y < height; y += kRowsPerStrip) {
        const QByteArray strip = deflatedRows(4 * qsizetype(width), y, qMin(height, y + kRowsPerStrip), row);
        offsets.append(quint32(data.size()));
        counts.append(quint32(strip.size()));
        data += strip;
    }
    const quint16 entries = 11;
    const quint32 samples = 8 + 2 + entries * 12 + 4;
    const quint32 offsetList = samples + 8;
    const quint32 countList = offsetList + 4 * quint32(offsets.size());
    const quint32 pixels = countList + 4 * quint32(counts.size());
    const auto entry = [](quint32 tag, quint32 type, quint32 count, quint32 value) {
        return littleEndian16(tag) + littleEndian16(type) + littleEndian32(count)
            + (type == 3 && count == 1 ? littleEndian16(value) + littleEndian16(0) : littleEndian32(value));
    };
    const quint32 strips = quint32(offsets.size());
    QByteArray bytes = QByteArray("II*\0", 4) + littleEndian32(8) + littleEndian16(entries);
    bytes += entry(256, 4, 1, quint32(width)) + entry(257, 4, 1, quint32(height)) + entry(258, 3, 4, samples)
        + entry(259, 3, 1, 8) + entry(262, 3, 1, 2)
        + entry(273, 4, strips, strips == 1 ? pixels : offsetList) + entry(274, 3, 1, quint32(orientation))
        + entry(277, 3, 1, 4) + entry(278, 4, 1, kRowsPerStrip)
        + entry(279, 4, strips, strips == 1 ? counts.first() : countList) + entry(338, 3, 1, 2);
    bytes += littleEndian32(0);
    for (int i = 0; i < 4; ++i)
        bytes += littleEndian16(8);
    for (const quint32 offset : offsets)
        bytes += littleEndian32(pixels + offset);
    for (const quint32 count : counts)
        bytes += littleEndian32(count);
    return bytes + data;
}

// The same TIFF turned as `orientation` says.
inline QByteArray withOrientation(QByteArray tiff, int orientation)
{
    // The value of the seventh entry of the directory, the orientation.
    tiff[8 + 2 + 6 * 12 + 8] = char(orientation);
    return tiff;
}

// An icon (type 1) or cursor (type 2) of one entry that lists `listed`
// pixels a side (0 for 256) and holds `picture`.
inline QByteArray icon(const QByteArray& picture, quint8 listed, quint16 type = 1)
{
    const QByteArray entry = QByteArray(1, char(listed)) + char(listed) + QByteArray(2, '\0')
        + littleEndian16(1) + littleEndian16(32) + littleEndian32(quint32(picture.size()))
        + littleEndian32(6 + 16);
    return littleEndian16(0) + littleEndian16(type) + littleEndian16(1) + entry + picture;
}

// The header of a 32-bit bitmap in an icon, `width` by `height` pixels
// (its height written twice over, for the mask below the picture).
inline QByteArray bitmapHeader(qint32 width, qint32 height)
{
    return littleEndian32(40) + littleEndian32(quint32(width)) + littleEndian32(quint32(2 * height))
        + littleEndian16(1) + littleEndian16(32) + QByteArray(24, '\0');
}

// The LZW codes of pixels of four colours as GIF writers pack them: codes
// three bits wide at first, a bit wider each time the table's next entry
// needs one, up to twelve; a clear code when the table is full.
class GifCodes {
public:
    GifCodes() { put(kClear); }

    void add(int pixel)
    {
        if (m_prefix < 0) {
            m_prefix = pixel;
            return;
        }
        int& entry = m_table[size_t(m_prefix) * 4 + size_t(pixel)];
        if (entry != 0) {
            m_prefix = entry;
            return;
        }
        put(m_prefix);
        if (m_free < 4096) {
            entry = m_free++;
            if (m_free > (1 << m_width) && m_width < 12)
                ++m_width;
        } else {
            put(kClear);
            std::fill(m_table.begin(), m_table.end(), 0);
            m_free = kClear + 2;
            m_width = 3;
        }
        m_prefix = pixel;
    }

    // The codes in sub-blocks, closed.
    QByteArray finish()
    {
        if (m_prefix >= 0)
            put(m_prefix);
        put(kClear + 1);
        if (m_count > 0)
            m_data += char(m_bits);
        QByteArray blocks;
        for (qsizetype at = 0; at < m_data.size(); at += 255) {
            const QByteArray block = m_data.mid(at, 255);
            blocks += char(block.size()) + block;
        }
        return blocks + '\0';
    }

private:
    static constexpr int kClear = 4;

    void put(int code)
    {
        m_bits |= quint32(code) << m_count;
        m_count += m_width;
        while (m_count >= 8) {
            m_data += char(m_bits & 0xFF);
            m_bits >>= 8;
            m_count -= 8;
        }
    }

    std::vector<int> m_table = std::vector<int>(4096 * 4, 0);
    int m_free = kClear + 2;
    int m_width = 3;
    int m_prefix = -1;
    quint32 m_bits = 0;
    int m_count = 0;
    QByteArray m_data;
};

// An animated GIF as drawing programs write one: a screen of
// `screenWidth` by `screenHeight` in four colours, a loop, and `frames`
// frames of `width` by `height` each after a delay, at `left`, `top`, of
// which every pixel is `colour(frame, x, y)` (0 to 3), or only the first
// `written` of each; with `ownColours`, each frame in four colours of its
// own table.
template <typename Colour>
QByteArray packedGif(int frames, int width, int height, int screenWidth, int screenHeight, Colour colour,
                     qint64 written = -1, int left = 0, int top = 0, bool ownColours = false)
{
    QByteArray bytes = "GIF89a" + littleEndian16(quint32(screenWidth)) + littleEndian16(quint32(screenHeight))
        + QByteArray("\x81\x00\x00", 3);
    bytes += QByteArray("\xF4\xEE\xE0\x30\x60\xC0\xE0\x40\x30\x20\x20\x20", 12);
    bytes += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    const qint64 pixels = written < 0 ? qint64(width) * height : written;
    for (int frame = 0; frame < frames; ++frame) {
        bytes += QByteArray("\x21\xF9\x04\x04\x32\x00\x00\x00", 8);
        bytes += "\x2C" + littleEndian16(quint32(left)) + littleEndian16(quint32(top))
            + littleEndian16(quint32(width)) + littleEndian16(quint32(height));
        if (ownColours)
            bytes += QByteArray("\x81\x1C\x5D\x8A\xF2\xB4\x2E\x6A\xC8\x4F\xFF\xF6\xD8\x02", 14);
        else
            bytes += QByteArray("\x00\x02", 2);
        GifCodes codes;
        for (qint64 at = 0; at < pixels; ++at)
            codes.add(colour(frame, int(at % width), int(at / width)));
        bytes += codes.finish();
    }
    return bytes + ';';
}

} // namespace bigpictures
