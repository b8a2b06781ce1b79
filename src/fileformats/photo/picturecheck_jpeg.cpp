// SPDX-License-Identifier: GPL-3.0-or-later
// The JPEG walk of the photo check: its headers as libjpeg reads them, its
// data to the end marker.
#include "fileformats/photo/picturecheck_p.h"

#include <QtEndian>

#include <cstring>

namespace picturecheck::walk {

namespace {

using Byte = unsigned char;

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
    const quint32 height = qFromBigEndian<quint16>(s + 1);
    const quint32 width = qFromBigEndian<quint16>(s + 3);
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
        const qsizetype length = qsizetype(qFromBigEndian<quint16>(b + at));
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

} // namespace picturecheck::walk
