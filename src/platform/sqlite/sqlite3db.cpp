// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sqlite/sqlite3db.h"

#include <QLoggingCategory>

#include <sqlite3.h>

#include <atomic>
#include <mutex>
#include <unordered_set>

Q_LOGGING_CATEGORY(lcSqlite3, "app.db.sqlite", QtWarningMsg)

namespace {

// Large imports build statements with row ids written into the text, so the
// cache must stay bounded; the hot statements are far fewer than this.
constexpr int kMaxCachedStatements = 128;

QString shortSql(const QString& sql)
{
    const QString simplified = sql.simplified();
    return simplified.size() > 160 ? simplified.left(157) + QStringLiteral("...") : simplified;
}

[[noreturn]] void throwText(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

[[noreturn]] void throwSqlite(sqlite3* db, const QString& what, int rc)
{
    const int code = db ? sqlite3_extended_errcode(db) : rc;
    const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    throwText(QStringLiteral("%1 failed: %2 (code %3)").arg(what, msg).arg(code != 0 ? code : rc));
}

[[noreturn]] void throwNotOpen(const char* what)
{
    throwText(QStringLiteral("%1 failed: database not open").arg(QLatin1String(what)));
}

bool hasMoreStatements(const char* tail)
{
    return tail && QByteArray(tail).trimmed().size() > 0;
}

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

const QString& textOf(const QVariant& v)
{
    return *static_cast<const QString*>(v.constData());
}

void bindAll(sqlite3_stmt* raw, const Sqlite3Sql& sql, BoundBuffers& buffers)
{
    sqlite3* db = sqlite3_db_handle(raw);
    const QList<QVariant>& params = sql.params();
    const int expected = sqlite3_bind_parameter_count(raw);
    if (expected != params.size()) {
        // SQLite would bind NULL to the missing ones and store a row that
        // nobody asked for.
        throwText(QStringLiteral("bind \"%1\" failed: %2 parameters, %3 values")
                      .arg(shortSql(sql.sql()))
                      .arg(expected)
                      .arg(params.size()));
    }
    // Sized before anything is bound: growing it later would move the
    // bytes earlier values were bound to.
    qsizetype asciiSize = 0;
    for (const QVariant& v : params) {
        if (v.typeId() == QMetaType::QString && QtPrivate::isAscii(QStringView(textOf(v))))
            asciiSize += textOf(v).size();
    }
    buffers.held.clear();
    buffers.ascii.resize(asciiSize);
    char* asciiOut = buffers.ascii.data();
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params.at(i);
        const int pos = i + 1;
        int rc = SQLITE_OK;
        switch (v.typeId()) {
        case QMetaType::Int:
            rc = sqlite3_bind_int(raw, pos, *static_cast<const int*>(v.constData()));
            break;
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(raw, pos, *static_cast<const qlonglong*>(v.constData()));
            break;
        case QMetaType::QString: {
            const QString& text = textOf(v);
            const char* bytes = "";
            qsizetype size = 0;
            if (QtPrivate::isAscii(QStringView(text))) {
                bytes = asciiOut;
                size = text.size();
                for (const QChar c : text)
                    *asciiOut++ = char(c.unicode());
            } else {
                buffers.held.push_back(text.toUtf8());
                bytes = buffers.held.back().constData();
                size = buffers.held.back().size();
            }
            // A zero-length text still needs a non-null pointer, or it binds NULL.
            rc = sqlite3_bind_text64(
                raw, pos, size > 0 ? bytes : "", sqlite3_uint64(size), SQLITE_STATIC, SQLITE_UTF8);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray& bytes = *static_cast<const QByteArray*>(v.constData());
            // A null data pointer would bind NULL instead of an empty blob.
            if (bytes.isEmpty()) {
                rc = sqlite3_bind_zeroblob(raw, pos, 0);
            } else {
                buffers.held.push_back(bytes);
                rc = sqlite3_bind_blob64(
                    raw, pos, buffers.held.back().constData(), sqlite3_uint64(bytes.size()), SQLITE_STATIC);
            }
            break;
        }
        default:
            rc = sqlite3_bind_null(raw, pos);
            break;
        }
        if (rc != SQLITE_OK)
            throwSqlite(db, QStringLiteral("bind #%1 of \"%2\"").arg(pos).arg(shortSql(sql.sql())), rc);
    }
}

} // namespace

