// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/photo/picturecheck.h"
#include "bigpictures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTest>
#include <QtEndian>

#include <zlib.h>

using picturecheck::Verdict;
Q_DECLARE_METATYPE(picturecheck::Verdict)

namespace {

QImage sample(int width = 40, int height = 24)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 10, (x * y) % 256));
    }
    return image;
}

QByteArray written(const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(sample());
    return bytes;
}

QByteArray flipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes.at(at) ^ 0x10);
    return bytes;
}

// The PNG with the CRC of its first chunk named `type` made wrong.
QByteArray wrongCrc(const QByteArray& png, const char* type)
{
    const qsizetype at = png.indexOf(type);
    const quint32 length = qFromBigEndian<quint32>(png.constData() + at - 4);
    return flipped(png, at + 4 + qsizetype(length));
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

// A PNG with a text chunk before its data, as a photo editor writes its
// name into it.
QByteArray withTextChunk(const QByteArray& png)
{
    const QByteArray body = QByteArray("tEXt") + "Software" + '\0' + "Darkroom 3";
    const QByteArray chunk = bigEndian32(quint32(body.size() - 4)) + body
        + bigEndian32(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
    QByteArray out = png;
    return out.insert(png.indexOf("IDAT") - 4, chunk);
}

// A GIF of `frames` images of `width` by `height` pixels in four colours
// on a screen of its own size, or of `screen`; its LZW codes are written
// three bits wide with a clear code before every second pixel, so the
// table never grows. Each frame's colours start one further on.
QByteArray gifOfFrames(int frames, int width, int height, QSize screen = QSize())
{
    if (!screen.isValid())
        screen = QSize(width, height);
    const auto le16 = [](int v) { return QByteArray(1, char(v)) + char(v >> 8); };
    QByteArray bytes = "GIF89a" + le16(screen.width()) + le16(screen.height()) + QByteArray("\x81\x00\x00", 3);
    bytes += QByteArray("\x00\x00\x00\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF", 12);
    for (int frame = 0; frame < frames; ++frame) {
        bytes += "\x2C" + le16(0) + le16(0) + le16(width) + le16(height) + QByteArray("\x00\x02", 2);
        QByteArray data;
        quint32 bits = 0;
        int count = 0;
        const auto put = [&](int code) {
            bits |= quint32(code) << count;
            count += 3;
            while (count >= 8) {
                data += char(bits & 0xFF);
                bits >>= 8;
                count -= 8;
            }
        };
        for (int pixel = 0; pixel < width * height; ++pixel) {
            if (pixel % 2 == 0)
                put(4);
            put((pixel / 3 + frame) % 4);
        }
        put(5);
        if (count > 0)
            data += char(bits);
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            bytes += char(block.size()) + block;
        }
        bytes += '\0';
    }
    return bytes + ';';
}

// A GIF of 8 by 4 pixels.
QByteArray gif()
{
    return gifOfFrames(1, 8, 4);
}

// An animated avatar of two frames of 1100 by 1000 pixels, a box that
// moves on a plain ground: 5 kB.
QByteArray movingBox()
{
    return bigpictures::packedGif(2, 1100, 1000, 1100, 1000, [](int frame, int x, int y) {
        return x >= 400 + 50 * frame && x < 700 + 50 * frame && y >= 350 && y < 550 ? 1 : 0;
    });
}

// Two frames of `width` by `height` at `left`, `top` on a screen of
// `screenWidth` by `screenHeight`, of which the first `written` pixels are
// written.
QByteArray packedFrames(int width, int height, int screenWidth, int screenHeight, qint64 written = -1,
                        int left = 0, int top = 0)
{
    return bigpictures::packedGif(
        2, width, height, screenWidth, screenHeight, [](int frame, int x, int y) { return (x + y + frame) % 4; },
        written, left, top);
}

// A grey TIFF of `width` by `height` pixels in one uncompressed strip,
// with `present` of its pixel bytes.
QByteArray tiff(quint32 width, quint32 height, qsizetype present)
{
    const auto le16 = [](quint32 v) { return QByteArray(1, char(v)) + char(v >> 8); };
    const auto le32 = [&](quint32 v) { return le16(v & 0xFFFF) + le16(v >> 16); };
    const auto entry = [&](quint32 tag, quint32 type, quint32 value) {
        return le16(tag) + le16(type) + le32(1) + (type == 3 ? le16(value) + le16(0) : le32(value));
    };
    const quint32 entries = 8;
    const quint32 pixels = 8 + 2 + entries * 12 + 4;
    QByteArray bytes = QByteArray("II*\0", 4) + le32(8) + le16(entries);
    bytes += entry(256, 4, width) + entry(257, 4, height) + entry(258, 3, 8) + entry(259, 3, 1)
        + entry(262, 3, 1) + entry(273, 4, pixels) + entry(278, 4, height) + entry(279, 4, width * height);
    bytes += le32(0);
    QByteArray data(present, '\0');
    for (qsizetype i = 0; i < present; ++i)
        data[i] = char((i % width) * 255 / qMax<quint32>(1, width - 1));
    return bytes + data;
}

const QByteArray kSvg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5000\" height=\"5000\">"
                        "<circle cx=\"2500\" cy=\"2500\" r=\"2000\" fill=\"#2a6\"/></svg>\n";

// gzip data: `head`, then `filler` bytes of blanks.
QByteArray gzipped(const QByteArray& head, qint64 filler)
{
    z_stream stream {};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + 15, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    QByteArray chunk(1 << 16, '\0');
    const QByteArray blanks(1 << 20, ' ');
    const auto pump = [&](const QByteArray& in, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        stream.avail_in = uInt(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
            stream.avail_out = uInt(chunk.size());
            deflate(&stream, flush);
            out.append(chunk.constData(), chunk.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    pump(head, Z_NO_FLUSH);
    for (qint64 left = filler; left > 0; left -= blanks.size())
        pump(blanks.left(qMin<qint64>(left, blanks.size())), Z_NO_FLUSH);
    pump(QByteArray(), Z_FINISH);
    deflateEnd(&stream);
    return out;
}

// A figure of the process's memory in MB, as the kernel tells it
// ("VmRSS:", "VmHWM:" the peak since resetPeak()); -1 where it does not.
qint64 memoryMegabytes(const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return -1;
}

bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace

class TestPictureCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void tellsWholePicturesFromTheRest_data();
    void tellsWholePicturesFromTheRest();
    void convertsWithTheSamePixels_data();
    void convertsWithTheSamePixels();
    void keepsNoJpegQtDoesNotRead_data();
    void keepsNoJpegQtDoesNotRead();
    void leavesACompressedSvgOutWithoutInflatingIt();
    void namesGzipDataByWhatItHolds_data();
    void namesGzipDataByWhatItHolds();
    void measuresThePictureInsideAnIcon_data();
    void measuresThePictureInsideAnIcon();
    void convertsTurnedAsItsHeaderSays_data();
    void convertsTurnedAsItsHeaderSays();
    void decodesNoBigPictureItLeavesOutOrStoresAsItIs_data();
    void decodesNoBigPictureItLeavesOutOrStoresAsItIs();
};

void TestPictureCheck::initTestCase()
{
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    QVERIFY2(formats.contains("tiff") && formats.contains("webp"),
             "Qt's image format plugins are missing: run tools/deps.sh");
}

void TestPictureCheck::tellsWholePicturesFromTheRest_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    const QByteArray png = written("PNG");
    const QByteArray jpeg = written("JPEG");
    const QByteArray bmp = written("BMP");
    const QByteArray tif = written("TIFF");
    const QByteArray webp = written("WEBP");
    const qsizetype idat = png.indexOf("IDAT");
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    QTest::newRow("PNG") << png << Verdict::Keep;
    QTest::newRow("PNG without its end") << png.left(png.size() - 12) << Verdict::NotWhole;
    QTest::newRow("PNG cut inside its data") << png.left(idat + 20) << Verdict::NotWhole;
    QTest::newRow("PNG with a damaged byte in its data") << flipped(png, idat + 10) << Verdict::NotWhole;
    // libpng drops an ancillary chunk whose CRC is wrong with a warning.
    QTest::newRow("PNG with a text chunk") << withTextChunk(png) << Verdict::Keep;
    QTest::newRow("PNG with a wrong CRC of its text chunk") << wrongCrc(withTextChunk(png), "tEXt") << Verdict::Keep;
    QTest::newRow("PNG with a wrong CRC of its header") << wrongCrc(png, "IHDR") << Verdict::NotWhole;
    QTest::newRow("PNG with a wrong CRC of its data") << wrongCrc(png, "IDAT") << Verdict::NotWhole;
    QTest::newRow("PNG with a wrong CRC of its end") << wrongCrc(png, "IEND") << Verdict::NotWhole;
    QTest::newRow("PNG with a chunk name that is no word")
        << QByteArray(withTextChunk(png)).replace("tEXt", "t3Xt") << Verdict::NotWhole;
    QTest::newRow("JPEG") << jpeg << Verdict::Keep;
    QTest::newRow("progressive JPEG") << written("JPEG", true) << Verdict::Keep;
    QTest::newRow("JPEG with bytes after its end") << jpeg + QByteArray(40, '\0') << Verdict::Keep;
    // libjpeg decodes these without an error, the missing part grey.
    QTest::newRow("JPEG cut short") << jpeg.left(jpeg.size() / 2) << Verdict::NotWhole;
    QTest::newRow("JPEG without its end marker") << jpeg.left(jpeg.size() - 2) << Verdict::NotWhole;
    QTest::newRow("JPEG headers only") << jpeg.left(scan) << Verdict::NotWhole;
    // libjpeg refuses these before the first scan.
    QTest::newRow("JPEG of 12-bit samples") << QByteArray(jpeg).replace(frame + 4, 1, "\x0C") << Verdict::NotWhole;
    QTest::newRow("JPEG of the lossless process") << QByteArray(jpeg).replace(frame + 1, 1, "\xC3") << Verdict::NotWhole;
    QTest::newRow("JPEG with an end marker before its scan")
        << QByteArray(jpeg).insert(scan, "\xFF\xD9") << Verdict::NotWhole;
    QTest::newRow("GIF") << gif() << Verdict::Keep;
    QTest::newRow("GIF without its trailer") << gif().chopped(1) << Verdict::NotWhole;
    QTest::newRow("GIF cut inside its image") << gif().left(40) << Verdict::NotWhole;
    // Only the first frame is stored: nothing after it need be whole.
    const QByteArray frames = gifOfFrames(3, 232, 170);
    const qsizetype second = frames.indexOf("\x2C\x00\x00\x00\x00\xE8\x00", 30);
    QTest::newRow("GIF of three frames") << frames << Verdict::KeepAsPng;
    QTest::newRow("GIF of three frames without its trailer") << frames.chopped(1) << Verdict::KeepAsPng;
    QTest::newRow("GIF of three frames cut inside its second") << frames.left(second + 40) << Verdict::KeepAsPng;
    QTest::newRow("GIF of three frames cut inside its first") << frames.left(second - 40) << Verdict::NotWhole;
    QTest::newRow("GIF of three frames cut right after its first") << frames.left(second) << Verdict::NotWhole;
    QTest::newRow("GIF of three frames, a byte no block starts with after its first")
        << QByteArray(frames).insert(second, '\0') << Verdict::NotWhole;
    // Its frame alone, without the empty screen.
    QTest::newRow("GIF of two frames on a screen of 60000 by 60000")
        << gifOfFrames(2, 8, 4, QSize(60000, 60000)) << Verdict::KeepAsPng;
    // A GIF packs a flat drawing far tighter than other formats a photo:
    // it is bounded by its frame and screen, not by its bytes.
    const QByteArray box = movingBox();
    QTest::newRow("GIF of two frames of 1100 by 1000 in 5 kB") << box << Verdict::KeepAsPng;
    QTest::newRow("GIF of two frames of 1100 by 1000 cut inside its first")
        << box.left(box.size() / 3) << Verdict::NotWhole;
    QTest::newRow("GIF of two frames of 2 by 2 on a screen of 1400 by 1400")
        << packedFrames(2, 2, 1400, 1400) << Verdict::KeepAsPng;
    QTest::newRow("GIF of two frames, the first declaring 65535 by 65535, on a screen of 100 by 100")
        << packedFrames(65535, 65535, 100, 100, 16) << Verdict::KeepAsPng;
    QTest::newRow("GIF of two frames of 2 by 2 on a screen of 65535 by 65535")
        << packedFrames(2, 2, 65535, 65535) << Verdict::KeepAsPng;
    QTest::newRow("BMP, decoded") << bmp << Verdict::Keep;
    QTest::newRow("BMP header only") << bmp.left(30) << Verdict::NotWhole;
    QTest::newRow("TIFF") << tif << Verdict::KeepAsPng;
    QTest::newRow("TIFF cut short") << tif.left(tif.size() / 2) << Verdict::NotWhole;
    QTest::newRow("TIFF of 2 megapixels") << tiff(1600, 1250, 1600 * 1250) << Verdict::KeepAsPng;
    // Refused by the header alone: the photo is too small for its size.
    QTest::newRow("TIFF declaring 2 megapixels in 300 bytes") << tiff(1600, 1250, 190) << Verdict::NotWhole;
    QTest::newRow("TIFF declaring 400 megapixels") << tiff(20000, 20000, 20000) << Verdict::NotWhole;
    QTest::newRow("WebP") << webp << Verdict::KeepAsPng;
    QTest::newRow("WebP cut short") << webp.left(webp.size() / 2) << Verdict::NotWhole;
    QTest::newRow("RIFF sound") << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << Verdict::NotWhole;
    QTest::newRow("PPM") << written("PPM") << Verdict::KeepAsPng;
    QTest::newRow("SVG") << kSvg << Verdict::Vector;
    QTest::newRow("SVG without a declaration, after a byte order mark")
        << "\xEF\xBB\xBF\n" + kSvg.mid(kSvg.indexOf("<svg")) << Verdict::Vector;
    QTest::newRow("SVGZ") << gzipped(kSvg, 0) << Verdict::Vector;
    QTest::newRow("XML that is no SVG") << QByteArray("<?xml version=\"1.0\"?><photo>lucas.jpg</photo>")
                                        << Verdict::NotWhole;
    QTest::newRow("a path") << QByteArray("C:\\Users\\lucas\\Pictures\\lucas.jpg") << Verdict::NotWhole;
    QTest::newRow("base64 text of a PNG") << png.toBase64() << Verdict::NotWhole;
    QTest::newRow("nothing") << QByteArray() << Verdict::NotWhole;
}

void TestPictureCheck::tellsWholePicturesFromTheRest()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    const picturecheck::Checked checked = picturecheck::check(bytes);
    QCOMPARE(checked.verdict, verdict);
    if (verdict == Verdict::Keep)
        QCOMPARE(checked.picture, bytes);
    else if (verdict != Verdict::KeepAsPng)
        QVERIFY(checked.picture.isEmpty());
}

void TestPictureCheck::convertsWithTheSamePixels_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // The part of Qt's picture stored, where it is not the whole.
    QTest::addColumn<QRect>("part");
    // Where the stored picture shows Qt's, where not all of it does: around
    // it nothing is drawn, and it is transparent.
    QTest::addColumn<QRect>("drawn");
    QTest::newRow("TIFF") << written("TIFF") << QRect() << QRect();
    QTest::newRow("WebP") << written("WEBP") << QRect() << QRect();
    QTest::newRow("icon") << written("ICO") << QRect() << QRect();
    QTest::newRow("grey TIFF of 2 megapixels") << tiff(1600, 1250, 1600 * 1250) << QRect() << QRect();
    QTest::newRow("GIF of three frames, its first") << gifOfFrames(3, 232, 170) << QRect() << QRect();
    QTest::newRow("GIF of two frames smaller than its screen, its first")
        << gifOfFrames(2, 30, 20, QSize(40, 30)) << QRect() << QRect();
    QTest::newRow("GIF of two frames of 1100 by 1000 in 5 kB, its first") << movingBox() << QRect() << QRect();
    QTest::newRow("GIF of two frames of 2 by 2 on a screen of 1400 by 1400, its first")
        << packedFrames(2, 2, 1400, 1400) << QRect(0, 0, 2, 2) << QRect();
    QTest::newRow("GIF of two frames larger than its screen, its first")
        << packedFrames(300, 200, 120, 80) << QRect() << QRect();
    QTest::newRow("GIF of two frames at 1200, 1100 on a screen of no size, its first")
        << packedFrames(300, 200, 0, 0, -1, 1200, 1100) << QRect(1200, 1100, 300, 200) << QRect();
    QTest::newRow("GIF of two frames reaching past the corner of a screen of 2000 by 2000, its first")
        << packedFrames(800, 800, 2000, 2000, -1, 1700, 1700) << QRect(1700, 1700, 300, 300) << QRect();
    // A first frame of colours of its own that leaves part of its screen
    // uncovered: stored the same on every run.
    const auto busy = [](int frame, int x, int y) { return (x / 3 + y + frame) % 4; };
    QTest::newRow("GIF of two frames of their own colours inside their screen, its first")
        << bigpictures::packedGif(2, 30, 20, 40, 30, busy, -1, 5, 6, true) << QRect() << QRect(5, 6, 30, 20);
}

