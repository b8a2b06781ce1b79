// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a generated vCard file: the parse alone (every card converted, no
// database), then the whole import into an empty local database through the
// real import thread. Prints cards per second, contacts per second and the
// peak resident memory of the process.
//
// usage: bench_vcard_import [parse|import|both] [contacts-N.vcf]
// The file comes from gen_contacts.py; by default
// bench-data/contacts-100000.vcf. Run each mode in its own process to read
// its own peak memory.
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"
#include "fileformats/vcardimport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

long peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

bool benchParse(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    VCardImport reader;
    reader.initialize(path);
    const qint64 scanned = timer.elapsed();
    int named = 0;
    while (reader.hasNext())
        named += reader.nextContact().fullName.isEmpty() ? 0 : 1;
    const qint64 ms = qMax<qint64>(1, timer.elapsed());
    std::printf("parse:  %d cards (%d named) in %lld ms (scan %lld ms): %.0f cards/s, %d lines skipped, peak %ld MB\n",
                reader.total(), named, static_cast<long long>(ms), static_cast<long long>(scanned),
                reader.total() * 1000.0 / double(ms), reader.skippedCount(), peakMegabytes());
    return reader.total() > 0;
}

bool benchImport(const QString& path)
{
    QTemporaryDir dir;
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(dir.filePath(QStringLiteral("bench.db")));
    db->create();
    RecordingReporter reporter;
    ImportContactsToLocalThread thread(path, ImportContactsToLocalThread::TYPE_VCARD, db.data(), &reporter);
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    const qint64 ms = qMax<qint64>(1, timer.elapsed());
    if (!reporter.errors().isEmpty()) {
        std::fprintf(stderr, "import failed: %s\n", qPrintable(reporter.errors().first()));
        return false;
    }
    const auto progress = reporter.progress();
    const int total = progress.isEmpty() ? 0 : progress.last().text.section(u'/', 1).toInt();
    std::printf("import: %d contacts in %lld ms: %.0f contacts/s, %lld progress reports, peak %ld MB\n  %s\n",
                total, static_cast<long long>(ms), total * 1000.0 / double(ms),
                static_cast<long long>(progress.size()), peakMegabytes(),
                qPrintable(reporter.successes().value(0).replace(u'\n', u' ')));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("both");
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                  : QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-100000.vcf");
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "%s is missing: run gen_contacts.py first\n", qPrintable(path));
        return 1;
    }
    bool ok = true;
    try {
        if (mode == QLatin1String("parse") || mode == QLatin1String("both"))
            ok = benchParse(path) && ok;
        if (mode == QLatin1String("import") || mode == QLatin1String("both"))
            ok = benchImport(path) && ok;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return ok ? 0 : 1;
}
