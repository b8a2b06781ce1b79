// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: the file lists of a backup folder. The first byte picks
// the list: a Manifest.mbdb stream, one Manifest.db file description (a keyed
// archive, binary or XML), or a Manifest.db whose Files rows are the input's
// records (domain, path and description blob, separated by 0x1f, records by
// 0x1e), written as a real SQLite file and read as a backup is.
#include "itunesbackup/filedescription_p.h"
#include "itunesbackup/mbdbparser.h"
#include "platform/sqlite/sqlite3db.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <exception>

namespace {

void readManifestDb(const QByteArray& records)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Manifest.db"));
    QFile::remove(path);
    {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::OpenReadWrite | Sqlite3DB::OpenCreate);
        db.executeThrow("PRAGMA synchronous=OFF");
        db.executeThrow("create table Files (fileID text primary key, domain text, relativePath text, flags integer, "
                        "file blob)");
        int n = 0;
        for (const QByteArray& record : records.split('\x1e')) {
            const QList<QByteArray> parts = record.split('\x1f');
            Sqlite3Sql insert("insert into Files values (?, ?, ?, 1, ?)");
            insert.addTextParam(QString::number(++n))
                .addTextParam(QString::fromUtf8(parts.value(0)))
                .addTextParam(QString::fromUtf8(parts.value(1)))
                .addBlobParam(parts.value(2));
            db.executeThrow(insert);
        }
        db.close();
    }
    MBDBParser::readManifestDb(path, QByteArray());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 1024 * 1024)
        return 0;
    const QByteArray input(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    try {
        switch (data[0] % 3) {
        case 0: {
            QBuffer in;
            in.setData(input);
            in.open(QIODevice::ReadOnly);
            for (const MBDBParser::_MBDBItem& item : MBDBParser::readMbdb(in, QStringLiteral("Manifest.mbdb")))
                item.backupFileName();
            break;
        }
        case 1: {
            MBDBParser::_MBDBItem item;
            readFileDescription(input, item);
            break;
        }
        default:
            readManifestDb(input);
            break;
        }
    } catch (const std::exception&) {
        // Refused in words.
    }
    return 0;
}
