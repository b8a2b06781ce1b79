// SPDX-License-Identifier: GPL-3.0-or-later
// Reading result rows through a cursor.
#include "platform/sqlite/sqlite3db_p.h"


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

