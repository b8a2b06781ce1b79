// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the SQLite wrapper on the statement shapes of a large
// import: one insert text run many times inside one transaction, then a
// full read back. Usage: bench_sqlite3db [rows] [folder]
#include "platform/sqlite/sqlite3db.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200000;
    QTemporaryDir tmp(
        argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench-XXXXXX") : QString());
    if (rows <= 0 || !tmp.isValid()) {
        std::fprintf(stderr, "usage: bench_sqlite3db [rows] [folder]\n");
        return 2;
    }
    try {
        Sqlite3DB db;
        db.openThrow(tmp.filePath(QStringLiteral("bench.db")), 6);
        db.executeThrow("CREATE TABLE data(_id INTEGER PRIMARY KEY AUTOINCREMENT, contact_id INTEGER, "
                        "type INTEGER, data1 TEXT, data2 TEXT, data15 BLOB)");
        const QByteArray blob(64, '\x7f');

        QElapsedTimer timer;
        timer.start();
        db.beginTran();
        for (int i = 0; i < rows; ++i) {
            db.beginTran(); // one savepoint per contact, as a merge does
            db.executeThrow(
                Sqlite3Sql("INSERT INTO data(contact_id, type, data1, data2, data15) VALUES(?, ?, ?, ?, ?)")
                    .addInt64Param(i / 3)
                    .addIntParam(3)
                    .addTextParam(QStringLiteral("+47 %1").arg(i))
                    .addTextParam(QStringLiteral("2"))
                    .addBlobParam(i % 20 == 0 ? blob : QByteArray()));
            db.commitTran();
        }
        db.commitTran();
        const qint64 insertMs = timer.restart();

        Sqlite3Cursor c = db.queryThrow(
            Sqlite3Sql("SELECT _id, data1, data15 FROM data WHERE type = ? ORDER BY _id").addIntParam(3));
        const int total = c.count();
        long long sum = 0;
        int seen = 0;
        while (c.moveNext()) {
            sum += c.getInt64("_id") + c.getText("data1").size() + c.getBlob("data15").size();
            ++seen;
        }
        const qint64 readMs = timer.elapsed();
        std::printf(
            "rows %d: insert %lld ms (%.0f rows/s), count %d + read %d rows %lld ms (checksum %lld)\n", rows,
            static_cast<long long>(insertMs), insertMs > 0 ? rows * 1000.0 / insertMs : 0.0, total, seen,
            static_cast<long long>(readMs), sum);
        return total == rows && seen == rows ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
