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

using Pixel = quint32;

void reverseEachRow(Pixel* pixels, qsizetype width, qsizetype height)
{
    for (qsizetype y = 0; y < height; ++y)
        std::reverse(pixels + y * width, pixels + (y + 1) * width);
}

// `height` rows of `width` pixels become `width` rows of `height`, in the
// same memory. The pixel at i = y * width + x belongs at x * height + y,
// which is i * height modulo (width * height - 1); each cycle of that
// permutation is followed once, a bit a pixel marking the places filled.
void transpose(Pixel* pixels, qsizetype width, qsizetype height)
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
        Pixel carried = pixels[start];
        quint64 at = start;
        do {
            at = at * quint64(height) % last;
            std::swap(carried, pixels[at]);
            filled[at] = true;
        } while (at != start);
    }
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
// quarter clockwise, which is transposed and then mirrored. Qt mirrors and
// flips in place an image that has one holder; it turns a quarter into a
// second image, which this does in place for pixels of 32 bits.
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
    if (image.depth() != 32)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const qsizetype width = image.width();
    const qsizetype height = image.height();
    if (image.depth() != 32 || image.bytesPerLine() != width * qsizetype(sizeof(Pixel)))
        return QByteArray();
    auto* pixels = reinterpret_cast<Pixel*>(image.bits());
    transpose(pixels, width, height);
    reverseEachRow(pixels, height, width);
    // The turned picture in the same memory, which `image` keeps.
    QImage turned(image.bits(), int(height), int(width), int(height * qsizetype(sizeof(Pixel))), image.format());
    turned.setColorSpace(image.colorSpace());
    turned.setDotsPerMeterX(image.dotsPerMeterY());
    turned.setDotsPerMeterY(image.dotsPerMeterX());
    for (const QString& key : image.textKeys())
        turned.setText(key, image.text(key));
    return written(turned);
}

} // namespace picturecheck::convert
