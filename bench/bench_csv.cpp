// SPDX-License-Identifier: GPL-3.0-or-later
// CSV and TXT timings on the generated 100,000-contact file:
//   bench_csv [--parse-only] [contacts.csv]
// Defaults to bench-data/contacts-100000.csv of the source tree; make it
// with bench/gen_contacts.py 100000 --out bench-data.
// The cost of one row of a web-mail export whose address columns list n
// positions (" ::: "), at n and at 16n, which must grow with the row:
//   bench_csv --positions [n]      (n defaults to 5,000)
#include "fileformats/csv/csvimport.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

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

// A web-mail export's row whose address columns each list `positions`
// values, one address per position.
QByteArray addressListRow(int positions)
{
    QByteArray street;
    QByteArray city;
    QByteArray postcode;
    for (int i = 0; i < positions; ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        const char* separator = i > 0 ? " ::: " : "";
        street += separator + n + " Main St";
        city += separator + ("Town " + n);
        postcode += separator + QByteArray::number(10000 + i % 90000);
    }
    return "Name,Given Name,Family Name,Address 1 - Type,Address 1 - Street,Address 1 - City,"
           "Address 1 - Postal Code\r\n"
           "Ann Lee,Ann,Lee,Home,"
        + street + ',' + city + ',' + postcode + "\r\n";
}

// The best of three reads of the file, in seconds; the addresses read.
double bestRead(const QString& path, qsizetype& addresses)
{
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        CSVImport reader;
        reader.initialize(path);
        const pim::_Contact c = reader.nextContact();
        best = std::min(best, seconds(t));
        addresses = c.entities.value(pim::ENTITY_ADDR).size();
    }
    return best;
}

int benchPositions(const QTemporaryDir& dir, int n)
{
    double times[2] = {};
    const int sizes[2] = { n, 16 * n };
    for (int i = 0; i < 2; ++i) {
        const QString path = dir.filePath(QStringLiteral("positions-%1.csv").arg(sizes[i]));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(addressListRow(sizes[i])) < 0)
            return 2;
        file.close();
        qsizetype addresses = 0;
        times[i] = bestRead(path, addresses);
        std::printf("one row, %6d positions: %8.3f s, %lld addresses\n", sizes[i], times[i],
                    static_cast<long long>(addresses));
    }
    std::printf("16n / n: %.1f   (target <= 20)\n", times[1] / times[0]);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool parseOnly = args.removeAll(QStringLiteral("--parse-only")) > 0;
    if (args.removeAll(QStringLiteral("--positions")) > 0) {
        QTemporaryDir dir;
        if (!dir.isValid())
            return 2;
        return benchPositions(dir, args.isEmpty() ? 5000 : args.first().toInt());
    }
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