// What phones are given shows what Qt's reader shows of the photo itself.
void TestPictureCheck::convertsWithTheSamePixels()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QRect, part);
    QFETCH(QRect, drawn);
    const picturecheck::Checked checked = picturecheck::check(bytes);
    QCOMPARE(checked.verdict, Verdict::KeepAsPng);
    QVERIFY(checked.picture.startsWith("\x89PNG\r\n\x1A\n"));
    for (int again = 0; again < 4; ++again)
        QCOMPARE(picturecheck::check(bytes).picture, checked.picture);
    const QImage stored = QImage::fromData(checked.picture, "PNG").convertToFormat(QImage::Format_ARGB32);
    const QImage original = QImage::fromData(bytes).copy(part).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!original.isNull());
    if (!drawn.isValid()) {
        QCOMPARE(stored, original);
        return;
    }
    QCOMPARE(stored.size(), original.size());
    QCOMPARE(stored.copy(drawn), original.copy(drawn));
    for (int y = 0; y < stored.height(); ++y) {
        for (int x = 0; x < stored.width(); ++x) {
            if (!drawn.contains(x, y))
                QCOMPARE(stored.pixel(x, y), 0u);
        }
    }
}

void TestPictureCheck::keepsNoJpegQtDoesNotRead_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::newRow("baseline") << written("JPEG");
    QTest::newRow("progressive") << written("JPEG", true);
    QByteArray grey;
    QBuffer buffer(&grey);
    buffer.open(QIODevice::WriteOnly);
    sample().convertToFormat(QImage::Format_Grayscale8).save(&buffer, "JPEG");
    QTest::newRow("grey") << grey;
}

