// SPDX-License-Identifier: GPL-3.0-or-later
// The time and peak memory of the photo check on large pictures: an icon
// whose directory lists 16 pixels but holds a PNG of 4000 by 4000 (one
// card, 100 cards, and 100 cards of a vCard file through the reader), and
// RGBA TIFFs of 24 and 16 megapixels, plain and turned a quarter.
//
// usage: bench_photo
// Build it in a Release build (-DCMAKE_BUILD_TYPE=Release); the figures of a
// Debug build with sanitizers say little.
#include "fileformats/photo/picturecheck.h"
#include "fileformats/vcard/vcardimport.h"
#include "../tests/fileformats/photo/bigpictures.h"
#include "peakmemory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
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
    std::printf("%-58s %9.1f ms  peak +%6.1f MB  %s\n", name, ms, double(peak - start) / 1024.0,
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

QByteArray iconCards(const QByteArray& icon, int n)
{
    QByteArray text = icon.toBase64();
    for (qsizetype at = 74; at < text.size(); at += 76)
        text.insert(at, "\r\n ");
    QByteArray file;
    for (int i = 0; i < n; ++i) {
        file += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Card " + QByteArray::number(i) + ";;;\r\nFN:Card "
            + QByteArray::number(i) + " Berg\r\nPHOTO;ENCODING=b;TYPE=ICO:" + text + "\r\nEND:VCARD\r\n";
    }
    return file;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QByteArray icon = bigpictures::icon(bigpictures::flatPng(4000, 4000), 16);
    std::printf("icon listing 16 pixels, PNG of 4000 by 4000 inside: %lld bytes\n", (long long)icon.size());
    measure("icon of point one, one card", [&] { return verdictOf(icon); });
    measure("icon of point one, 100 cards", [&] {
        QByteArray last;
        for (int i = 0; i < 100; ++i)
            last = verdictOf(icon);
        return last;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("icons.vcf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(iconCards(icon, 100)) < 0)
        return 1;
    file.close();
    measure("icon of point one, 100 cards of a vCard file, read", [&] {
        VCardImport reader;
        reader.initialize(path);
        int photos = 0;
        while (reader.hasNext())
            photos += reader.nextContact().entities.contains(pim::ENTITY_PHOTO) ? 1 : 0;
        return QByteArray::number(photos) + " photos stored";
    });
    for (const auto& [width, height] : { std::pair { 4000, 6000 }, std::pair { 4000, 4000 } }) {
        const QByteArray tiff = bigpictures::rgbaTiff(width, height, 1);
        const QByteArray name = "RGBA TIFF " + QByteArray::number(width) + "x" + QByteArray::number(height)
            + " (" + QByteArray::number(tiff.size() / 1024) + " KB)";
        measure(name + ", plain", [&] { return verdictOf(tiff); });
        const QByteArray turned = bigpictures::withOrientation(tiff, 6);
        measure(name + ", turned a quarter", [&] { return verdictOf(turned); });
    }
    return 0;
}
