// SPDX-License-Identifier: GPL-3.0-or-later
// The time and peak memory of the photo check on large pictures: an icon
// whose directory lists 16 pixels but holds a PNG of 4000 by 4000 (one
// card, 100 cards, and 100 cards of a vCard file through the reader), RGBA
// TIFFs of 24 and 16 megapixels, plain and turned a quarter, and GIFs of
// two frames whose screen or frames declare far more than their codes give.
// With "gifshapes", what the check makes of several hundred GIFs of two
// frames, one line each, for comparing two builds: screens and frames of
// many sizes, frames placed anywhere on them or past them, codes of every
// pixel or of a few, busy or flat, in the screen's colours or their own.
//
// usage: bench_photo [gif [cards] | gifshapes]
// Build it in a Release build (-DCMAKE_BUILD_TYPE=Release); the figures of a
// Debug build with sanitizers say little.
#include "fileformats/photo/picturecheck.h"
#include "fileformats/vcard/vcardimport.h"
#include "../tests/fileformats/photo/bigpictures.h"
#include "peakmemory.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Runs `stage` once and prints its time, its peak memory above where it
// started, and what it gave.
template <typename Stage>
void measure(const char* name, Stage stage)
{
    const long long start = peakmemory::startStage();
    QElapsedTimer timer;
    timer.start();
    const QByteArray outcome = stage();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const long long peak = peakmemory::stagePeak();
    std::printf("%-62s %9.1f ms  peak +%6.1f MB  %s\n", name, ms, double(peak - start) / 1024.0,
                outcome.constData());
}

QByteArray verdictOf(const QByteArray& bytes)
{
    const picturecheck::Checked checked = picturecheck::check(bytes);
    switch (checked.verdict) {
    case picturecheck::Verdict::Keep:
        return "kept, " + QByteArray::number(checked.picture.size()) + " bytes";
    case picturecheck::Verdict::KeepAsPng:
        return "kept as PNG, " + QByteArray::number(checked.picture.size()) + " bytes";
    case picturecheck::Verdict::TooLarge:
        return "left out as too large: " + QByteArray::number(checked.size.width()) + " by "
            + QByteArray::number(checked.size.height());
    case picturecheck::Verdict::Vector:
    case picturecheck::Verdict::Compressed:
    case picturecheck::Verdict::NotWhole:
        break;
    }
    return "left out";
}

// `n` cards, each with `picture` as its photo of type `type`.
QByteArray photoCards(const QByteArray& picture, const QByteArray& type, int n)
{
    QByteArray text = picture.toBase64();
    for (qsizetype at = 74; at < text.size(); at += 76)
        text.insert(at, "\r\n ");
    QByteArray file;
    for (int i = 0; i < n; ++i) {
        file += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Card " + QByteArray::number(i) + ";;;\r\nFN:Card "
            + QByteArray::number(i) + " Berg\r\nPHOTO;ENCODING=b;TYPE=" + type + ":" + text
            + "\r\nEND:VCARD\r\n";
    }
    return file;
}