// Every byte of the headers up to the first scan's data changed in turn:
// a JPEG the check keeps is one Qt's reader decodes.
void TestPictureCheck::keepsNoJpegQtDoesNotRead()
{
    QFETCH(QByteArray, jpeg);
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    const qsizetype data = scan + 2 + uchar(jpeg.at(scan + 3));
    int kept = 0;
    for (qsizetype at = 2; at < data; ++at) {
        for (const uchar change : { 0x01, 0x02, 0x04, 0x10, 0x20, 0x40, 0x80, 0xFF }) {
            QByteArray damaged = jpeg;
            damaged[at] = char(uchar(damaged.at(at)) ^ change);
            if (picturecheck::check(damaged).verdict != Verdict::Keep)
                continue;
            ++kept;
            QVERIFY2(!QImage::fromData(damaged, "JPEG").isNull(),
                     qPrintable(QStringLiteral("byte %1 changed by %2").arg(at).arg(change)));
        }
    }
    // Most changes land in tables and comments that libjpeg reads anyway.
    QVERIFY(kept > 0);
}

// An SVGZ photo of 300 MB inflated: left out with no more memory than a few
// times its compressed size.
void TestPictureCheck::leavesACompressedSvgOutWithoutInflatingIt()
{
    const QByteArray head = kSvg.left(kSvg.indexOf("<circle")) + "<!--";
    const QByteArray bomb = gzipped(head, 300LL * 1024 * 1024);
    QVERIFY(bomb.size() < 2 * 1024 * 1024);
    if (!resetPeak())
        QSKIP("this system does not let a process reset its peak memory");
    const qint64 before = memoryMegabytes("VmRSS:");
    const picturecheck::Checked checked = picturecheck::check(bomb);
    const qint64 peak = memoryMegabytes("VmHWM:");
    QCOMPARE(checked.verdict, Verdict::Vector);
    QVERIFY2(peak - before < 32, qPrintable(QStringLiteral("%1 MB more at the peak").arg(peak - before)));
}

