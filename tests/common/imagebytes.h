// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

namespace testkit {

// The bytes of a one-colour picture encoded as `format` ("PNG", "JPEG"), as
// a photo entity holds them. Needs Qt Gui in the test that includes it.
inline QByteArray imageBytes(QSize size, const char* format, QColor colour = Qt::darkGreen)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace testkit
