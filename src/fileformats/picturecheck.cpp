// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/picturecheck.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace picturecheck {

namespace {

bool isJpeg(const QByteArray& bytes)
{
    return bytes.startsWith("\xFF\xD8\xFF");
}

// Walks a JPEG from its start marker: segments by their lengths, and after
// each scan header the entropy-coded data up to the next marker that is
// neither a stuffed 0xFF00 nor a restart marker. True when the end marker
// is reached; bytes after it do not matter. Stray bytes between segments
// are passed over, as libjpeg does.
bool reachesEndMarker(const QByteArray& bytes)
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

} // namespace

bool isWholePicture(const QByteArray& bytes)
{
    if (bytes.isEmpty() || (isJpeg(bytes) && !reachesEndMarker(bytes)))
        return false;
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&buffer);
    if (!reader.canRead())
        return false;
    if (reader.supportsOption(QImageIOHandler::ScaledSize)) {
        const QSize size = reader.size();
        if (size.width() > 8 && size.height() > 8)
            reader.setScaledSize(QSize((size.width() + 7) / 8, (size.height() + 7) / 8));
    }
    return !reader.read().isNull();
}

} // namespace picturecheck