void TestPictureCheck::namesGzipDataByWhatItHolds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Lina;;;\r\nEND:VCARD\r\n";
    QTest::newRow("SVGZ") << gzipped(kSvg, 0) << Verdict::Vector;
    const QByteArray commented
        = "<?xml version=\"1.0\"?>\n<!--" + QByteArray(3000, '-') + "-->\n" + kSvg.mid(kSvg.indexOf("<svg"));
    QTest::newRow("SVGZ, 3 kB of comment before its svg element") << gzipped(commented, 0) << Verdict::Vector;
    QTest::newRow("gzip of a vCard") << gzipped(card, 0) << Verdict::Compressed;
    QTest::newRow("gzip of a JPEG") << gzipped(written("JPEG"), 0) << Verdict::Compressed;
    QTest::newRow("gzip of 10 MB of blanks")
        << gzipped(QByteArray(), 10 * 1024 * 1024) << Verdict::Compressed;
    QTest::newRow("gzip cut after its header") << gzipped(card, 0).left(10) << Verdict::Compressed;
    QTest::newRow("gzip with a damaged header") << flipped(gzipped(kSvg, 0), 2) << Verdict::Compressed;
}

// Only the first kilobytes are inflated: enough to tell SVG text.
void TestPictureCheck::namesGzipDataByWhatItHolds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    const picturecheck::Checked checked = picturecheck::check(bytes);
    QCOMPARE(checked.verdict, verdict);
    QVERIFY(checked.picture.isEmpty());
}

