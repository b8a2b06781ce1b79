// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the SQLite wrapper tests.
#pragma once

#include "sqlite3db.h"

#include <QList>
#include <QString>

#include <functional>

// The text of the exception a call throws, or empty when it throws none.
inline QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// The first column of every row of a query, as 64-bit integers.
inline QList<long long> column0(Sqlite3DB& db, const QString& sql)
{
    QList<long long> out;
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    while (c.moveNext())
        out.append(c.getInt64(0));
    return out;
}
