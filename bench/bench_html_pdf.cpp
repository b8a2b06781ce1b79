// SPDX-License-Identifier: GPL-3.0-or-later
// Exports the contacts of a generated .flat file to an HTML page with its
// photos (through the real export thread) and to a PDF of contact cards,
// and prints the times, the sizes and the longest stretch the GUI thread
// went without handling events during the PDF.
//
// usage: bench_html_pdf [contacts-N.flat] [output-folder]
// The .flat file comes from bench/gen_contacts.py (bench/flatcontacts.h
// describes the format); by default bench-data/contacts-10000.flat.
#include "fileformats/print/contactsprinter.h"
#include "fileformats/export/exporttofilethread.h"
#include "support/recordingreporter.h"
#include "flatcontacts.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// The generator's photos are JPEG-like bytes that no decoder accepts; put
// real pictures in their place, as a camera and a web page would give them
// (every other one a PNG), so the image work is measured.
void usePicturesThatDecode(QList<pim::_Contact>& contacts)
{
    QImage picture(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 3) % 256, (x ^ y) % 256));
    QByteArray jpeg;
    QByteArray png;
    QBuffer jpegBuffer(&jpeg);
    jpegBuffer.open(QIODevice::WriteOnly);
    picture.save(&jpegBuffer, "JPG", 85);
    QBuffer pngBuffer(&png);
    pngBuffer.open(QIODevice::WriteOnly);
    picture.scaled(300, 300).save(&pngBuffer, "PNG");
    int n = 0;
    for (pim::_Contact& c : contacts) {
        auto photos = c.entities.find(pim::ENTITY_PHOTO);
        if (photos != c.entities.end() && !photos->isEmpty())
            (*photos)[0].fields.insert(QStringLiteral("data15"), n++ % 2 ? png : jpeg);
    }
}

qint64 folderBytes(const QString& folder, int* files)
{
    qint64 bytes = 0;
    *files = 0;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
        it.next();
        bytes += it.fileInfo().size();
        ++*files;
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString flat = args.value(1, QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-10000.flat"));
    QTemporaryDir scratch;
    const QString outDir = args.value(2, scratch.path());

    QList<pim::_Contact> contacts = loadFlatContacts(flat);
    for (qsizetype i = 0; i < contacts.size(); ++i)
        contacts[i].id = static_cast<unsigned long long>(i + 1);
    if (contacts.isEmpty()) {
        std::fprintf(stderr,
            "no contacts in %s; generate it with\n"
            "  python3 bench/gen_contacts.py 10000 --out bench-data\n",
            qPrintable(flat));
        return 1;
    }
    usePicturesThatDecode(contacts);
    const auto withPhoto = std::count_if(contacts.cbegin(), contacts.cend(),
        [](const pim::_Contact& c) { return !c.entities.value(pim::ENTITY_PHOTO).isEmpty(); });
    std::printf("%lld contacts, %lld with a photo\n", qlonglong(contacts.size()), qlonglong(withPhoto));

    const QString page = QDir(outDir).filePath(QStringLiteral("contacts.html"));
    RecordingReporter reporter;
    QElapsedTimer timer;
    timer.start();
    ExportToFileThread thread(contacts, ExportToFileThread::TYPE_HTML, page, &reporter);
    thread.start();
    thread.wait();
    const double htmlSeconds = timer.nsecsElapsed() / 1e9;
    if (reporter.successes().size() != 1) {
        std::fprintf(stderr, "HTML export failed: %s\n", qPrintable(reporter.errors().join("; ")));
        return 1;
    }
    int photoFiles = 0;
    const qint64 photoBytes = folderBytes(QDir(page).filePath(QStringLiteral("photos")), &photoFiles);
    std::printf("HTML export:  %.3f s (%.0f contacts/s), page %.1f MB, %d pictures %.1f MB\n", htmlSeconds,
        contacts.size() / htmlSeconds, QFileInfo(QDir(page).filePath("contacts.html")).size() / 1e6,
        photoFiles, photoBytes / 1e6);

    // A timer that would drive window painting: the longest wait between two
    // of its ticks is how long the windows froze.
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    QObject::connect(
        &ticker, &QTimer::timeout, [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
    ticker.start(0);
    const QString pdf = QDir(outDir).filePath(QStringLiteral("contacts.pdf"));
    ContactsPrinter printer;
    timer.restart();
    sinceTick.start();
    int cards = 0;
    try {
        cards = printer.printToPDF(contacts, pdf);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PDF failed: %s\n", e.what());
        return 1;
    }
    const double pdfSeconds = timer.nsecsElapsed() / 1e9;
    longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
    std::printf("PDF:          %.3f s (%.0f cards/s), %d cards, %.1f MB, longest GUI pause %lld ms\n",
        pdfSeconds, cards / pdfSeconds, cards, QFileInfo(pdf).size() / 1e6, qlonglong(longestGapMs));
    return 0;
}