void TestPictureCheck::measuresThePictureInsideAnIcon_data()
{
    using bigpictures::bitmapHeader;
    using bigpictures::icon;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    // What is stored, where it is the picture inside as it is.
    QTest::addColumn<QByteArray>("stored");
    const QByteArray big = bigpictures::flatPng(4000, 4000);
    const QByteArray small = written("PNG");
    const QByteArray pixels(16 * 16 * 4 + 16 * 4, '\x7F');
    QTest::newRow("icon listing 16 pixels, holding a PNG of 4000 by 4000")
        << icon(big, 16) << Verdict::KeepAsPng << big;
    QTest::newRow("cursor listing 256 pixels, holding a PNG of 40 by 24")
        << icon(small, 0, 2) << Verdict::KeepAsPng << small;
    QTest::newRow("icon holding a PNG cut short")
        << icon(big.chopped(12), 16) << Verdict::NotWhole << QByteArray();
    QTest::newRow("icon holding a bitmap of 16 by 16")
        << icon(bitmapHeader(16, 16) + pixels, 16) << Verdict::KeepAsPng << QByteArray();
    QTest::newRow("icon listing 16 pixels, holding the header of a bitmap of 4096 by 4096")
        << icon(bitmapHeader(4096, 4096), 16) << Verdict::NotWhole << QByteArray();
    QTest::newRow("icon listing 16 pixels, holding the header of a bitmap of 70000 by 16")
        << icon(bitmapHeader(70000, 16) + pixels, 16) << Verdict::NotWhole << QByteArray();
    QByteArray pastItsEnd = icon(small, 40);
    pastItsEnd.replace(18, 4, bigpictures::littleEndian32(quint32(pastItsEnd.size())));
    QTest::newRow("icon whose picture starts past its end")
        << pastItsEnd << Verdict::NotWhole << QByteArray();
}

