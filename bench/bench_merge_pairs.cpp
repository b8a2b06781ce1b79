// SPDX-License-Identifier: GPL-3.0-or-later
// Reads each contact file of a folder (merge_pairs.py writes them: cards
// of one person whose values the merge joins) through the real import
// thread into an empty local database, and counts the files whose merged
// database does not hold across the program's own vCard export: the export
// read back into the database changes a row, read into a new database it
// stores other rows, or the file read card by card stores other rows than
// read whole; and those that change a row when imported again, up to four
// times in all.
//
// usage: bench_merge_pairs FOLDER...
#include "common/sqlprobe.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void import(const QString& db, const QString& file)
{
    LocalDb local(db, QSharedPointer<LocalDbCombineRule>::create());
    RecordingReporter reporter;
    ImportContactsToLocalThread thread(file, ImportContactsToLocalThread::TYPE_VCARD, &local, &reporter);
    thread.start();
    thread.wait();
}

QString emptyDb(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    LocalDb(path, QSharedPointer<LocalDbCombineRule>::create()).create();
    return path;
}

// Every row with its ids.
QList<QVariantList> everyRow(const QString& db)
{
    SqlProbe probe(db);
    return probe.rows(QStringLiteral("select 'contact', * from contact"))
        + probe.rows(QStringLiteral("select 'data', * from data order by _id"));
}

// Each contact's name and rows, without ids: what two databases of the
// same cards hold alike.
QStringList contents(const QString& db)
{
    SqlProbe probe(db);
    QStringList out;
    for (const QVariantList& row : probe.rows(QStringLiteral(
             "select c.full_name, d.type, d.data1, d.data2, d.data3, d.data4, d.data5, d.data6, d.data7, d.data8, "
             "d.data9, d.data10, d.data11 from data d join contact c on c._id = d.contact_id "
             "order by c.full_name, d.type, d._id"))) {
        QStringList cells;
        for (const QVariant& cell : row)
            cells << cell.toString();
        out << cells.join(u'|');
    }
    return out;
}

QString exportOf(const QString& db, const QString& path)
{
    QList<pim::_Contact> contacts;
    {
        LocalDb local(db, QSharedPointer<LocalDbCombineRule>::create());
        for (const pim::_Contact& listed : local.contacts())
            contacts << local.contact(listed.id);
    }
    RecordingReporter reporter;
    ExportToFileThread thread(contacts, ExportToFileThread::TYPE_VCARD, path, &reporter);
    thread.start();
    thread.wait();
    return path;
}

QList<QByteArray> cardsOf(const QString& file)
{
    QFile in(file);
    QList<QByteArray> cards;
    if (!in.open(QIODevice::ReadOnly))
        return cards;
    const QByteArray bytes = in.readAll();
    const QByteArray end = "END:VCARD\r\n";
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype next = bytes.indexOf(end, at);
        if (next < 0)
            break;
        cards << bytes.mid(at, next + end.size() - at);
        at = next + end.size();
    }
    return cards;
}

struct Counts {
    int files = 0;
    int exportChangesRow = 0;
    int exportReadsOther = 0;
    int cardByCardOther = 0;
    int againChangesRow = 0;
};

void check(const QString& file, Counts& counts)
{
    QTemporaryDir dir;
    const QString merged = emptyDb(dir, QStringLiteral("merged.db"));
    import(merged, file);
    const QList<QVariantList> rows = everyRow(merged);
    const QStringList held = contents(merged);
    const QString own = exportOf(merged, dir.filePath(QStringLiteral("own.vcf")));
    import(merged, own);
    const bool changes = everyRow(merged) != rows;
    const QString fresh = emptyDb(dir, QStringLiteral("fresh.db"));
    import(fresh, own);
    const bool other = contents(fresh) != held;
    const QString cardByCard = emptyDb(dir, QStringLiteral("cards.db"));
    int n = 0;
    for (const QByteArray& card : cardsOf(file)) {
        QFile part(dir.filePath(QStringLiteral("card%1.vcf").arg(n++)));
        if (part.open(QIODevice::WriteOnly) && part.write(card) == card.size()) {
            part.close();
            import(cardByCard, part.fileName());
        }
    }
    const bool byCard = contents(cardByCard) != held;
    const QString again = emptyDb(dir, QStringLiteral("again.db"));
    import(again, file);
    const QList<QVariantList> once = everyRow(again);
    bool grows = false;
    for (int n = 2; n <= 4 && !grows; ++n) {
        import(again, file);
        grows = everyRow(again) != once;
    }
    ++counts.files;
    counts.exportChangesRow += changes;
    counts.exportReadsOther += other;
    counts.cardByCardOther += byCard;
    counts.againChangesRow += grows;
    if (changes || other || byCard || grows)
        std::printf("  %s:%s%s%s%s\n", qPrintable(file), changes ? " export read back changes a row" : "",
            other ? " export read into a new database differs" : "", byCard ? " card by card differs" : "",
            grows ? " imported again changes a row" : "");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList folders = app.arguments().mid(1);
    if (folders.isEmpty()) {
        std::fprintf(stderr, "usage: bench_merge_pairs FOLDER...\n");
        return 2;
    }
    for (const QString& folder : folders) {
        Counts counts;
        const QDir dir(folder);
        for (const QString& name : dir.entryList({ QStringLiteral("*.vcf") }, QDir::Files, QDir::Name))
            check(dir.filePath(name), counts);
        std::printf("%s: %d files; own export read back changes a row: %d; read into a new database stores "
                    "other rows: %d; the file card by card stores other rows: %d; imported again changes a "
                    "row: %d\n",
            qPrintable(folder), counts.files, counts.exportChangesRow, counts.exportReadsOther,
            counts.cardByCardOther, counts.againChangesRow);
    }
    return 0;
}
