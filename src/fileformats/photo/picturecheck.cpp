// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/photo/picturecheck.h"

#include "fileformats/photo/picturecheck_p.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <zlib.h>

#include <cctype>
#include <limits>

namespace picturecheck {

namespace {

enum class Kind {
    Jpeg,
    Png,
    Gif,
    Bmp,
    Vector,
    // SVGZ or other compressed data, told apart by what they inflate to.
    Gzip,
    // Decoded and converted to PNG.
    Converted,
    // An icon or a cursor: converted, but measured by the picture inside.
    Icon,
    Unknown,
};

struct Sniffed {
    Kind kind = Kind::Unknown;
    // The Qt image format to decode it as.
    const char* format = nullptr;
};

struct Signature {
    QByteArrayView magic;
    Kind kind;
    const char* format;
};

// The bytes of a literal, a zero byte in it included.
template <size_t N>
constexpr QByteArrayView magic(const char (&literal)[N])
{
    return QByteArrayView(literal, N - 1);
}

// Formats by the bytes they start with. Qt's reader is only ever given a
// format named here, never left to guess: its SVG reader would take any
// text that starts like XML, and would inflate gzip data whole to look at
// it; its TGA and WBMP readers, formats without a signature, would take
// damaged bytes for a picture.
constexpr Signature kSignatures[] = {
    { magic("\xFF\xD8\xFF"), Kind::Jpeg, "jpeg" },
    { magic("\x89PNG\r\n\x1A\n"), Kind::Png, "png" },
    { magic("GIF87a"), Kind::Gif, "gif" },
    { magic("GIF89a"), Kind::Gif, "gif" },
    { magic("BM"), Kind::Bmp, "bmp" },
    { magic("\x1F\x8B"), Kind::Gzip, nullptr },
    { magic("II*\0"), Kind::Converted, "tiff" },
    { magic("MM\0*"), Kind::Converted, "tiff" },
    { magic("RIFF"), Kind::Converted, "webp" },
    { magic("\0\0\1\0"), Kind::Icon, "ico" },
    { magic("\0\0\2\0"), Kind::Icon, "cur" },
    { magic("icns"), Kind::Converted, "icns" },
    { magic("\x8AMNG\r\n\x1A\n"), Kind::Converted, "mng" },
    { magic("/* XPM */"), Kind::Converted, "xpm" },
    { magic("#define "), Kind::Converted, "xbm" },
};

// How far into SVG text its svg element must open.
constexpr qsizetype kSvgHead = 4096;

// SVG text: after a byte order mark and blanks, markup that opens an svg
// element within its first few kilobytes.
bool isSvgText(const QByteArray& bytes)
{
    QByteArrayView head(bytes.constData(), qMin<qsizetype>(bytes.size(), kSvgHead));
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    head = head.trimmed();
    return head.startsWith('<') && head.indexOf("<svg") >= 0;
}

// The first `limit` bytes that gzip data inflates to, or fewer where it
// ends or breaks off first; nothing past them is inflated.
QByteArray inflatedHead(const QByteArray& bytes, qsizetype limit)
{
    z_stream stream {};
    // 16 above the window size: a gzip header, not a zlib one.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return QByteArray();
    QByteArray head(limit, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = uInt(qMin<qsizetype>(bytes.size(), std::numeric_limits<uInt>::max()));
    stream.next_out = reinterpret_cast<Bytef*>(head.data());
    stream.avail_out = uInt(limit);
    while (stream.avail_out > 0 && stream.avail_in > 0 && inflate(&stream, Z_NO_FLUSH) == Z_OK) { }
    head.truncate(limit - qsizetype(stream.avail_out));
    inflateEnd(&stream);
    return head;
}

// A portable bitmap, grey map or pixmap: "P1" to "P6", then a blank.
const char* pnmFormat(const QByteArray& bytes)
{
    if (bytes.size() < 3 || bytes.at(0) != 'P' || !std::isspace(uchar(bytes.at(2))))
        return nullptr;
    switch (bytes.at(1)) {
    case '1': case '4': return "pbm";
    case '2': case '5': return "pgm";
    case '3': case '6': return "ppm";
    default: return nullptr;
    }
}

Sniffed sniff(const QByteArray& bytes)
{
    for (const Signature& signature : kSignatures) {
        if (bytes.startsWith(signature.magic)) {
            // RIFF holds sound and video too.
            if (signature.magic == "RIFF" && bytes.mid(8, 4) != "WEBP")
                return {};
            return { signature.kind, signature.format };
        }
    }
    if (isSvgText(bytes))
        return { Kind::Vector, nullptr };
    if (const char* format = pnmFormat(bytes))
        return { Kind::Converted, format };
    return {};
}

// As Qt's reader refuses a picture too large for its allocation limit.
bool fitsAllocationLimit(const walk::Declared& declared)
{
    if (declared.width <= 0 || declared.height <= 0)
        return false;
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    return limit <= 0 || declared.width * declared.height * 4 <= limit;
}

// Whether `photoSize` bytes may hold a picture of `pixels`.
bool plausible(qint64 pixels, qsizetype photoSize)
{
    return pixels > 0
        && (pixels <= kAlwaysConvertedPixels || pixels * 4 <= kMaxPixelBytesPerByte * qint64(photoSize));
}

// Qt's reader of a photo's bytes as `format`; where it cannot open them it
// reads nothing (canRead() is false).
class BytesReader {
public:
    BytesReader(const QByteArray& bytes, const char* format)
    {
        m_buffer.setData(bytes);
        if (m_buffer.open(QIODevice::ReadOnly))
            m_reader.setDevice(&m_buffer);
        m_reader.setFormat(format);
    }
    QImageReader* operator->() { return &m_reader; }

private:
    QBuffer m_buffer;
    QImageReader m_reader;
};

// The picture decoded as `format`, after its header's size was found
// plausible; null when either fails.
QImage decodedWithinBounds(const QByteArray& bytes, const char* format)
{
    BytesReader reader(bytes, format);
    if (!reader->canRead())
        return QImage();
    const QSize size = reader->size();
    const qint64 pixels = qint64(size.width()) * size.height();
    if (!size.isValid() || pixels > kMaxDecodedPixels || !plausible(pixels, bytes.size()))
        return QImage();
    return reader->read();
}

Checked keptIf(bool whole, const QByteArray& bytes)
{
    return whole ? Checked { Verdict::Keep, bytes, QSize() } : Checked();
}

Checked tooLarge(QSize size, QImageIOHandler::Transformations turn)
{
    return { Verdict::TooLarge, QByteArray(),
        turn & QImageIOHandler::TransformationRotate90 ? size.transposed() : size };
}

// What a picture's size is held to before it is decoded.
enum class Bound {
    // At most kMaxConvertedPixels, and plausible for the photo's bytes.
    SizeAndBytes,
    // At most kMaxConvertedPixels.
    Size,
};

// The picture decoded as `format` and written as PNG, turned as its header
// says, since a PNG carries no orientation. Its size, the one measured in
// it or else its header's, is held to `bound`.
Checked convertedToPng(const QByteArray& bytes, const char* format, QSize measured = QSize(),
                       Bound bound = Bound::SizeAndBytes)
{
    BytesReader reader(bytes, format);
    // Qt's reader would turn the picture into a second copy.
    reader->setAutoTransform(false);
    if (!reader->canRead())
        return Checked();
    const QSize size = measured.isValid() ? measured : reader->size();
    const qint64 pixels = qint64(size.width()) * size.height();
    if (!size.isValid() || (bound == Bound::SizeAndBytes && !plausible(pixels, bytes.size())))
        return Checked();
    const QImageIOHandler::Transformations turn = reader->transformation();
    if (pixels > kMaxConvertedPixels)
        return tooLarge(size, turn);
    const QByteArray png = convert::pngOf(reader->read(), turn);
    return png.isEmpty() ? Checked() : Checked { Verdict::KeepAsPng, png, QSize() };
}

// Qt's icon reader trusts the directory: a 16 by 16 entry may hold a PNG
// of 4000 by 4000 pixels, or the header of a bitmap far larger than the
// file, for which it allocates before it finds no pixels. A PNG inside is
// stored as it is, a whole picture that phones show, without decoding it;
// a bitmap is decoded only when its own size passes the bounds.
Checked iconChecked(const QByteArray& bytes, const char* format)
{
    const icon::Entry entry = icon::firstEntry(bytes);
    switch (entry.kind) {
    case icon::Kind::Png:
        if (!fitsAllocationLimit(entry.size))
            return Checked();
        if (entry.size.width * entry.size.height > kMaxConvertedPixels)
            return tooLarge(QSize(int(entry.size.width), int(entry.size.height)), {});
        return { Verdict::KeepAsPng, bytes.mid(entry.offset, entry.length), QSize() };
    case icon::Kind::Bitmap:
        // Past Qt's int, a size no bound passes.
        if (entry.size.width > 0xFFFF || entry.size.height > 0xFFFF)
            return Checked();
        return convertedToPng(bytes, format, QSize(int(entry.size.width), int(entry.size.height)));
    case icon::Kind::None:
        break;
    }
    return Checked();
}

// The GIF up to the end of its first image, on a screen of the size of the
// part `shown` of that image, with the image at its corner: Qt's reader
// draws that part alone, as it shows on the GIF's own screen.
QByteArray firstImageAlone(const QByteArray& bytes, const walk::GifImage& first, const walk::Declared& shown)
{
    QByteArray alone = bytes.left(first.end) + ';';
    qToLittleEndian<quint16>(quint16(shown.width), alone.data() + 6);
    qToLittleEndian<quint16>(quint16(shown.height), alone.data() + 8);
    qToLittleEndian<quint32>(0, alone.data() + first.descriptor + 1);
    return alone;
}

// The first frame of a GIF of several, in a colour table of its own, on a
// screen it does not cover. Qt's reader fills such a screen before it draws
// the frame, with the transparent colour or else the screen's background,
// and takes either from the frame's table, made but not yet read: a word of
// memory that differs from one run to the next. It is given the GIF without
// the screen's table, which names the background and which this frame does
// not use, so that it fills no background; a transparent fill keeps the
// memory's red, green and blue behind an alpha of zero, so every pixel of
// no alpha is stored as 0. Where nothing is drawn, around the frame or
// where its codes end short, the screen is then transparent.
Checked ownColoursOnClearScreen(const QByteArray& bytes, const char* format, const walk::GifImage& first)
{
    const QSize size(int(first.canvas.width), int(first.canvas.height));
    if (qint64(size.width()) * size.height() > kMaxConvertedPixels)
        return tooLarge(size, {});
    const qsizetype table = walk::colourTableSize(uchar(bytes.at(10)));
    QByteArray withoutTable = bytes.left(13) + bytes.mid(13 + table, first.end - 13 - table) + ';';
    withoutTable[10] = char(withoutTable.at(10) & 0x7F);
    // The reader goes with its hold on the picture, which is then changed
    // in place.
    QImage screen = BytesReader(withoutTable, format)->read();
    if (screen.depth() != 32 || !screen.reinterpretAsFormat(QImage::Format_ARGB32))
        return Checked();
    for (int y = 0; y < screen.height(); ++y) {
        auto* const line = reinterpret_cast<QRgb*>(screen.scanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                line[x] = 0;
        }
    }
    const QByteArray png = convert::pngOf(std::move(screen), {});
    return png.isEmpty() ? Checked() : Checked { Verdict::KeepAsPng, png, QSize() };
}

// The first frame of a GIF of several. Qt's reader draws it on the GIF's
// screen, however little of the screen it covers, and steps through every
// pixel its codes give, on the screen or off it. A GIF's codes pack a flat
// drawing far tighter than other formats' bytes (two frames of 1100 by
// 1000 pixels in 5 kB), so the work is bounded by those pixels, not by the
// bytes: the screen is drawn where it has at most kMaxScreenPerCodePixels
// times as many, or few (kAlwaysConvertedPixels). A screen mostly empty is
// not drawn: the part of the frame on it is drawn alone, where the codes
// give every pixel of that part, so that it shows as on the screen;
// otherwise the codes end short of it, and it is no whole picture.
Checked firstFrameAsPng(const QByteArray& bytes, const char* format, const walk::GifImage& first)
{
    const walk::Declared& frame = first.size;
    const qint64 given = walk::gifCodePixels(bytes, first, kMaxDecodedPixels);
    if (given > kMaxDecodedPixels) {
        if (frame.width * frame.height > kMaxConvertedPixels)
            return tooLarge(QSize(int(frame.width), int(frame.height)), {});
        return Checked();
    }
    const qint64 held = qMax(kAlwaysConvertedPixels, kMaxScreenPerCodePixels * given);
    const walk::Declared& canvas = first.canvas;
    if (canvas.width * canvas.height <= held) {
        if (!fitsAllocationLimit(canvas))
            return Checked();
        const bool covers = first.origin.width == 0 && first.origin.height == 0 && frame.width >= canvas.width
            && frame.height >= canvas.height;
        if (first.ownColours && !covers)
            return ownColoursOnClearScreen(bytes, format, first);
        return convertedToPng(bytes, format, QSize(int(canvas.width), int(canvas.height)), Bound::Size);
    }
    const walk::Declared shown {
        qMax<qint64>(0, qMin(first.origin.width + frame.width, canvas.width) - first.origin.width),
        qMax<qint64>(0, qMin(first.origin.height + frame.height, canvas.height) - first.origin.height),
    };
    // The codes reach the last pixel shown, after the frame's rows above it
    // (interlaced or not, Qt's reader draws each row of that part once).
    const qint64 pixels = shown.width * shown.height;
    if (pixels == 0 || given < (shown.height - 1) * frame.width + shown.width)
        return Checked();
    const QSize size(int(shown.width), int(shown.height));
    if (pixels > kMaxConvertedPixels)
        return tooLarge(size, {});
    return convertedToPng(firstImageAlone(bytes, first, shown), format, size, Bound::Size);
}

} // namespace

Checked check(const QByteArray& bytes)
{
    const Sniffed sniffed = sniff(bytes);
    walk::Declared declared;
    walk::GifImage firstImage;
    switch (sniffed.kind) {
    // Most photos are JPEG or PNG: checked without making a reader, which
    // costs more than the check (Qt looks up its image plugins each time).
    case Kind::Jpeg:
        return keptIf(walk::isWholeJpeg(bytes, declared) && fitsAllocationLimit(declared), bytes);
    case Kind::Png:
        return keptIf(walk::isWholePng(bytes, declared) && fitsAllocationLimit(declared), bytes);
    case Kind::Gif:
        switch (walk::walkGif(bytes, declared, firstImage)) {
        case walk::Gif::Whole:
            return keptIf(fitsAllocationLimit(declared), bytes);
        case walk::Gif::Frames:
            // A contact's photo is one picture: the animation's first frame.
            return firstFrameAsPng(bytes, sniffed.format, firstImage);
        case walk::Gif::NotWhole:
            break;
        }
        return Checked();
    case Kind::Bmp:
        return keptIf(!decodedWithinBounds(bytes, sniffed.format).isNull(), bytes);
    case Kind::Vector:
        return { Verdict::Vector, QByteArray(), QSize() };
    case Kind::Gzip:
        return { isSvgText(inflatedHead(bytes, kSvgHead)) ? Verdict::Vector : Verdict::Compressed,
            QByteArray(), QSize() };
    case Kind::Converted:
        return convertedToPng(bytes, sniffed.format);
    case Kind::Icon:
        return iconChecked(bytes, sniffed.format);
    case Kind::Unknown:
        break;
    }
    return Checked();
}

} // namespace picturecheck