// The directory lists a size; the picture's own header says what it is.
void TestPictureCheck::measuresThePictureInsideAnIcon()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    QFETCH(QByteArray, stored);
    const picturecheck::Checked checked = picturecheck::check(bytes);
    QCOMPARE(checked.verdict, verdict);
    if (!stored.isEmpty())
        QCOMPARE(checked.picture, stored);
    if (verdict == Verdict::KeepAsPng)
        QVERIFY(!QImage::fromData(checked.picture, "PNG").isNull());
}

void TestPictureCheck::convertsTurnedAsItsHeaderSays_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QImage rgba = sample(41, 23).convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < rgba.width(); ++x)
        rgba.setPixel(x, 5, qRgba(200, 100, 50, x * 6));
    const QImage grey = sample(41, 23).convertToFormat(QImage::Format_Grayscale8);
    // Rows of whole words: turned in place, a byte and eight bytes a pixel.
    const QImage greyUnpadded = sample(40, 23).convertToFormat(QImage::Format_Grayscale8);
    const QImage deep = rgba.convertToFormat(QImage::Format_RGBA64);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        // The TIFF orientations 1 to 8, as Qt names them.
        static const QImageIOHandler::Transformations turns[] = {
            QImageIOHandler::TransformationNone, QImageIOHandler::TransformationMirror,
            QImageIOHandler::TransformationRotate180, QImageIOHandler::TransformationFlip,
            QImageIOHandler::TransformationFlipAndRotate90, QImageIOHandler::TransformationRotate90,
            QImageIOHandler::TransformationMirrorAndRotate90, QImageIOHandler::TransformationRotate270,
        };
        for (const auto& [name, image] : { std::pair { "RGBA", rgba }, std::pair { "grey", grey },
                                           std::pair { "grey 40 wide", greyUnpadded },
                                           std::pair { "16-bit RGBA", deep } }) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "tiff");
            writer.setTransformation(turns[orientation - 1]);
            writer.write(image);
            QTest::addRow("%s TIFF, orientation %d", name, orientation) << bytes;
        }
        QTest::addRow("RGBA TIFF of unassociated alpha, orientation %d", orientation)
            << bigpictures::rgbaTiff(37, 19, orientation);
    }
    QTest::newRow("RGBA TIFF of 1000 by 999, turned a quarter") << bigpictures::rgbaTiff(1000, 999, 6);
}

