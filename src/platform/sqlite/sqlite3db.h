// SPDX-License-Identifier: GPL-3.0-or-later
// A thin C++/Qt layer over the SQLite 3 C API: one connection, statements
// with positional parameters, cursors that share their prepared statement,
// and transactions that nest through savepoints. Every failure throws
// Error ("platform/error.h") whose text names the operation, SQLite's
// message and its extended result code.
//
// One connection may be used by several threads in turn (the GUI thread and
// the worker of the running operation), never by two at once.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <QByteArrayView>

#include <functional>
#include <list>
#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;

// The interface version of this library; the application refuses to start
// with any other.
int sqlite_qt_version();

// Statement text with the values for its "?" parameters, in call order.
class Sqlite3Sql {
public:
    Sqlite3Sql() = default;
    Sqlite3Sql(const char* sql)
        : m_sql(QString::fromUtf8(sql))
    {
    }
    Sqlite3Sql(const QString& sql)
        : m_sql(sql)
    {
    }

    Sqlite3Sql& appendSql(const QString& sql);
    Sqlite3Sql& addIntParam(int value);
    Sqlite3Sql& addInt64Param(long long value);
    // A null QString binds empty text, never NULL.
    Sqlite3Sql& addTextParam(const QString& value);
    // A null or empty QByteArray binds a zero-length blob, never NULL.
    Sqlite3Sql& addBlobParam(const QByteArray& value);
    Sqlite3Sql& addNullParam();

    const QString& sql() const { return m_sql; }
    const QList<QVariant>& params() const { return m_params; }

private:
    QString m_sql;
    QList<QVariant> m_params;
};

// One run of a prepared statement; shared by the copies of its cursor.
class Sqlite3Stmt;
class Sqlite3DB;
namespace sqlite3db_detail {
struct Connection;
struct Prepared;
}

// Result rows of a query, positioned before the first row. Copies share the
// same run. A cursor outliving Sqlite3DB::close() (or the Sqlite3DB itself)
// is safe: every call on it then throws "database not open".
class Sqlite3Cursor {
public:
    Sqlite3Cursor() = default;

    // Steps to the next row; false at the end (and on an empty cursor).
    bool moveNext();
    // Number of result rows of the whole query, whatever has been read so
    // far; does not move this cursor.
    int count();

    // NULL reads as 0, empty text or empty bytes. An unknown column name,
    // a column index out of range or a read without a current row throws.
    int getInt(const QString& column) const;
    long long getInt64(const QString& column) const;
    long long getInt64(int index) const;
    QString getText(const QString& column) const;
    QByteArray getBlob(const QString& column) const;
    // The same by position in the row (0 the first column), for loops over
    // many rows that would otherwise look every name up again.
    QString getText(int index) const;
    QByteArray getBlob(int index) const;
    bool isNull(const QString& column) const;

private:
    friend class Sqlite3DB;
    explicit Sqlite3Cursor(std::shared_ptr<Sqlite3Stmt> stmt)
        : m_stmt(std::move(stmt))
    {
    }

    std::shared_ptr<Sqlite3Stmt> m_stmt;
};

// A statement prepared once and run many times, its values bound by
// position (1 the first "?") straight from their own types: text as UTF-8,
// integers as integers, bytes as a blob. Values stay bound only for one
// run. Copies share the statement. After Sqlite3DB::close() every call
// throws "database not open"; isValid() then turns false.
class Sqlite3Statement {
public:
    Sqlite3Statement() = default;

    bool isValid() const;
    Sqlite3Statement& bindInt64(int pos, long long value);
    // A null QString binds empty text, never NULL.
    Sqlite3Statement& bindText(int pos, const QString& value);
    // Text the caller holds as UTF-8 already, bound as it is (copied).
    Sqlite3Statement& bindUtf8(int pos, QByteArrayView utf8);
    // A null or empty QByteArray binds a zero-length blob, never NULL.
    Sqlite3Statement& bindBlob(int pos, const QByteArray& value);
    // Runs to the end, then resets the statement and clears its values.
    void execute();
    // The same for a query: the first column of its first row as an
    // integer, `none` when it gives no row.
    long long firstInt64(long long none);