namespace sqlite3db_detail {

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

using sqlite3db_detail::Connection;
using sqlite3db_detail::Prepared;

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

int sqlite_qt_version()
{
    return 8;
}

// ---- Sqlite3Sql

Sqlite3Sql& Sqlite3Sql::appendSql(const QString& sql)
{
    m_sql += sql;
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addIntParam(int value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addInt64Param(long long value)
{
    m_params.append(QVariant(qlonglong(value)));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addTextParam(const QString& value)
{
    m_params.append(QVariant(value.isNull() ? QString(QLatin1String("")) : value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addBlobParam(const QByteArray& value)
{
    m_params.append(QVariant(value));
    return *this;
}

Sqlite3Sql& Sqlite3Sql::addNullParam()
{
    m_params.append(QVariant());
    return *this;
}

// ---- Sqlite3Cursor

bool Sqlite3Cursor::moveNext()
{
    if (!m_stmt)
        return false;
    sqlite3_stmt* raw = m_stmt->rawThrow("step");
    if (m_stmt->done)
        return false;
    const int rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW) {
        m_stmt->onRow = true;
        return true;
    }
    m_stmt->onRow = false;
    m_stmt->done = true;
    if (rc == SQLITE_DONE) {
        // Release the read lock now rather than when the cursor dies.
        sqlite3_reset(raw);
        return false;
    }
    sqlite3* db = sqlite3_db_handle(raw);
    const QString what = QStringLiteral("step \"%1\"").arg(shortSql(m_stmt->sql.sql()));
    const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_reset(raw);
    throwText(QStringLiteral("%1 failed: %2 (code %3)").arg(what, msg).arg(rc));
}

int Sqlite3Cursor::count()
{
    if (!m_stmt)
        return 0;
    sqlite3_stmt* raw = m_stmt->rawThrow("count");
    if (m_stmt->total >= 0)
        return m_stmt->total;
    sqlite3* db = sqlite3_db_handle(raw);
    // Counting re-runs the statement; one that writes (INSERT ... RETURNING)
    // would store its rows a second time.
    if (!sqlite3_stmt_readonly(raw))
        throwText(QStringLiteral("count \"%1\" failed: the statement writes").arg(shortSql(m_stmt->sql.sql())));

    // Counting runs a second statement with the same values, so this
    // cursor's position is untouched. Plain queries are wrapped in COUNT(*);
    // anything else (PRAGMA, a trailing comment) is stepped through.
    QString text = m_stmt->sql.sql().trimmed();
    while (text.endsWith(QLatin1Char(';')))
        text.chop(1);
    const bool wrappable = sqlite3_stmt_readonly(raw)
        && (text.startsWith(QLatin1String("select"), Qt::CaseInsensitive)
            || text.startsWith(QLatin1String("with"), Qt::CaseInsensitive));

    auto run = [&](const QString& sqlText, bool wrapped, int* result) -> bool {
        sqlite3_stmt* counter = nullptr;
        const QByteArray utf8 = sqlText.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &counter, nullptr) != SQLITE_OK
            || !counter) {
            sqlite3_finalize(counter);
            return false;
        }
        BoundBuffers buffers;
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(counter, sqlite3_finalize);
        // The original's text only names the statement in error messages.
        bindAll(counter, m_stmt->sql, buffers);
        int n = 0;
        int rc;
        while ((rc = sqlite3_step(counter)) == SQLITE_ROW) {
            if (wrapped) {
                n = sqlite3_column_int(counter, 0);
            } else {
                ++n;
            }
        }
        if (rc != SQLITE_DONE)
            throwSqlite(db, QStringLiteral("count \"%1\"").arg(shortSql(m_stmt->sql.sql())), rc);
        *result = n;
        return true;
    };

    int n = 0;
    if (!(wrappable && run(QStringLiteral("SELECT COUNT(*) FROM (%1)").arg(text), true, &n))) {
        if (!run(m_stmt->sql.sql(), false, &n))
            throwSqlite(db, QStringLiteral("count \"%1\"").arg(shortSql(m_stmt->sql.sql())), SQLITE_ERROR);
    }
    m_stmt->total = n;
    return n;
}

int Sqlite3Cursor::getInt(const QString& column) const
{
    if (!m_stmt)
        throwText(QStringLiteral("getInt failed: empty cursor"));
    const int idx = m_stmt->columnThrow(column, "getInt");
    return sqlite3_column_int(m_stmt->prep->raw, idx);
}

long long Sqlite3Cursor::getInt64(const QString& column) const
{
    if (!m_stmt)
        throwText(QStringLiteral("getInt64 failed: empty cursor"));
    const int idx = m_stmt->columnThrow(column, "getInt64");
    return sqlite3_column_int64(m_stmt->prep->raw, idx);
}

long long Sqlite3Cursor::getInt64(int index) const
{
    if (!m_stmt)
        throwText(QStringLiteral("getInt64 failed: empty cursor"));
    return sqlite3_column_int64(m_stmt->prep->raw, m_stmt->indexThrow(index, "getInt64"));
}

namespace {

QString columnText(sqlite3_stmt* raw, int idx)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, idx));
    const int size = text ? sqlite3_column_bytes(raw, idx) : 0;
    // Most columns of a data row are empty; those cost no allocation.
    if (size <= 0)
        return QString(QLatin1String(""));
    return QString::fromUtf8(text, size);
}

QByteArray columnBlob(sqlite3_stmt* raw, int idx)
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(raw, idx));
    const int size = sqlite3_column_bytes(raw, idx);
    if (!data || size <= 0)
        return QByteArray();
    return QByteArray(data, size);
}

} // namespace

