// SPDX-License-Identifier: GPL-3.0-or-later
// Reads contact files through the real import thread, each into an empty
// local database, and writes what was stored: every contact and data row
// and the import's ending. Two builds run over the same files give two
// folders whose difference is every file that reads differently.
//
// usage: bench_readdump OUTDIR FILE-OR-FOLDER...
// A folder is read with its subfolders; OUTDIR gets one .txt per file,
// named after its path, and index.txt listing them.
#include "common/sqlprobe.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString cellText(const QVariant& v)
{
    if (!v.isValid())
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::QByteArray)
        return QLatin1Char('%') + QString::fromLatin1(v.toByteArray().toHex());
    QString text = v.toString();
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\t'), QLatin1String("\\t"));
}

QByteArray readOne(const QString& path)
{
    QTemporaryDir dir;
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(dir.filePath(QStringLiteral("dump.db")));
    db->create();
    const auto type = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
        ? ImportContactsToLocalThread::TYPE_CSV
        : ImportContactsToLocalThread::TYPE_VCARD;
    RecordingReporter reporter;
    ImportContactsToLocalThread thread(path, type, db.data(), &reporter);
    thread.start();
    thread.wait();
    db->close();
    QStringList out;
    for (const QString& text : reporter.successes())
        out << QStringLiteral("success ") + cellText(text);
    for (const QString& text : reporter.errors())
        out << QStringLiteral("error ") + cellText(text);
    SqlProbe probe(db->path());
    const QStringList tables = probe.column(QStringLiteral("select name from sqlite_master where type='table' "
                                                           "and name in ('contact','data','contact_group') order by name"));
    for (const QString& table : tables) {
        for (const QVariantList& row : probe.rows(QStringLiteral("select * from %1 order by rowid").arg(table))) {
            QStringList cells;
            for (const QVariant& cell : row)
                cells << cellText(cell);
            out << table + QLatin1Char(' ') + cells.join(QLatin1String(" | "));
        }
    }
    return out.join(QLatin1Char('\n')).toUtf8() + '\n';
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_readdump OUTDIR FILE-OR-FOLDER...\n");
        return 2;
    }
    QDir out(args.first());
    if (!out.mkpath(QStringLiteral(".")))
        return 1;
    QStringList files;
    for (const QString& arg : args.mid(1)) {
        if (QFileInfo(arg).isDir()) {
            QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        } else {
            files << arg;
        }
    }
    files.sort();
    QFile index(out.filePath(QStringLiteral("index.txt")));
    if (!index.open(QIODevice::WriteOnly))
        return 1;
    for (const QString& path : files) {
        const QString name = QString(path).replace(QLatin1Char('/'), QLatin1Char('_')) + QLatin1String(".txt");
        QFile file(out.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(readOne(path)) < 0)
            return 1;
        index.write((path + QLatin1Char('\n')).toUtf8());
    }
    std::printf("%lld files read into %s\n", static_cast<long long>(files.size()), qPrintable(out.path()));
    return 0;
}
