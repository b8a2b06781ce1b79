// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/picturecheck_p.h"

#include <cstring>

namespace picturecheck::walk {

namespace {

using Byte = unsigned char;

quint32 bigEndian16(const Byte* b)
{
    return quint32(b[0]) << 8 | b[1];
}

quint32 bigEndian32(const Byte* b)
{
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
}

quint32 littleEndian16(const Byte* b)
{
    return quint32(b[1]) << 8 | b[0];
}

// ---- JPEG

// What libjpeg (8-bit, as Qt's reader uses it) has learnt of the frame
// and the tables before the first scan.
struct JpegHeaders {
    bool seen = false;
    int components = 0;
    Byte ids[10] = {};
    // Sampling factors, 1 to 4 each.
    Byte horizontal[10] = {};
    Byte vertical[10] = {};
    Byte quantTable[10] = {};
    // The quantization tables defined, a bit each.
    unsigned quantTables = 0;
    // The Huffman tables defined, a bit each.
    unsigned dcTables = 0;
    unsigned acTables = 0;
    bool progressive = false;
    bool arithmetic = false;
    // A sequential picture whose first scan holds every component has
    // no other scan.
    bool oneScan = false;
};

// A frame header (SOF0, 1, 2, 9, 10) that libjpeg decodes, and one Qt's
// reader makes an image of: grey, YCbCr or RGB, CMYK or YCCK. `s` holds
// the segment after its length bytes.
bool readJpegFrame(Byte marker, const Byte* s, qsizetype length, JpegHeaders& frame, Declared& declared)
{
    frame.progressive = marker == 0xC2 || marker == 0xCA;
    frame.arithmetic = marker == 0xC9 || marker == 0xCA;
    if (frame.seen || length < 6)
        return false;
    const quint32 height = bigEndian16(s + 1);
    const quint32 width = bigEndian16(s + 3);
    const int components = s[5];
    constexpr quint32 kMaxDimension = 65500;
    if (s[0] != 8 || width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension)
        return false;
    if (!(components == 1 || components == 3 || components == 4) || length != 6 + 3 * qsizetype(components))
        return false;
    int widest = 0;
    int tallest = 0;
    for (int i = 0; i < components; ++i) {
        const Byte sampling = s[6 + 3 * i + 1];
        const int horizontal = sampling >> 4;
        const int vertical = sampling & 0x0F;
        if (horizontal < 1 || horizontal > 4 || vertical < 1 || vertical > 4)
            return false;
        frame.ids[i] = s[6 + 3 * i];
        frame.quantTable[i] = s[6 + 3 * i + 2];
        frame.horizontal[i] = Byte(horizontal);
        frame.vertical[i] = Byte(vertical);
        widest = qMax(widest, horizontal);
        tallest = qMax(tallest, vertical);
    }
    // libjpeg scales a component up only by whole factors.
    for (int i = 0; components > 1 && i < components; ++i) {
        if (widest % frame.horizontal[i] != 0 || tallest % frame.vertical[i] != 0)
            return false;
    }
    frame.seen = true;
    frame.components = components;
    declared = { width, height };
    return true;
}

// Huffman tables (DHT): each for DC or AC table 0-3, of up to 256 codes
// that fit their lengths with the code of all ones left free, a DC table's
// values 0-15; the segment used up exactly.
bool readJpegHuffmanTables(const Byte* s, qsizetype length, JpegHeaders& frame)
{
    while (length > 16) {
        const Byte index = s[0];
        int count = 0;
        quint32 code = 0;
        for (int bits = 1; bits <= 16; ++bits) {
            count += s[bits];
            code += s[bits];
            if (code >= quint32(1) << bits)
                return false;
            code <<= 1;
        }
        length -= 17;
        if (count > 256 || count > length || (index & 0x0F) > 3 || (index & 0xE0) != 0)
            return false;
        for (int i = 0; !(index & 0x10) && i < count; ++i) {
            if (s[17 + i] > 15)
                return false;
        }
        ((index & 0x10) ? frame.acTables : frame.dcTables) |= 1u << (index & 0x0F);
        s += 17 + count;
        length -= count;
    }
    return length == 0;
}

// Quantization tables (DQT): numbered 0-3, each whole (64 values of one or
// two bytes), the segment used up exactly.
bool readJpegQuantTables(const Byte* s, qsizetype length, JpegHeaders& frame)
{
    while (length > 0) {
        const Byte head = s[0];
        const qsizetype size = 1 + ((head >> 4) ? 128 : 64);
        if ((head & 0x0F) > 3 || size > length)
            return false;
        frame.quantTables |= 1u << (head & 0x0F);
        s += size;
        length -= size;
    }
    return length == 0;
}

// Arithmetic coding conditioning (DAC): pairs of table and value, a DC
// table's lower bound not above its upper one.
bool readJpegConditioning(const Byte* s, qsizetype length)
{
    for (; length >= 2; s += 2, length -= 2) {
        if (s[0] >= 32 || (s[0] < 16 && (s[1] & 0x0F) > (s[1] >> 4)))
            return false;
    }
    return length == 0;
}

// A scan header (SOS) after the frame: one to four of the frame's
// components, none twice.
bool readJpegScan(const Byte* s, qsizetype length, JpegHeaders& frame)
{
    if (!frame.seen || length < 1)
        return false;
    const int count = s[0];
    if (count < 1 || count > 4 || length != 4 + 2 * qsizetype(count))
        return false;
    int blocks = 0;
    for (int i = 0; i < count; ++i) {
        const Byte id = s[1 + 2 * i];
        for (int j = 0; j < i; ++j) {
            if (s[1 + 2 * j] == id)
                return false;
        }
        const void* found = std::memchr(frame.ids, id, size_t(frame.components));
        if (!found)
            return false;
        const qsizetype component = static_cast<const Byte*>(found) - frame.ids;
        blocks += frame.horizontal[component] * frame.vertical[component];
        // libjpeg takes the component's quantization table as the scan
        // starts.
        const Byte table = frame.quantTable[component];
        if (table > 3 || !(frame.quantTables & (1u << table)))
            return false;
    }
    // libjpeg decodes at most ten blocks of an interleaved scan at a time.
    if (count > 1 && blocks > 10)
        return false;
    const Byte* band = s + 1 + 2 * count;
    const int first = band[0];
    const int last = band[1];
    const int high = band[2] >> 4;
    const int low = band[2] & 0x0F;
    // A progressive scan holds the DC coefficients, or a band of one
    // component's AC ones, refined one bit at a time.
    if (frame.progressive
        && ((first == 0 ? last != 0 : first > last || last > 63 || count != 1) || (high != 0 && low != high - 1)
            || low > 13))
        return false;
    // The Huffman tables the scan decodes with must be there; for a
    // sequential picture libjpeg makes up tables 0 and 1 that a file
    // leaves out (video frames do).
    const bool dc = !frame.progressive || (first == 0 && high == 0);
    const bool ac = !frame.progressive || first > 0;
    const unsigned madeUp = frame.progressive ? 0 : 0b11;
    for (int i = 0; !frame.arithmetic && i < count; ++i) {
        const Byte tables = s[2 + 2 * i];
        if ((dc && !((frame.dcTables | madeUp) & (1u << (tables >> 4))))
            || (ac && !((frame.acTables | madeUp) & (1u << (tables & 0x0F)))))
            return false;
    }
    frame.oneScan = !frame.progressive && count == frame.components;
    return true;
}

// Whether libjpeg reads the segment of `marker` before the first scan.
bool readJpegSegment(Byte marker, const Byte* s, qsizetype length, JpegHeaders& frame, Declared& declared)
{
    switch (marker) {
    case 0xC0: case 0xC1: case 0xC2: case 0xC9: case 0xCA:
        return readJpegFrame(marker, s, length, frame, declared);
    case 0xC4:
        return readJpegHuffmanTables(s, length, frame);
    case 0xDB:
        return readJpegQuantTables(s, length, frame);
    case 0xCC:
        return readJpegConditioning(s, length);
    case 0xDD:
        return length == 2;
    case 0xDA:
        return readJpegScan(s, length, frame);
    case 0xDC: // number of lines, skipped
    case 0xFE: // comment
        return true;
    default:
        // Application segments; lossless, hierarchical and unknown
        // processes and markers are errors.
        return marker >= 0xE0 && marker <= 0xEF;
    }
}

} // namespace

// Stray bytes between segments are passed over, as libjpeg does. After
// the first scan header, the scans' entropy-coded data run up to the next
// marker that is neither a stuffed 0xFF00 nor a restart marker; later
// segments are passed by their lengths. Bytes after the end marker do not
// matter.
bool isWholeJpeg(const QByteArray& bytes, Declared& declared)
{
    const auto* b = reinterpret_cast<const Byte*>(bytes.constData());
    const qsizetype n = bytes.size();
    JpegHeaders frame;
    bool scanned = false;
    qsizetype at = 2;
    while (at < n) {
        const void* ff = std::memchr(b + at, 0xFF, size_t(n - at));
        if (!ff)
            return false;
        at = static_cast<const Byte*>(ff) - b;
        while (at < n && b[at] == 0xFF)
            ++at;
        if (at == n)
            return false;
        const Byte marker = b[at++];
        if (marker == 0xD9)
            return scanned;
        // A second start marker before the image is an error to libjpeg.
        if (marker == 0xD8 && !scanned)
            return false;
        // Markers without a segment.
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        if (n - at < 2)
            return false;
        const qsizetype length = qsizetype(bigEndian16(b + at));
        if (length < 2 || n - at < length)
            return false;
        if (!scanned && !readJpegSegment(marker, b + at + 2, length - 2, frame, declared))
            return false;
        if (scanned && marker == 0xDA && frame.oneScan)
            return false;
        at += length;
        if (marker != 0xDA)
            continue;
        scanned = true;
        // The scan's data: a 0xFF in it is followed by 0x00 or a restart
        // marker; anything else is the next marker.
        for (;;) {
            const void* next = std::memchr(b + at, 0xFF, size_t(n - at));
            if (!next)
                return false;
            at = static_cast<const Byte*>(next) - b;
            if (at + 1 == n)
                return false;
            const Byte after = b[at + 1];
            if (after != 0x00 && !(after >= 0xD0 && after <= 0xD7))
                break;
            at += 2;
        }
    }
    return false;
}

// ---- PNG

namespace {

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
quint32 crc32(const Byte* data, qsizetype length)
{
    quint32 c = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < length; ++i)
        c = kCrc.value[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// What libpng checks of a PNG's header: a size, and a bit depth that goes
// with the colour type.
bool readPngHeader(const Byte* ihdr, quint32 length, Declared& declared)
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
    const auto* b = reinterpret_cast<const Byte*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype at = 8;
    bool first = true;
    bool data = false;
    while (n - at >= 12) {
        const quint32 length = bigEndian32(b + at);
        if (length > 0x7FFFFFFFu || qsizetype(length) > n - at - 12)
            return false;
        const Byte* type = b + at + 4;
        if (!isChunkName(type))
            return false;
        if (first && (std::memcmp(type, "IHDR", 4) != 0 || !readPngHeader(type + 4, length, declared)))
            return false;
        // An ancillary chunk (lower-case first letter: text, gamma, time)
        // with a wrong CRC is dropped by libpng with a warning; a critical
        // one is an error.
        const bool critical = !(type[0] & 0x20);
        if (critical && crc32(type, qsizetype(length) + 4) != bigEndian32(type + 4 + length))
            return false;
        if (std::memcmp(type, "IEND", 4) == 0)
            return data;
        data = data || std::memcmp(type, "IDAT", 4) == 0;
        at += 12 + qsizetype(length);
        first = false;
    }
    return false;
}

// ---- GIF

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

bool isWholeGif(const QByteArray& bytes, Declared& declared)
{
    const auto* b = reinterpret_cast<const Byte*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 13)
        return false;
    declared = { littleEndian16(b + 6), littleEndian16(b + 8) };
    qsizetype at = 13 + colourTableSize(b[10]);
    bool image = false;
    while (at < n) {
        const Byte block = b[at++];
        if (block == 0x3B)
            return image;
        if (block == 0x21) {
            // The extension's label, then its sub-blocks.
            ++at;
        } else if (block == 0x2C) {
            if (n - at < 9)
                return false;
            // A screen of no size takes its first image's (Qt's reader
            // does the same).
            if (!image && (declared.width == 0 || declared.height == 0))
                declared = { littleEndian16(b + at + 4), littleEndian16(b + at + 6) };
            at += 9 + colourTableSize(b[at + 8]);
            // The LZW code size, as far as Qt's reader decodes.
            if (at >= n || b[at] > 12)
                return false;
            ++at;
            image = true;
        } else {
            return false;
        }
        if (at > n || !passSubBlocks(b, n, at))
            return false;
    }
    return false;
}

} // namespace picturecheck::walk