    // One row of a query, read in place: its values live until the next
    // row, so a caller that only compares them copies nothing.
    class Row {
    public:
        int columns() const;
        long long int64(int column) const;
        // The column's text as stored (UTF-8); NULL reads as empty.
        QByteArrayView text(int column) const;
        // As Sqlite3Cursor's, for code that reads either: NULL reads as
        // empty text or empty bytes.
        QString getText(int column) const;
        QByteArray getBlob(int column) const;

    private:
        friend class Sqlite3Statement;
        explicit Row(void* raw)
            : m_raw(raw)
        {
        }
        void* m_raw;
    };
    // Hands a query's rows to `row` while it answers true, then resets the
    // statement and clears its values (also when `row` throws). False when
    // `row` stopped it early.
    bool forEachRow(const std::function<bool(const Row&)>& row);

private:
    friend class Sqlite3DB;
    struct State;
    explicit Sqlite3Statement(std::shared_ptr<State> state)
        : m_state(std::move(state))
    {
    }
    void bindResult(int pos, int rc);
    void run(long long* first);

    std::shared_ptr<State> m_state;
};

class Sqlite3DB {
public:
    enum OpenFlags {
        OpenReadOnly = 1,
        OpenReadWrite = 2,
        OpenCreate = 4,
        // For a connection that stays with one thread at a time, statements
        // and cursors included: SQLite then takes no lock of its own on each
        // call, which on a walk reading every column of every row was a
        // tenth of its time.
        OpenOneThreadAtATime = 0x8000,
    };

    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    bool isOpen() const;
    // flags: 2 read-write existing file, 6 read-write create, 1 read-only;
    // each may add OpenOneThreadAtATime.
    // Throws when already open, on an empty path, or when SQLite fails.
    void openThrow(const QString& path, int flags);
    // Discards an open transaction and finalizes every statement, also those
    // still held by cursors. Harmless when not open.
    void close();

    void executeThrow(const Sqlite3Sql& sql);
    Sqlite3Cursor queryThrow(const Sqlite3Sql& sql);
    // Prepares one statement (no values) for Sqlite3Statement's typed runs.
    Sqlite3Statement prepareThrow(const QString& sql);
    long long lastInsertId() const;
    int changes() const;

    // Nesting transactions: the outermost level is BEGIN/COMMIT/ROLLBACK,
    // inner levels are savepoints. Commit or rollback at depth 0 does nothing.
    // A failed outermost COMMIT rolls back and throws.
    void beginTran();
    void commitTran();
    void rollbackTran();
    int tranDepth() const { return m_depth; }

    // 5000 ms after each open unless changed.
    void setBusyTimeout(int ms);
    sqlite3* handle() const;

private:
    std::shared_ptr<sqlite3db_detail::Prepared> prepare(const QString& sql, bool cacheable);
    std::shared_ptr<Sqlite3Stmt> startThrow(const Sqlite3Sql& sql);
    void execPlain(const char* sql, const char* what);
    // The statement that opens, releases or rolls back transaction level
    // `level` (0 the outermost), prepared once per connection: a large
    // import opens a savepoint per contact.
    enum TranVerb { TranBegin, TranCommit, TranRollback, TranVerbCount };
    sqlite3db_detail::Prepared* tranStatement(int level, TranVerb verb, QByteArray* text);
    // Runs that statement; returns SQLite's result code and leaves the
    // statement reset. `text` receives the statement's SQL for messages.
    int runTran(int level, TranVerb verb, QByteArray* text);
    void runTranThrow(int level, TranVerb verb, const char* what);
    void requireOpen(const char* what) const;
    [[noreturn]] void throwError(const QString& what, int rc) const;

    std::shared_ptr<sqlite3db_detail::Connection> m_conn;
    int m_depth = 0;
    int m_busyTimeoutMs = 5000;
    // Indexed level * TranVerbCount + verb; finalized by close().
    std::vector<std::shared_ptr<sqlite3db_detail::Prepared>> m_tranStmts;
    // Prepared statements keyed by SQL text, least recently used first out.
    std::list<std::pair<QString, std::shared_ptr<sqlite3db_detail::Prepared>>> m_lru;
    QHash<QString, std::list<std::pair<QString, std::shared_ptr<sqlite3db_detail::Prepared>>>::iterator>
        m_cache;
};
