// SPDX-License-Identifier: GPL-3.0-or-later
// CSV and TXT timings on the generated 100,000-contact file:
//   bench_csv [--parse-only] [contacts.csv]
// Defaults to bench-data/contacts-100000.csv of the source tree; make it
// with bench/gen_contacts.py 100000 --out bench-data.
#include "fileformats/csv/csvimport.h"
#include "fileformats/exporttofilethread.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

void line(const char* what, double s, const char* target)
{
    std::printf("%-34s %8.3f s   (target %s)\n", what, s, target);
    std::fflush(stdout);
}

bool exportTo(const QList<pim::_Contact>& contacts, ExportToFileThread::TYPE type, const QString& path)
{
    RecordingReporter reporter;
    ExportToFileThread thread(contacts, type, path, &reporter);
    thread.start();
    thread.wait();
    if (!reporter.errors().isEmpty()) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(reporter.errors().first()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool parseOnly = args.removeAll(QStringLiteral("--parse-only")) > 0;
    const QString csv = !args.isEmpty() ? args.first() : QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-100000.csv");
    if (!QFileInfo::exists(csv)) {
        std::fprintf(stderr, "missing %s (make it with gen_contacts.py 100000 --out bench-data)\n", qPrintable(csv));
        return 2;
    }
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;

    // Parsing alone: read, split and convert every row; the contacts are
    // dropped as they come, as the import thread does after storing them.
    {
        QElapsedTimer t;
        t.start();
        CSVImport reader;
        reader.initialize(csv);
        const double split = seconds(t);
        int rows = 0;
        qsizetype entities = 0;
        while (reader.hasNext()) {
            const pim::_Contact c = reader.nextContact();
            ++rows;
            for (const auto& list : c.entities)
                entities += list.size();
        }
        std::printf("rows: %d, entities: %lld\n", rows, static_cast<long long>(entities));
        line("CSV read and locate rows", split, "-");
        line("CSV parse (read + convert)", seconds(t), "< 0.5 s");
    }
    if (parseOnly)
        return 0;

    QList<pim::_Contact> contacts;
    {
        CSVImport reader;
        reader.initialize(csv);
        contacts.reserve(reader.total());
        while (reader.hasNext())
            contacts.append(reader.nextContact());
    }

    // End to end into an empty database, as the import command runs it.
    {
        const QString dbPath = dir.filePath(QStringLiteral("bench.db"));
        const QSharedPointer<LocalDb> db = LocalDb::openLocal(dbPath);
        db->create();
        RecordingReporter reporter;
        QElapsedTimer t;
        t.start();
        ImportContactsToLocalThread thread(csv, ImportContactsToLocalThread::TYPE_CSV, db.data(), &reporter);
        thread.start();
        thread.wait();
        const double s = seconds(t);
        if (!reporter.errors().isEmpty()) {
            std::fprintf(stderr, "import failed: %s\n", qPrintable(reporter.errors().first()));
            return 1;
        }
        std::printf("%s\n", qPrintable(reporter.successes().value(0)));
        line("CSV import into empty database", s, "< 8 s");
    }

    {
        QElapsedTimer t;
        t.start();
        if (!exportTo(contacts, ExportToFileThread::TYPE_CSV, dir.filePath(QStringLiteral("out.csv"))))
            return 1;
        line("CSV export", seconds(t), "< 2 s");
    }
    {
        QElapsedTimer t;
        t.start();
        if (!exportTo(contacts, ExportToFileThread::TYPE_TXT, dir.filePath(QStringLiteral("out.txt"))))
            return 1;
        line("TXT export", seconds(t), "< 2 s");
    }
    return 0;
}