// The cards of the vCard file at `path`, read: how many photos were stored,
// in how many bytes.
QByteArray readCards(const QString& path)
{
    VCardImport reader;
    reader.initialize(path);
    int photos = 0;
    qint64 stored = 0;
    while (reader.hasNext()) {
        const pim::_Contact contact = reader.nextContact();
        for (const auto& photo : contact.entities.value(pim::ENTITY_PHOTO)) {
            ++photos;
            stored += photo.fields.value(QStringLiteral("data15")).toByteArray().size();
        }
    }
    return QByteArray::number(photos) + " photos stored, " + QByteArray::number(stored / 1024) + " KB";
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool iconsAndTiffs(const QTemporaryDir& dir)
{
    const QByteArray icon = bigpictures::icon(bigpictures::flatPng(4000, 4000), 16);
    std::printf("icon listing 16 pixels, PNG of 4000 by 4000 inside: %lld bytes\n", (long long)icon.size());
    measure("icon of point one, one card", [&] { return verdictOf(icon); });
    measure("icon of point one, 100 cards", [&] {
        QByteArray last;
        for (int i = 0; i < 100; ++i)
            last = verdictOf(icon);
        return last;
    });
    const QString path = dir.filePath(QStringLiteral("icons.vcf"));
    if (!writeFile(path, photoCards(icon, "ICO", 100)))
        return false;
    measure("icon of point one, 100 cards of a vCard file, read", [&] { return readCards(path); });
    for (const auto& [width, height] : { std::pair { 4000, 6000 }, std::pair { 4000, 4000 } }) {
        const QByteArray tiff = bigpictures::rgbaTiff(width, height, 1);
        const QByteArray name = "RGBA TIFF " + QByteArray::number(width) + "x" + QByteArray::number(height)
            + " (" + QByteArray::number(tiff.size() / 1024) + " KB)";
        measure(name + ", plain", [&] { return verdictOf(tiff); });
        const QByteArray turned = bigpictures::withOrientation(tiff, 6);
        measure(name + ", turned a quarter", [&] { return verdictOf(turned); });
    }
    return true;
}

int busy(int frame, int x, int y)
{
    return (x + y + frame) % 4;
}

int flat(int, int, int)
{
    return 2;
}

// GIFs of two frames: those whose screen or first frame declares far more
// than its codes give, one card each, and a vCard file of `cards` cards of
// each of the first two; then those that hold what they declare, the last
// two in colours of their own on a screen they do not cover.
bool gifs(const QTemporaryDir& dir, int cards)
{
    const QByteArray fewCodes = bigpictures::packedGif(2, 4000, 4000, 4000, 4000, busy, 200);
    const QByteArray smallOnLarge = bigpictures::packedGif(2, 16, 16, 4000, 4000, busy);
    const std::pair<const char*, QByteArray> cases[] = {
        { "GIF 4000x4000, codes of 200 pixels", fewCodes },
        { "GIF 16x16 frames on a 4000x4000 screen", smallOnLarge },
        { "GIF 1x1 frames at 5790,5790, screen of no size",
            bigpictures::packedGif(2, 1, 1, 0, 0, busy, -1, 5790, 5790) },
        { "GIF 65535x65535 first frame on a 96x96 screen",
            bigpictures::packedGif(2, 65535, 65535, 96, 96, busy, 96 * 96) },
        { "GIF 2x2 frames, codes of 100 megapixels",
            bigpictures::packedGif(2, 2, 2, 2, 2, flat, 100'000'000) },
        { "GIF 2x2 frames on a 1400x1400 screen", bigpictures::packedGif(2, 2, 2, 1400, 1400, busy) },
        { "GIF 4000x4000 flat frames", bigpictures::packedGif(2, 4000, 4000, 4000, 4000, flat) },
        { "GIF 1100x1000 frames, a box that moves",
            bigpictures::packedGif(2, 1100, 1000, 1100, 1000,
                [](int frame, int x, int y) {
                    return x >= 400 + 50 * frame && x < 700 + 50 * frame && y >= 350 && y < 550;
                }) },
        { "GIF 30x20 frames of their own colours on a 40x30 screen",
            bigpictures::packedGif(2, 30, 20, 40, 30, busy, -1, 5, 6, true) },
        { "GIF 3900x3900 flat frames of their own colours on 4000x4000",
            bigpictures::packedGif(2, 3900, 3900, 4000, 4000, flat, -1, 50, 50, true) },
    };
    for (const auto& gif : cases)
        measure(QByteArray(gif.first) + " (" + QByteArray::number(gif.second.size()) + " B)",
            [&] { return verdictOf(gif.second); });
    for (const auto& [name, bytes] : { std::pair { "4000x4000, codes of 200 pixels", fewCodes },
                                       std::pair { "16x16 on 4000x4000", smallOnLarge } }) {
        const QString path = dir.filePath(QStringLiteral("gifs.vcf"));
        if (!writeFile(path, photoCards(bytes, "GIF", cards)))
            return false;
        measure("GIF " + QByteArray(name) + ", " + QByteArray::number(cards) + " cards of a file, read",
            [&] { return readCards(path); });
    }
    return true;
}

// One line of what the check makes of `bytes`: its verdict, the size and
// CRC of a PNG stored.
QByteArray shapeVerdict(const QByteArray& bytes)
{
    const picturecheck::Checked checked = picturecheck::check(bytes);
    if (checked.verdict != picturecheck::Verdict::KeepAsPng)
        return verdictOf(bytes);
    QBuffer buffer;
    buffer.setData(checked.picture);
    buffer.open(QIODevice::ReadOnly);
    const QSize size = QImageReader(&buffer, "png").size();
    const auto crc
        = crc32(0, reinterpret_cast<const Bytef*>(checked.picture.constData()), uInt(checked.picture.size()));
    return "kept as PNG of " + QByteArray::number(size.width()) + "x" + QByteArray::number(size.height())
        + ", crc " + QByteArray::number(quint32(crc), 16);
}

// Shapes of a grid of screens, frames, places, codes written and colours,
// about one in nine, each that costs no more than 30 megapixels of codes
// to make, their frames in the screen's colours or in their own.
void gifShapes(bool ownColours)
{
    const std::pair<int, int> screens[]
        = { { 0, 0 }, { 96, 96 }, { 240, 240 }, { 640, 480 }, { 1024, 1024 }, { 1400, 1400 }, { 2000, 2000 },
              { 4000, 4000 }, { 4001, 4000 }, { 5000, 5000 }, { 65535, 65535 }, { 0, 240 }, { 240, 0 } };
    const std::pair<int, int> frames[]
        = { { 1, 1 }, { 2, 2 }, { 16, 16 }, { 96, 96 }, { 240, 240 }, { 300, 200 }, { 1000, 1000 },
              { 2000, 2000 }, { 4000, 4000 }, { 5000, 5000 }, { 65535, 65535 }, { 65535, 1 } };
    const char* const places[]
        = { "at its corner", "in its middle", "past its far edge", "off it", "at 5790,5790" };
    const char* const codes[] = { "every pixel", "16 pixels", "a quarter" };
    int index = 0;
    int taken = 0;
    double totalMs = 0;
    double longestMs = 0;
    long long largestPeak = 0;
    for (const auto& [sw, sh] : screens) {
        for (const auto& [w, h] : frames) {
            for (int place = 0; place < 5; ++place) {
                for (int written = 0; written < 3; ++written) {
                    for (int colour = 0; colour < 2; ++colour) {
                        // A hash of the shape's number, so that every
                        // combination of the inner loops is taken.
                        if ((quint32(++index) * 2654435761u >> 24) % 9 != 0)
                            continue;
                        const qint64 area = qint64(w) * h;
                        const qint64 pixels = written == 0 ? area : written == 1 ? 16 : area / 4;
                        if (pixels > 30'000'000)
                            continue;
                        const int left = place == 0 ? 0
                            : place == 1            ? (sw > 0 ? sw / 2 : 1000)
                            : place == 2            ? qMax(0, (sw > 0 ? sw : 2000) - w / 2)
                            : place == 3            ? qMin(65535, (sw > 0 ? sw : 2000) + 10)
                                                    : 5790;
                        const int top = place == 0 ? 0
                            : place == 1           ? (sh > 0 ? sh / 2 : 1000)
                            : place == 2           ? qMax(0, (sh > 0 ? sh : 2000) - h / 2)
                            : place == 3           ? qMin(65535, (sh > 0 ? sh : 2000) + 10)
                                                   : 5790;
                        const QByteArray bytes = bigpictures::packedGif(
                            2, w, h, sw, sh, colour == 0 ? busy : flat, pixels, left, top, ownColours);
                        const long long start = peakmemory::startStage();
                        QElapsedTimer timer;
                        timer.start();
                        const QByteArray verdict = shapeVerdict(bytes);
                        const double ms = double(timer.nsecsElapsed()) / 1e6;
                        const long long peak = peakmemory::stagePeak() - start;
                        std::printf(
                            "%4d screen %5dx%-5d frame %5dx%-5d %-17s codes of %-11s %-4s%s %8lld B: %s | "
                            "%8.1f ms %7.1f MB\n",
                            index, sw, sh, w, h, places[place], codes[written], colour == 0 ? "busy" : "flat",
                            ownColours ? " own" : "",
                            (long long)bytes.size(), verdict.constData(), ms, double(peak) / 1024.0);
                        ++taken;
                        totalMs += ms;
                        longestMs = qMax(longestMs, ms);
                        largestPeak = qMax(largestPeak, peak);
                    }
                }
            }
        }
    }
    std::printf("# %d shapes%s: %.1f s in all, the longest %.1f ms, the largest peak +%.1f MB\n", taken,
        ownColours ? " of frames of their own colours" : "", totalMs / 1000.0, longestMs,
        double(largestPeak) / 1024.0);
}

int gifShapes()
{
    for (const bool ownColours : { false, true })
        gifShapes(ownColours);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "gifshapes")
        return gifShapes();
    QTemporaryDir dir;
    if (mode != "gif" && !iconsAndTiffs(dir))
        return 1;
    return gifs(dir, mode == "gif" && argc > 2 ? QByteArray(argv[2]).toInt() : 100) ? 0 : 1;
}
