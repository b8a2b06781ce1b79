// SPDX-License-Identifier: GPL-3.0-or-later
// The connection: opening and closing, the statement cache, running
// statements and nesting transactions.
#include "platform/sqlite/sqlite3db_p.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSqlite3, "app.db.sqlite", QtWarningMsg)


Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    close();
}

bool Sqlite3DB::isOpen() const
{
    return m_conn && m_conn->db;
}

sqlite3* Sqlite3DB::handle() const
{
    return m_conn ? m_conn->db : nullptr;
}

void Sqlite3DB::requireOpen(const char* what) const
{
    if (!isOpen())
        throwNotOpen(what);
}

void Sqlite3DB::throwError(const QString& what, int rc) const
{
    throwSqlite(handle(), what, rc);
}

namespace {

// SQLite's memory statistics take a global mutex on every allocation, and a
// large import allocates millions of times; nothing here reads them. The
// setting only takes before SQLite initialises, so it is made once before
// the first connection opens.
void configureSqliteOnce()
{
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return sqlite3_initialize() == SQLITE_OK;
    }();
    (void)configured;
}

} // namespace

void Sqlite3DB::openThrow(const QString& path, int flags)
{
    configureSqliteOnce();
    if (isOpen())
        throwText(QStringLiteral("open \"%1\" failed: database already open").arg(path));
    if (path.isEmpty()) {
        // SQLite would silently open a temporary database and lose every write.
        throwText(QStringLiteral("open failed: empty path"));
    }
    sqlite3* db = nullptr;
    const QByteArray name = path.toUtf8();
    // Serialized mode unless asked otherwise: the connection is handed
    // between the GUI thread and a worker thread.
    const int threading = (flags & OpenOneThreadAtATime) ? SQLITE_OPEN_NOMUTEX : SQLITE_OPEN_FULLMUTEX;
    int rc = sqlite3_open_v2(name.constData(), &db, (flags & ~OpenOneThreadAtATime) | threading, nullptr);
    const QString what = QStringLiteral("open \"%1\"").arg(path);
    if (rc != SQLITE_OK) {
        QString msg;
        int code = rc;
        if (db) {
            msg = QString::fromUtf8(sqlite3_errmsg(db));
            code = sqlite3_extended_errcode(db);
        } else {
            msg = QString::fromUtf8(sqlite3_errstr(rc));
        }
        sqlite3_close_v2(db);
        throwText(QStringLiteral("%1 failed: %2 (code %3)").arg(what, msg).arg(code));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, m_busyTimeoutMs);

    // SQLite reads the file lazily; read the schema now so a file that is
    // not a database fails here with a clear text, not at the first query.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        const int code = sqlite3_extended_errcode(db);
        sqlite3_close_v2(db);
        throwText(QStringLiteral("%1 failed: %2 (code %3)").arg(what, msg).arg(code));
    }

    m_conn = std::make_shared<Connection>();
    m_conn->db = db;
    m_depth = 0;
}

void Sqlite3DB::close()
{
    if (!m_conn)
        return;
    std::shared_ptr<Connection> conn = std::move(m_conn);
    {
        std::lock_guard<std::mutex> lock(conn->mutex);
        for (Prepared* p : conn->live) {
            sqlite3_finalize(p->raw);
            p->raw = nullptr;
        }
        conn->live.clear();
    }
    m_cache.clear();
    m_lru.clear();
    m_tranStmts.clear();
    if (conn->db) {
        if (m_depth > 0)
            qCInfo(lcSqlite3) << "closing with an open transaction; it is discarded";
        const int rc = sqlite3_close_v2(conn->db);
        if (rc != SQLITE_OK)
            qCWarning(lcSqlite3) << "close failed, code" << rc;
        conn->db = nullptr;
    }
    m_depth = 0;
}

