// SPDX-License-Identifier: GPL-3.0-or-later
// Exports the contacts of a generated .flat file to vCard 3.0 through the
// real export thread and prints the time it took.
//
// usage: bench_vcard_export [contacts-N.flat] [output.vcf]
// The .flat file comes from gen_contacts.py (its header describes the
// format); by default bench-data/contacts-100000.flat.
#include "fileformats/exporttofilethread.h"
#include "support/recordingreporter.h"
#include "fileformats/vcardexport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {

// One contact per line: the full name, then TAB-separated entities, each
// "type\x1fdata1\x1fdata2..." with line feeds written as "\n". A photo's
// last field is the base64 of its bytes and goes to data15.
QList<pim::_Contact> loadFlat(const QString& path)
{
    QList<pim::_Contact> contacts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return contacts;
    const QString lineFeedEscape = QStringLiteral("\\n");
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).chopped(1);
        const QStringList columns = line.split(u'\t');
        pim::_Contact c;
        c.fullName = columns.value(0);
        for (int i = 1; i < columns.size(); ++i) {
            const QStringList fields = columns.at(i).split(QChar(0x1f));
            const int type = fields.value(0).toInt();
            pim::Entity e;
            for (int k = 1; k < fields.size(); ++k) {
                QString value = fields.at(k);
                value.replace(lineFeedEscape, QStringLiteral("\n"));
                if (type == pim::ENTITY_PHOTO && k == fields.size() - 1)
                    e.fields.insert(QStringLiteral("data15"), QByteArray::fromBase64(value.toLatin1()));
                else if (k == 2)
                    e.fields.insert(QStringLiteral("data2"), value.toInt());
                else if (!value.isEmpty())
                    e.fields.insert(QStringLiteral("data%1").arg(k), value);
            }
            c.entities[type].append(e);
        }
        contacts.append(c);
    }
    return contacts;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString flat = args.value(1, QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-100000.flat"));
    const QString out = args.value(2, QStringLiteral(MARROWLINK_BENCH_DATA "/export-bench.vcf"));

    QElapsedTimer timer;
    timer.start();
    const QList<pim::_Contact> contacts = loadFlat(flat);
    if (contacts.isEmpty()) {
        std::fprintf(stderr, "no contacts in %s; generate it with\n"
                             "  /work/shared/bench/gen_contacts.py 100000 --out bench-data\n",
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
