// SPDX-License-Identifier: GPL-3.0-or-later
// A converted picture written as PNG, turned in place as its header says.
#include "fileformats/photo/picturecheck_p.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>

#include <algorithm>
#include <vector>

namespace picturecheck::convert {

namespace {

// A pixel of `Size` bytes, moved whole.
template <int Size>
struct Pixel {
    uchar bytes[Size];
};

// `height` rows of `width` pixels become `width` rows of `height`, in the
// same memory. The pixel at i = y * width + x belongs at x * height + y,
// which is i * height modulo (width * height - 1); each cycle of that
// permutation is followed once, a bit a pixel marking the places filled.
template <int Size>
void transpose(Pixel<Size>* pixels, qsizetype width, qsizetype height)
{
    if (width == height) {
        for (qsizetype y = 0; y < height; ++y) {
            for (qsizetype x = y + 1; x < width; ++x)
                std::swap(pixels[y * width + x], pixels[x * width + y]);
        }
        return;
    }
    const quint64 last = quint64(width * height - 1);
    std::vector<bool> filled(size_t(last + 1));
    for (quint64 start = 1; start < last; ++start) {
        if (filled[start])
            continue;
        Pixel<Size> carried = pixels[start];
        quint64 at = start;
        do {
            at = at * quint64(height) % last;
            std::swap(carried, pixels[at]);
            filled[at] = true;
        } while (at != start);
    }
}

// Turned a quarter clockwise: transposed, then each row reversed.
template <int Size>
void turnQuarter(uchar* bits, qsizetype width, qsizetype height)
{
    auto* pixels = reinterpret_cast<Pixel<Size>*>(bits);
    transpose(pixels, width, height);
    for (qsizetype y = 0; y < width; ++y)
        std::reverse(pixels + y * height, pixels + (y + 1) * height);
}

// Whether the image's rows lie one after the other without padding, in
// whole bytes a pixel, so it can be turned a quarter in place.
bool turnsInPlace(const QImage& image)
{
    const int depth = image.depth();
    return depth % 8 == 0 && depth <= 64 && image.bytesPerLine() == qsizetype(image.width()) * (depth / 8);
}

QByteArray written(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly))
        return QByteArray();
    QImageWriter writer(&buffer, "png");
    return writer.write(image) ? png : QByteArray();
}

} // namespace

// As Qt's reader turns a picture: mirrored or flipped first, then turned a
// quarter clockwise. Qt mirrors and flips in place an image that has one
// holder; it turns a quarter into a second image, which this does in place
// (a picture whose rows are padded, or of less than a byte a pixel, is
// first made one of 32 bits).
QByteArray pngOf(QImage image, QImageIOHandler::Transformations turn)
{
    if (image.isNull())
        return QByteArray();
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const bool flip = turn & QImageIOHandler::TransformationFlip;
    if (mirror || flip)
        image = std::move(image).mirrored(mirror, flip);
    if (!(turn & QImageIOHandler::TransformationRotate90))
        return written(image);
    if (!turnsInPlace(image))
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (!turnsInPlace(image))
        return QByteArray();
    const qsizetype width = image.width();
    const qsizetype height = image.height();
    const int size = image.depth() / 8;
    uchar* bits = image.bits();
    switch (size) {
    case 1: turnQuarter<1>(bits, width, height); break;
    case 2: turnQuarter<2>(bits, width, height); break;
    case 3: turnQuarter<3>(bits, width, height); break;
    case 4: turnQuarter<4>(bits, width, height); break;
    case 6: turnQuarter<6>(bits, width, height); break;
    case 8: turnQuarter<8>(bits, width, height); break;
    default: return QByteArray();
    }
    // The turned picture in the same memory, which `image` keeps.
    QImage turned(bits, int(height), int(width), height * size, image.format());
    turned.setColorTable(image.colorTable());
    turned.setColorSpace(image.colorSpace());
    turned.setDotsPerMeterX(image.dotsPerMeterY());
    turned.setDotsPerMeterY(image.dotsPerMeterX());
    for (const QString& key : image.textKeys())
        turned.setText(key, image.text(key));
    return written(turned);
}

} // namespace picturecheck::convert