std::shared_ptr<Prepared> Sqlite3DB::prepare(const QString& sql, bool cacheable)
{
    if (cacheable) {
        const auto hit = m_cache.find(sql);
        if (hit != m_cache.end()) {
            std::shared_ptr<Prepared> p = hit.value()->second;
            if (!p->inUse && p->raw) {
                m_lru.splice(m_lru.begin(), m_lru, hit.value());
                sqlite3_reset(p->raw);
                sqlite3_clear_bindings(p->raw);
                return p;
            }
            // Still stepped by a live cursor: give this run its own copy.
            cacheable = false;
        }
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(m_conn->db, utf8.constData(), int(utf8.size()),
        cacheable ? SQLITE_PREPARE_PERSISTENT : 0, &raw, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(raw);
        throwError(QStringLiteral("prepare \"%1\"").arg(shortSql(sql)), rc);
    }
    if (!raw)
        throwText(QStringLiteral("prepare \"%1\" failed: no statement").arg(shortSql(sql)));
    if (hasMoreStatements(tail)) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    auto p = std::make_shared<Prepared>(m_conn, raw);
    if (cacheable) {
        m_lru.emplace_front(sql, p);
        m_cache.insert(sql, m_lru.begin());
        while (int(m_lru.size()) > kMaxCachedStatements) {
            m_cache.remove(m_lru.back().first);
            m_lru.pop_back();
        }
    }
    return p;
}

std::shared_ptr<Sqlite3Stmt> Sqlite3DB::startThrow(const Sqlite3Sql& sql)
{
    std::shared_ptr<Prepared> p = prepare(sql.sql(), true);
    if (!p)
        throwText(
            QStringLiteral("prepare \"%1\" failed: several statements in one text").arg(shortSql(sql.sql())));
    auto stmt = std::make_shared<Sqlite3Stmt>(p, sql);
    bindAll(p->raw, sql, p->bound);
    return stmt;
}

void Sqlite3DB::executeThrow(const Sqlite3Sql& sql)
{
    requireOpen("execute");
    std::shared_ptr<Prepared> p = prepare(sql.sql(), true);
    if (!p) {
        if (!sql.params().isEmpty())
            throwText(QStringLiteral("execute \"%1\" failed: parameters given for several statements")
                          .arg(shortSql(sql.sql())));
        const QByteArray utf8 = sql.sql().toUtf8();
        execPlain(utf8.constData(), "execute");
        return;
    }
    Sqlite3Stmt stmt(p, sql);
    bindAll(p->raw, sql, p->bound);
    int rc;
    while ((rc = sqlite3_step(p->raw)) == SQLITE_ROW) { }
    if (rc != SQLITE_DONE)
        throwError(QStringLiteral("execute \"%1\"").arg(shortSql(sql.sql())), rc);
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql& sql)
{
    requireOpen("query");
    return Sqlite3Cursor(startThrow(sql));
}

Sqlite3Statement Sqlite3DB::prepareThrow(const QString& sql)
{
    requireOpen("prepare");
    std::shared_ptr<Prepared> p = prepare(sql, false);
    if (!p)
        throwText(
            QStringLiteral("prepare \"%1\" failed: several statements in one text").arg(shortSql(sql)));
    auto state = std::make_shared<Sqlite3Statement::State>();
    state->prep = std::move(p);
    state->sql = sql;
    state->bytes.resize(size_t(sqlite3_bind_parameter_count(state->prep->raw)) + 1);
    return Sqlite3Statement(std::move(state));
}

long long Sqlite3DB::lastInsertId() const
{
    requireOpen("lastInsertId");
    return sqlite3_last_insert_rowid(m_conn->db);
}

int Sqlite3DB::changes() const
{
    requireOpen("changes");
    return sqlite3_changes(m_conn->db);
}

void Sqlite3DB::setBusyTimeout(int ms)
{
    m_busyTimeoutMs = ms;
    if (isOpen())
        sqlite3_busy_timeout(m_conn->db, ms);
}

void Sqlite3DB::execPlain(const char* sql, const char* what)
{
    requireOpen(what);
    char* err = nullptr;
    const int rc = sqlite3_exec(m_conn->db, sql, nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK)
        throwError(
            QStringLiteral("%1 \"%2\"").arg(QLatin1String(what), shortSql(QString::fromUtf8(sql))), rc);
}

namespace {

QByteArray tranSql(int level, int verb)
{
    // Verb order as Sqlite3DB::TranVerb: begin, commit, rollback.
    if (level == 0) {
        static const char* const outer[] = {"BEGIN", "COMMIT", "ROLLBACK"};
        return QByteArray(outer[verb]);
    }
    static const char* const inner[] = {"SAVEPOINT s", "RELEASE s", "ROLLBACK TO s"};
    return QByteArray(inner[verb]) + QByteArray::number(level);
}

} // namespace

Prepared* Sqlite3DB::tranStatement(int level, TranVerb verb, QByteArray* text)
{
    *text = tranSql(level, verb);
    const size_t slot = size_t(level) * TranVerbCount + verb;
    if (slot < m_tranStmts.size() && m_tranStmts[slot] && m_tranStmts[slot]->raw)
        return m_tranStmts[slot].get();
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(
        m_conn->db, text->constData(), int(text->size()), SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    if (rc != SQLITE_OK || !raw) {
        sqlite3_finalize(raw);
        return nullptr;
    }
    if (slot >= m_tranStmts.size())
        m_tranStmts.resize(slot + 1);
    m_tranStmts[slot] = std::make_shared<Prepared>(m_conn, raw);
    return m_tranStmts[slot].get();
}

int Sqlite3DB::runTran(int level, TranVerb verb, QByteArray* text)
{
    Prepared* p = tranStatement(level, verb, text);
    if (!p)
        return sqlite3_errcode(m_conn->db) != SQLITE_OK ? sqlite3_errcode(m_conn->db) : SQLITE_ERROR;
    const int rc = sqlite3_step(p->raw);
    // The error text stays with the connection after the reset.
    sqlite3_reset(p->raw);
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

void Sqlite3DB::runTranThrow(int level, TranVerb verb, const char* what)
{
    QByteArray text;
    const int rc = runTran(level, verb, &text);
    if (rc != SQLITE_OK)
        throwError(QStringLiteral("%1 \"%2\"").arg(QLatin1String(what), QString::fromUtf8(text)), rc);
}

void Sqlite3DB::beginTran()
{
    requireOpen("begin transaction");
    runTranThrow(m_depth, TranBegin, "begin transaction");
    ++m_depth;
}

void Sqlite3DB::commitTran()
{
    if (m_depth == 0)
        return;
    requireOpen("commit transaction");
    if (m_depth > 1) {
        runTranThrow(m_depth - 1, TranCommit, "commit transaction");
        --m_depth;
        return;
    }
    try {
        runTranThrow(0, TranCommit, "commit transaction");
        m_depth = 0;
    } catch (const std::exception& e) {
        // A failed COMMIT leaves the transaction open; never leave the
        // connection inside it, and never let the caller think it is stored.
        m_depth = 0;
        if (!sqlite3_get_autocommit(m_conn->db)) {
            QByteArray text;
            const int rc = runTran(0, TranRollback, &text);
            if (rc != SQLITE_OK)
                qCWarning(lcSqlite3) << "rollback after failed commit failed, code" << rc;
        }
        throwText(QString::fromUtf8(e.what()) + QStringLiteral("; the transaction was rolled back"));
    }
}

void Sqlite3DB::rollbackTran()
{
    if (m_depth == 0)
        return;
    if (!isOpen()) {
        m_depth = 0;
        return;
    }
    QByteArray text;
    if (m_depth == 1) {
        m_depth = 0;
        // SQLite may already have rolled back on its own after an I/O or
        // full-disk error; then there is nothing left to undo.
        if (!sqlite3_get_autocommit(m_conn->db)) {
            const int rc = runTran(0, TranRollback, &text);
            if (rc != SQLITE_OK)
                qCWarning(lcSqlite3) << "rollback failed:" << sqlite3_errmsg(m_conn->db);
        }
        return;
    }
    --m_depth;
    // ROLLBACK TO keeps the savepoint open; RELEASE then ends it.
    int rc = runTran(m_depth, TranRollback, &text);
    if (rc == SQLITE_OK)
        rc = runTran(m_depth, TranCommit, &text);
    if (rc != SQLITE_OK)
        qCWarning(lcSqlite3) << "rollback to savepoint failed:" << sqlite3_errmsg(m_conn->db);
}
