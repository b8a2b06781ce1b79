// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/picturecheck.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace picturecheck {

namespace {

enum Container { Jpeg, Png, Other };

Container containerOf(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return Jpeg;
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return Png;
    return Other;
}

// Walks a JPEG from its start marker: segments by their lengths, and after
// each scan header the entropy-coded data up to the next marker that is
// neither a stuffed 0xFF00 nor a restart marker. True when the end marker
// is reached; bytes after it do not matter. Stray bytes between segments
// are passed over, as libjpeg does.
bool jpegReachesEnd(const QByteArray& bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype at = 2;
    while (at < n) {
        const void* ff = std::memchr(b + at, 0xFF, size_t(n - at));
        if (!ff)
            return false;
        at = static_cast<const unsigned char*>(ff) - b;
        while (at < n && b[at] == 0xFF)
            ++at;
        if (at == n)
            return false;
        const unsigned char marker = b[at++];
        if (marker == 0xD9)
            return true;
        // Markers without a segment.
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        if (n - at < 2)
            return false;
        const qsizetype length = qsizetype(b[at]) << 8 | b[at + 1];
        if (length < 2 || n - at < length)
            return false;
        at += length;
        if (marker != 0xDA)
            continue;
        // The scan's data: a 0xFF in it is followed by 0x00 or a restart
        // marker; anything else is the next marker.
        for (;;) {
            const void* next = std::memchr(b + at, 0xFF, size_t(n - at));
            if (!next)
                return false;
            at = static_cast<const unsigned char*>(next) - b;
            if (at + 1 == n)
                return false;
            const unsigned char after = b[at + 1];
            if (after != 0x00 && !(after >= 0xD0 && after <= 0xD7))
                break;
            at += 2;
        }
    }
    return false;
}

struct CrcTable {
    quint32 value[256];
    constexpr CrcTable()
        : value()
    {
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            value[n] = c;
        }
    }
};
constexpr CrcTable kCrc;

// The CRC-32 that PNG puts after each chunk.
quint32 crc32(const unsigned char* data, qsizetype length)
{
    quint32 c = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < length; ++i)
        c = kCrc.value[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

quint32 bigEndian32(const unsigned char* b)
{
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
}

// What libpng checks of a PNG's header: a size, and a bit depth that goes
// with the colour type.
bool isValidPngHeader(const unsigned char* ihdr, quint32 length)
{
    if (length != 13)
        return false;
    const quint32 width = bigEndian32(ihdr);
    const quint32 height = bigEndian32(ihdr + 4);
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
    // As Qt's reader refuses a picture too large for its allocation limit.
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    return limit <= 0 || qint64(width) * qint64(height) * 4 <= limit;
}

// Walks a PNG's chunks from its signature, as libpng reads them: a valid
// IHDR first, each chunk whole and its CRC right, image data, and IEND.
bool isWholePng(const QByteArray& bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype at = 8;
    bool first = true;
    bool data = false;
    while (n - at >= 12) {
        const quint32 length = bigEndian32(b + at);
        if (length > 0x7FFFFFFFu || qsizetype(length) > n - at - 12)
            return false;
        const unsigned char* type = b + at + 4;
        if (first && (std::memcmp(type, "IHDR", 4) != 0 || !isValidPngHeader(type + 4, length)))
            return false;
        if (crc32(type, qsizetype(length) + 4) != bigEndian32(type + 4 + length))
            return false;
        if (std::memcmp(type, "IEND", 4) == 0)
            return data;
        data = data || std::memcmp(type, "IDAT", 4) == 0;
        at += 12 + qsizetype(length);
        first = false;
    }
    return false;
}

} // namespace

bool isWholePicture(const QByteArray& bytes)
{
    const Container container = containerOf(bytes);
    // Most photos are PNG or JPEG: checked without making a reader, which
    // costs more than the check (Qt looks up its image plugins each time).
    if (container == Png)
        return isWholePng(bytes);
    if (container == Jpeg && !jpegReachesEnd(bytes))
        return false;
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&buffer, container == Jpeg ? "jpeg" : QByteArray());
    if (!reader.canRead())
        return false;
    if (container == Other)
        return !reader.read().isNull();
    // libjpeg has read every header up to the picture's data (an unknown
    // precision or table fails here), and the walk above found that data
    // whole. Decoding it would cost every pixel for nothing more: libjpeg
    // decodes damaged data without an error.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return false;
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    return limit <= 0 || qint64(size.width()) * size.height() * 4 <= limit;
}

} // namespace picturecheck
