// SPDX-License-Identifier: GPL-3.0-or-later
// Merge and list benchmark of the contact database.
//
// usage: bench_db_merge N|FILE.flat ...
// Reads contacts-N.flat from the bench data folder (make it with
// gen_contacts.py N --out bench-data) or the given .flat file, merges all N contacts into an empty
// database in one edit, merges the same set again into the filled
// database, then lists the contacts without and with a keyword. Prints
// contacts per second for each step and the peak resident memory.
#include "model/localdb.h"
#include "flatcontacts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include <cstdio>

#ifndef MARROWLINK_BENCH_DATA
#define MARROWLINK_BENCH_DATA "bench-data"
#endif

namespace {

long peakRssKb()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// User plus system time of this process: on a busy machine a steadier
// measure of the work done than the wall clock.
double cpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double g_stepCpu = 0;

// `updated` counts the merged contacts that gained anything.
double mergeAll(LocalDb& db, const QList<pim::_Contact>& contacts, int* merged, int* updated)
{
    g_stepCpu = cpuSeconds();
    QElapsedTimer t;
    t.start();
    *merged = 0;
    *updated = 0;
    db.beginEdit();
    for (const pim::_Contact& c : contacts) {
        pim::_Contact stored;
        bool existed = false;
        const bool wrote = !db.combineContact(c, stored, existed).isEmpty();
        *merged += existed ? 1 : 0;
        *updated += existed && wrote ? 1 : 0;
    }
    db.endEdit(true);
    return t.nsecsElapsed() / 1e9;
}

void report(const char* step, qsizetype n, double seconds, const QString& extra = QString())
{
    std::printf("  %-26s %8.3f s (cpu %7.3f s) %9.0f contacts/s  peak RSS %5ld MB %s\n", step, seconds,
                cpuSeconds() - g_stepCpu, n / seconds, peakRssKb() / 1024, qPrintable(extra));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: bench_db_merge N|FILE.flat ...\n"
                     "  N reads %s/contacts-N.flat (gen_contacts.py N --out bench-data)\n"
                     "  e.g. bench_db_merge 10000 100000\n",
                     MARROWLINK_BENCH_DATA);
        return 2;
    }

    QMap<qsizetype, double> firstMerge;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        bool isNumber = false;
        arg.toInt(&isNumber);
        const QString flat = isNumber ? QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-%1.flat").arg(arg) : arg;
        const QList<pim::_Contact> contacts = loadFlatContacts(flat);
        if (contacts.isEmpty()) {
            std::fprintf(stderr, "no contacts read from %s\n", qPrintable(flat));
            return 1;
        }
        const qsizetype n = contacts.size();
        QTemporaryDir dir;
        const QSharedPointer<LocalDb> db = LocalDb::openLocal(dir.filePath(QStringLiteral("bench.db")));
        db->create();
        std::printf("N = %lld (%s)\n", static_cast<long long>(n), qPrintable(flat));

        int merged = 0;
        int updated = 0;
        const double empty = mergeAll(*db, contacts, &merged, &updated);
        firstMerge[n] = empty;
        report("merge into empty", contacts.size(), empty, QStringLiteral("(%1 merged, %2 updated)").arg(merged).arg(updated));
        const double again = mergeAll(*db, contacts, &merged, &updated);
        report("merge into filled", contacts.size(), again, QStringLiteral("(%1 merged, %2 updated)").arg(merged).arg(updated));

        std::printf("  database file %.1f MB\n", QFileInfo(db->path()).size() / 1048576.0);
        QElapsedTimer t;
        g_stepCpu = cpuSeconds();
        t.start();
        const qsizetype all = db->contacts().size();
        report("contacts()", all, t.nsecsElapsed() / 1e9, QStringLiteral("(%1 listed)").arg(all));
        g_stepCpu = cpuSeconds();
        t.restart();
        const qsizetype some = db->contacts(0, QStringLiteral("son")).size();
        report("contacts(keyword \"son\")", all, t.nsecsElapsed() / 1e9, QStringLiteral("(%1 listed)").arg(some));
    }
    if (firstMerge.contains(10000) && firstMerge.contains(100000))
        std::printf("ratio 100000/10000 merge into empty: %.2f\n", firstMerge[100000] / firstMerge[10000]);
    return 0;
}
