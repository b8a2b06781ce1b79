// SPDX-License-Identifier: GPL-3.0-or-later
// A thin C++/Qt layer over the SQLite 3 C API: one connection, statements
// with positional parameters, cursors that share their prepared statement,
// and transactions that nest through savepoints. Every failure throws
// std::runtime_error whose text names the operation, SQLite's message and
// its extended result code.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <mutex>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

// The interface version of this library; the application refuses to start
// with any other.
int sqlite_qt_version();

// Statement text with the values for its "?" parameters, in call order.
class Sqlite3Sql {
public:
    Sqlite3Sql() = default;
    Sqlite3Sql(const char* sql) : m_sql(QString::fromUtf8(sql)) {}
    Sqlite3Sql(const QString& sql) : m_sql(sql) {}

    Sqlite3Sql& appendSql(const QString& sql);
    Sqlite3Sql& addIntParam(int value);
    Sqlite3Sql& addInt64Param(long long value);
    Sqlite3Sql& addTextParam(const QString& value);
    Sqlite3Sql& addBlobParam(const QByteArray& value);
    Sqlite3Sql& addNullParam();

    const QString& sql() const { return m_sql; }
    const QList<QVariant>& params() const { return m_params; }

private:
    QString m_sql;
    QList<QVariant> m_params;
};

// A prepared statement; shared by the cursors stepping it.
class Sqlite3Stmt;
class Sqlite3DB;

class Sqlite3Cursor {
public:
    Sqlite3Cursor() = default;

    // Steps to the next row; false at the end (and on an empty cursor).
    bool moveNext();
    // Number of result rows, without consuming this cursor's rows.
    int count();

    int getInt(const QString& column) const;
    long long getInt64(const QString& column) const;
    long long getInt64(int index) const;
    QString getText(const QString& column) const;
    QByteArray getBlob(const QString& column) const;
    bool isNull(const QString& column) const;

private:
    friend class Sqlite3DB;
    explicit Sqlite3Cursor(std::shared_ptr<Sqlite3Stmt> stmt) : m_stmt(std::move(stmt)) {}
    int columnIndex(const QString& column) const;

    std::shared_ptr<Sqlite3Stmt> m_stmt;
};

class Sqlite3DB {
public:
    enum OpenFlags {
        OpenReadOnly = 1,
        OpenReadWrite = 2,
        OpenCreate = 4,
    };

    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB&) = delete;
    Sqlite3DB& operator=(const Sqlite3DB&) = delete;

    bool isOpen() const;
    // flags: 2 read-write existing file, 6 read-write create, 1 read-only.
    void openThrow(const QString& path, int flags);
    void close();

    void executeThrow(const Sqlite3Sql& sql);
    Sqlite3Cursor queryThrow(const Sqlite3Sql& sql);
    long long lastInsertId() const;
    int changes() const;

    // Nesting transactions: the outermost level is BEGIN/COMMIT/ROLLBACK,
    // inner levels are savepoints. Commit or rollback at depth 0 does nothing.
    void beginTran();
    void commitTran();
    void rollbackTran();
    int tranDepth() const { return m_depth; }

    void setBusyTimeout(int ms);
    sqlite3* handle() const { return m_db; }

private:
    std::shared_ptr<Sqlite3Stmt> prepare(const Sqlite3Sql& sql);
    void execPlain(const char* sql, const char* what);
    [[noreturn]] void throwError(const QString& what, int rc) const;

    sqlite3* m_db = nullptr;
    int m_depth = 0;
    QHash<QString, std::shared_ptr<Sqlite3Stmt>> m_cache;
};