int Sqlite3Stmt::indexThrow(int index, const char* what) const
{
    sqlite3_stmt* raw = rowThrow(what);
    if (index < 0 || index >= sqlite3_column_count(raw))
        throwText(QStringLiteral("%1 failed: column index %2 out of range").arg(QLatin1String(what)).arg(index));
    return index;
}

QString Sqlite3Cursor::getText(const QString& column) const
{
    if (!m_stmt)
        throwText(QStringLiteral("getText failed: empty cursor"));
    return columnText(m_stmt->prep->raw, m_stmt->columnThrow(column, "getText"));
}

QString Sqlite3Cursor::getText(int index) const
{
    if (!m_stmt)
        throwText(QStringLiteral("getText failed: empty cursor"));
    return columnText(m_stmt->prep->raw, m_stmt->indexThrow(index, "getText"));
}

QByteArray Sqlite3Cursor::getBlob(const QString& column) const
{
    if (!m_stmt)
        throwText(QStringLiteral("getBlob failed: empty cursor"));
    return columnBlob(m_stmt->prep->raw, m_stmt->columnThrow(column, "getBlob"));
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    if (!m_stmt)
        throwText(QStringLiteral("getBlob failed: empty cursor"));
    return columnBlob(m_stmt->prep->raw, m_stmt->indexThrow(index, "getBlob"));
}

bool Sqlite3Cursor::isNull(const QString& column) const
{
    if (!m_stmt)
        throwText(QStringLiteral("isNull failed: empty cursor"));
    const int idx = m_stmt->columnThrow(column, "isNull");
    return sqlite3_column_type(m_stmt->prep->raw, idx) == SQLITE_NULL;
}

// ---- Sqlite3DB

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
    // Serialized mode: the connection is handed between the GUI thread and
    // a worker thread.
    int rc = sqlite3_open_v2(name.constData(), &db, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
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