// What phones are given shows what Qt's reader shows, turned as the
// header says.
void TestPictureCheck::convertsTurnedAsItsHeaderSays()
{
    QFETCH(QByteArray, bytes);
    const picturecheck::Checked checked = picturecheck::check(bytes);
    QCOMPARE(checked.verdict, Verdict::KeepAsPng);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "tiff");
    reader.setAutoTransform(true);
    const QImage original = reader.read();
    QVERIFY(!original.isNull());
    const QImage stored = QImage::fromData(checked.picture, "PNG");
    QCOMPARE(stored.convertToFormat(QImage::Format_ARGB32), original.convertToFormat(QImage::Format_ARGB32));
}

void TestPictureCheck::decodesNoBigPictureItLeavesOutOrStoresAsItIs_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    // The size named, as the picture shows; or that of a PNG stored.
    QTest::addColumn<QSize>("size");
    QTest::newRow("icon listing 16 pixels, holding a PNG of 4000 by 4000")
        << bigpictures::icon(bigpictures::flatPng(4000, 4000), 16) << Verdict::KeepAsPng << QSize();
    QTest::newRow("icon listing 16 pixels, holding a PNG of 4001 by 4000")
        << bigpictures::icon(bigpictures::flatPng(4001, 4000), 16) << Verdict::TooLarge << QSize(4001, 4000);
    // 24 megapixels in 1.9 MB, a size the bytes make plausible.
    const QByteArray tiff = bigpictures::rgbaTiff(4000, 6000, 1);
    QTest::newRow("RGBA TIFF of 4000 by 6000") << tiff << Verdict::TooLarge << QSize(4000, 6000);
    QTest::newRow("RGBA TIFF of 4000 by 6000, turned a quarter")
        << bigpictures::withOrientation(tiff, 6) << Verdict::TooLarge << QSize(6000, 4000);
    // Where a frame covers less than a quarter of its screen, the frame
    // alone, the size its picture has.
    QTest::newRow("GIF of two frames on a screen of 4001 by 4000")
        << gifOfFrames(2, 1000, 1000, QSize(4001, 4000)) << Verdict::KeepAsPng << QSize(1000, 1000);
    // Its first frame alone is decoded.
    QTest::newRow("GIF of 100000 frames") << gifOfFrames(100000, 16, 16) << Verdict::KeepAsPng << QSize();
    // Past 16 megapixels, however few its bytes: a frame's codes may hold
    // thousands of pixels a byte.
    QTest::newRow("GIF of two frames of 2 by 2 on a screen of 4001 by 4000")
        << packedFrames(2, 2, 4001, 4000) << Verdict::KeepAsPng << QSize(2, 2);
    QTest::newRow("GIF of two frames of 16 by 16 on a screen of 4000 by 4000, in 200 bytes")
        << packedFrames(16, 16, 4000, 4000) << Verdict::KeepAsPng << QSize(16, 16);
    QTest::newRow("GIF of two frames of 1 by 1 at 5790, 5790 on a screen of no size")
        << packedFrames(1, 1, 0, 0, -1, 5790, 5790) << Verdict::KeepAsPng << QSize(1, 1);
    QTest::newRow("GIF of two frames of 4000 by 4000, of which the codes give 16 pixels")
        << packedFrames(4000, 4000, 4000, 4000, 16) << Verdict::NotWhole << QSize();
    QTest::newRow("GIF of two frames of 2 by 2 whose codes give 30 megapixels")
        << bigpictures::packedGif(2, 2, 2, 2, 2, [](int, int, int) { return 1; }, 30'000'000)
        << Verdict::NotWhole << QSize();
    QTest::newRow("GIF of two frames of 4001 by 4000 in a few kB")
        << bigpictures::packedGif(2, 4001, 4000, 4001, 4000, [](int, int, int) { return 2; }) << Verdict::TooLarge
        << QSize(4001, 4000);
    // Read within its screen.
    QTest::newRow("GIF of two frames of 5000 by 5000 on a screen of 100 by 100")
        << packedFrames(5000, 5000, 100, 100, 1000) << Verdict::KeepAsPng << QSize(100, 100);
    QTest::newRow("GIF of two frames, the first declaring 65535 by 65535, on a screen of 96 by 96")
        << packedFrames(65535, 65535, 96, 96, 96) << Verdict::KeepAsPng << QSize(96, 96);
}

// Decoding any of them, or every frame of a GIF, takes 64 MB or more.
void TestPictureCheck::decodesNoBigPictureItLeavesOutOrStoresAsItIs()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    QFETCH(QSize, size);
    if (!resetPeak())
        QSKIP("this system does not let a process reset its peak memory");
    const qint64 before = memoryMegabytes("VmRSS:");
    const picturecheck::Checked checked = picturecheck::check(bytes);
    const qint64 peak = memoryMegabytes("VmHWM:");
    QCOMPARE(checked.verdict, verdict);
    if (verdict == Verdict::KeepAsPng && size.isValid())
        QCOMPARE(QImage::fromData(checked.picture, "PNG").size(), size);
    else
        QCOMPARE(checked.size, size);
    QVERIFY2(peak - before < 32, qPrintable(QStringLiteral("%1 MB more at the peak").arg(peak - before)));
}

QTEST_GUILESS_MAIN(TestPictureCheck)
#include "tst_picturecheck.moc"
