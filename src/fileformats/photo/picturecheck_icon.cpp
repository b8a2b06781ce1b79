// SPDX-License-Identifier: GPL-3.0-or-later
// The picture inside an icon or a cursor, measured before anything decodes
// it.
#include "fileformats/photo/picturecheck_p.h"

#include <QtEndian>

namespace picturecheck::icon {

namespace {

constexpr qsizetype kDirectoryHead = 6;
constexpr qsizetype kDirectoryEntry = 16;
constexpr qsizetype kBitmapInfoHeader = 40;

} // namespace

Entry firstEntry(const QByteArray& bytes)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < kDirectoryHead + kDirectoryEntry || qFromLittleEndian<quint16>(b + 4) == 0)
        return {};
    const uchar* listed = b + kDirectoryHead;
    const quint32 offset = qFromLittleEndian<quint32>(listed + 12);
    if (offset < kDirectoryHead + kDirectoryEntry || offset >= quint64(n))
        return {};
    const QByteArrayView picture(bytes.constData() + offset, n - offset);
    if (picture.startsWith("\x89PNG\r\n\x1A\n")) {
        Entry png { Kind::Png, offset, 0, {} };
        png.length = walk::wholePngLength(picture, png.size);
        return png.length > 0 ? png : Entry();
    }
    if (picture.size() < kBitmapInfoHeader)
        return {};
    const auto* header = reinterpret_cast<const uchar*>(picture.data());
    if (qFromLittleEndian<quint32>(header) < quint32(kBitmapInfoHeader))
        return {};
    // The height counts the mask below the picture as well.
    const qint64 width = qAbs(qint64(qFromLittleEndian<qint32>(header + 4)));
    const qint64 height = qAbs(qint64(qFromLittleEndian<qint32>(header + 8))) / 2;
    if (width == 0 || height == 0)
        return {};
    // The directory writes 256 as 0.
    const qint64 listedWidth = listed[0] ? listed[0] : 256;
    const qint64 listedHeight = listed[1] ? listed[1] : 256;
    return { Kind::Bitmap, offset, n - offset, { qMax(width, listedWidth), qMax(height, listedHeight) } };
}

} // namespace picturecheck::icon
