// SPDX-License-Identifier: GPL-3.0-or-later
// Internals shared by the statement, cursor and connection files of the
// SQLite wrapper: the prepared-statement cache entries, the connection they
// hang off, and one run of a statement. Not part of the wrapper's API.
#pragma once

#include "platform/error.h"
#include "platform/sqlite/sqlite3db.h"

#include <sqlite3.h>

#include <atomic>
#include <mutex>
#include <unordered_set>

namespace sqlite3db_detail {

// Large imports build statements with row ids written into the text, so the
// cache must stay bounded; the hot statements are far fewer than this.
constexpr int kMaxCachedStatements = 128;

// The statement text for messages, simplified and cut at 160 characters.
QString shortSql(const QString& sql);
[[noreturn]] void throwText(const QString& text);
// "<what> failed: <SQLite's message> (code <extended code>)".
[[noreturn]] void throwSqlite(sqlite3* db, const QString& what, int rc);
[[noreturn]] void throwNotOpen(const char* what);
bool hasMoreStatements(const char* tail);
// A column of the current row as Qt text or bytes; NULL reads as empty.
QString columnText(sqlite3_stmt* raw, int idx);
QByteArray columnBlob(sqlite3_stmt* raw, int idx);

// The bytes of a run's text and blob values. SQLite reads them in place
// (SQLITE_STATIC) instead of copying each one again, so they must outlive
// every step of the run: they are dropped or overwritten only after the
// statement has been reset and its bindings cleared.
struct BoundBuffers {
    // ASCII texts, the common case, side by side in one buffer whose
    // capacity is kept from run to run.
    QByteArray ascii;
    // Everything else, one buffer each.
    std::vector<QByteArray> held;

    void release()
    {
        held.clear();
        // A one-off huge text must not stay allocated with the statement.
        if (ascii.capacity() > 64 * 1024)
            ascii = QByteArray();
    }
};

// Binds every value of `sql` to `raw`, keeping the bytes in `buffers`.
// Throws when the number of values differs from the statement's "?" count.
void bindAll(sqlite3_stmt* raw, const Sqlite3Sql& sql, BoundBuffers& buffers);

struct Prepared;

// Shared by a Sqlite3DB and every statement prepared on it, so statements
// held by cursors can be finalized when the connection closes.
struct Connection {
    sqlite3* db = nullptr;
    std::mutex mutex;
    std::unordered_set<Prepared*> live;
};

struct Prepared {
    Prepared(std::shared_ptr<Connection> c, sqlite3_stmt* s)
        : conn(std::move(c))
        , raw(s)
    {
        std::lock_guard<std::mutex> lock(conn->mutex);
        conn->live.insert(this);
    }
    ~Prepared()
    {
        std::lock_guard<std::mutex> lock(conn->mutex);
        if (raw) {
            sqlite3_finalize(raw);
            conn->live.erase(this);
        }
    }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    int columnIndex(const QString& name)
    {
        if (!columnsBuilt) {
            const int n = sqlite3_column_count(raw);
            columns.reserve(n);
            for (int i = 0; i < n; ++i) {
                const QString col = QString::fromUtf8(sqlite3_column_name(raw, i));
                if (!columns.contains(col))
                    columns.insert(col, i);
            }
            columnsBuilt = true;
        }
        const auto it = columns.constFind(name);
        if (it != columns.constEnd())
            return it.value();
        // SQL names are case-insensitive; keep that for callers that spell
        // a column differently from the schema.
        for (auto c = columns.constBegin(); c != columns.constEnd(); ++c) {
            if (c.key().compare(name, Qt::CaseInsensitive) == 0)
                return c.value();
        }
        return -1;
    }

    std::shared_ptr<Connection> conn;
    sqlite3_stmt* raw = nullptr;
    // Values of the run in progress; one run at a time uses a statement.
    BoundBuffers bound;
    QHash<QString, int> columns;
    bool columnsBuilt = false;
    std::atomic<bool> inUse { false };
};

} // namespace sqlite3db_detail

using namespace sqlite3db_detail;


struct Sqlite3Statement::State {
    std::shared_ptr<Prepared> prep;
    QString sql;
    // One buffer per parameter, its capacity kept from run to run; SQLite
    // reads the bytes in place until the run's reset.
    std::vector<QByteArray> bytes;
};

// One run of a prepared statement. Resets the statement when the last cursor
// copy goes away, so an abandoned cursor holds no read lock.
class Sqlite3Stmt {
public:
    Sqlite3Stmt(std::shared_ptr<Prepared> p, Sqlite3Sql s)
        : prep(std::move(p))
        , sql(std::move(s))
    {
        prep->inUse = true;
    }
    ~Sqlite3Stmt()
    {
        if (prep->raw) {
            sqlite3_reset(prep->raw);
            sqlite3_clear_bindings(prep->raw);
        }
        // Only now, with nothing bound to them any more.
        prep->bound.release();
        prep->inUse = false;
    }
    Sqlite3Stmt(const Sqlite3Stmt&) = delete;
    Sqlite3Stmt& operator=(const Sqlite3Stmt&) = delete;

    sqlite3_stmt* rawThrow(const char* what) const
    {
        if (!prep->raw)
            throwNotOpen(what);
        return prep->raw;
    }

    int columnThrow(const QString& name, const char* what) const
    {
        sqlite3_stmt* raw = rowThrow(what);
        (void)raw;
        const int idx = prep->columnIndex(name);
        if (idx < 0)
            throwText(QStringLiteral("%1 failed: no column named \"%2\" in \"%3\"")
                          .arg(QLatin1String(what), name, shortSql(sql.sql())));
        return idx;
    }

    // The index itself when the current row has that column; throws
    // otherwise.
    int indexThrow(int index, const char* what) const;

    sqlite3_stmt* rowThrow(const char* what) const
    {
        sqlite3_stmt* raw = rawThrow(what);
        if (!onRow)
            throwText(QStringLiteral("%1 failed: no current row").arg(QLatin1String(what)));
        return raw;
    }

    std::shared_ptr<Prepared> prep;
    Sqlite3Sql sql;
    bool onRow = false;
    bool done = false;
    int total = -1;
};
