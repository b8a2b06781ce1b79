// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/picturecheck.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QTest>

namespace {

QByteArray written(const char* format, bool progressive = false)
{
    QImage image(40, 24, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 10, (x * y) % 256));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QByteArray flipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes.at(at) ^ 0x10);
    return bytes;
}

} // namespace

class TestPictureCheck : public QObject {
    Q_OBJECT
private slots:
    void tellsWholePicturesFromTheRest_data();
    void tellsWholePicturesFromTheRest();
};

void TestPictureCheck::tellsWholePicturesFromTheRest_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("whole");
    const QByteArray png = written("PNG");
    const QByteArray jpeg = written("JPEG");
    const QByteArray bmp = written("BMP");
    const qsizetype idat = png.indexOf("IDAT");
    QTest::newRow("PNG") << png << true;
    QTest::newRow("PNG without its end") << png.left(png.size() - 12) << false;
    QTest::newRow("PNG cut inside its data") << png.left(idat + 20) << false;
    QTest::newRow("PNG with a damaged byte in its data") << flipped(png, idat + 10) << false;
    QTest::newRow("JPEG") << jpeg << true;
    QTest::newRow("progressive JPEG") << written("JPEG", true) << true;
    QTest::newRow("JPEG with bytes after its end") << jpeg + QByteArray(40, '\0') << true;
    // libjpeg decodes these without an error, the missing part grey.
    QTest::newRow("JPEG cut short") << jpeg.left(jpeg.size() / 2) << false;
    QTest::newRow("JPEG without its end marker") << jpeg.left(jpeg.size() - 2) << false;
    QTest::newRow("JPEG headers only") << jpeg.left(jpeg.indexOf("\xFF\xDA")) << false;
    QTest::newRow("BMP, decoded") << bmp << true;
    QTest::newRow("BMP header only") << bmp.left(30) << false;
    QTest::newRow("a path") << QByteArray("C:\\Users\\lucas\\Pictures\\lucas.jpg") << false;
    QTest::newRow("base64 text of a PNG") << png.toBase64() << false;
    QTest::newRow("nothing") << QByteArray() << false;
}

void TestPictureCheck::tellsWholePicturesFromTheRest()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, whole);
    QCOMPARE(picturecheck::isWholePicture(bytes), whole);
}

QTEST_GUILESS_MAIN(TestPictureCheck)
#include "tst_picturecheck.moc"
