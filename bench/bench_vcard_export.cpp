// SPDX-License-Identifier: GPL-3.0-or-later
// Exports the contacts of a generated .flat file to vCard 3.0 through the
// real export thread and prints the time it took.
//
// usage: bench_vcard_export [contacts-N.flat] [output.vcf]
// The .flat file comes from bench/gen_contacts.py (bench/flatcontacts.h
// describes the format); by default bench-data/contacts-100000.flat.
#include "fileformats/export/exporttofilethread.h"
#include "support/recordingreporter.h"
#include "fileformats/export/vcardexport.h"
#include "flatcontacts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString flat = args.value(1, QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-100000.flat"));
    const QString out = args.value(2, QStringLiteral(MARROWLINK_BENCH_DATA "/export-bench.vcf"));

    QElapsedTimer timer;
    timer.start();
    const QList<pim::_Contact> contacts = loadFlatContacts(flat);
    if (contacts.isEmpty()) {
        std::fprintf(stderr, "no contacts in %s; generate it with\n"
                             "  python3 bench/gen_contacts.py 100000 --out bench-data\n",
                     qPrintable(flat));
        return 1;
    }
    std::printf("loaded %lld contacts from %s in %.2f s\n", qlonglong(contacts.size()),
                qPrintable(QFileInfo(flat).fileName()), timer.elapsed() / 1000.0);

    // The writer alone, without the file.
    timer.restart();
    qint64 bytes = 0;
    {
        VCardExport writer;
        for (const pim::_Contact& c : contacts)
            bytes += writer.ct2Bytes(c).size();
    }
    const double writerSeconds = timer.nsecsElapsed() / 1e9;

    // The whole export as the user runs it: thread, progress, file, flush.
    RecordingReporter reporter;
    timer.restart();
    ExportToFileThread thread(contacts, ExportToFileThread::TYPE_VCARD, out, &reporter);
    thread.start();
    thread.wait();
    const double exportSeconds = timer.nsecsElapsed() / 1e9;
    if (reporter.successes().size() != 1) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(reporter.errors().join("; ")));
        return 1;
    }
    const qint64 fileBytes = QFileInfo(out).size();
    QFile::remove(out);

    std::printf("vCard writer only:   %.3f s (%.0f contacts/s, %.1f MB)\n", writerSeconds,
                contacts.size() / writerSeconds, bytes / 1e6);
    std::printf("export to file:      %.3f s (%.0f contacts/s, %.1f MB, %lld progress reports)\n",
                exportSeconds, contacts.size() / exportSeconds, fileBytes / 1e6,
                qlonglong(reporter.progressCount()));
    return 0;
}
