// SPDX-License-Identifier: GPL-3.0-or-later
// Statement text and values, and binding them to a prepared statement.
#include "platform/sqlite/sqlite3db_p.h"

#include <cstring>

namespace sqlite3db_detail {

QString shortSql(const QString& sql)
{
    const QString simplified = sql.simplified();
    return simplified.size() > 160 ? simplified.left(157) + QStringLiteral("...") : simplified;
}

void throwText(const QString& text)
{
    throw Error(text);
}

void throwSqlite(sqlite3* db, const QString& what, int rc)
{
    const int code = db ? sqlite3_extended_errcode(db) : rc;
    const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    throwText(QStringLiteral("%1 failed: %2 (code %3)").arg(what, msg).arg(code != 0 ? code : rc));
}

void throwNotOpen(const char* what)
{
    throwText(QStringLiteral("%1 failed: database not open").arg(QLatin1String(what)));
}

bool hasMoreStatements(const char* tail)
{
    return tail && QByteArray(tail).trimmed().size() > 0;
}

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

namespace {

const QString& textOf(const QVariant& v)
{
    return *static_cast<const QString*>(v.constData());
}


} // namespace

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

} // namespace sqlite3db_detail

int sqlite_qt_version()
{
    return 8;
}


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


bool Sqlite3Statement::isValid() const
{
    return m_state && m_state->prep->raw;
}

void Sqlite3Statement::bindResult(int pos, int rc)
{
    if (rc != SQLITE_OK) {
        sqlite3_stmt* raw = m_state->prep->raw;
        throwSqlite(sqlite3_db_handle(raw), QStringLiteral("bind #%1 of \"%2\"").arg(pos).arg(shortSql(m_state->sql)),
                    rc);
    }
}

Sqlite3Statement& Sqlite3Statement::bindInt64(int pos, long long value)
{
    if (!isValid())
        throwNotOpen("bind");
    bindResult(pos, sqlite3_bind_int64(m_state->prep->raw, pos, value));
    return *this;
}

Sqlite3Statement& Sqlite3Statement::bindText(int pos, const QString& value)
{
    if (!isValid())
        throwNotOpen("bind");
    if (value.isEmpty()) {
        // A zero-length text still needs a non-null pointer, or it binds NULL.
        bindResult(pos, sqlite3_bind_text64(m_state->prep->raw, pos, "", 0, SQLITE_STATIC, SQLITE_UTF8));
        return *this;
    }
    if (pos < 1 || size_t(pos) >= m_state->bytes.size())
        bindResult(pos, SQLITE_RANGE);
    QByteArray& out = m_state->bytes[size_t(pos)];
    const QStringView text(value);
    if (QtPrivate::isAscii(text)) {
        // Most values are ASCII: copied into the kept buffer, no allocation.
        out.resize(text.size());
        char* o = out.data();
        for (const QChar c : text)
            *o++ = char(c.unicode());
    } else {
        out = text.toUtf8();
    }
    bindResult(pos, sqlite3_bind_text64(m_state->prep->raw, pos, out.constData(),
                                        sqlite3_uint64(out.size()), SQLITE_STATIC, SQLITE_UTF8));
    return *this;
}

Sqlite3Statement& Sqlite3Statement::bindUtf8(int pos, QByteArrayView utf8)
{
    if (!isValid())
        throwNotOpen("bind");
    if (pos < 1 || size_t(pos) >= m_state->bytes.size())
        bindResult(pos, SQLITE_RANGE);
    QByteArray& out = m_state->bytes[size_t(pos)];
    out.resize(utf8.size());
    if (!utf8.isEmpty())
        std::memcpy(out.data(), utf8.data(), size_t(utf8.size()));
    // A zero-length text still needs a non-null pointer, or it binds NULL.
    bindResult(pos, sqlite3_bind_text64(m_state->prep->raw, pos, utf8.isEmpty() ? "" : out.constData(),
                                        sqlite3_uint64(out.size()), SQLITE_STATIC, SQLITE_UTF8));
    return *this;
}

Sqlite3Statement& Sqlite3Statement::bindBlob(int pos, const QByteArray& value)
{
    if (!isValid())
        throwNotOpen("bind");
    if (pos < 1 || size_t(pos) >= m_state->bytes.size())
        bindResult(pos, SQLITE_RANGE);
    if (value.isEmpty()) {
        bindResult(pos, sqlite3_bind_zeroblob(m_state->prep->raw, pos, 0));
    } else {
        // Shares the caller's bytes (implicitly shared), so they live until the reset.
        m_state->bytes[size_t(pos)] = value;
        bindResult(pos, sqlite3_bind_blob64(m_state->prep->raw, pos, m_state->bytes[size_t(pos)].constData(),
                                            sqlite3_uint64(value.size()), SQLITE_STATIC));
    }
    return *this;
}

void Sqlite3Statement::execute()
{
    run(nullptr);
}

long long Sqlite3Statement::firstInt64(long long none)
{
    long long value = none;
    run(&value);
    return value;
}

int Sqlite3Statement::Row::columns() const
{
    return sqlite3_column_count(static_cast<sqlite3_stmt*>(m_raw));
}

long long Sqlite3Statement::Row::int64(int column) const
{
    return sqlite3_column_int64(static_cast<sqlite3_stmt*>(m_raw), column);
}

QByteArrayView Sqlite3Statement::Row::text(int column) const
{
    auto* raw = static_cast<sqlite3_stmt*>(m_raw);
    const unsigned char* bytes = sqlite3_column_text(raw, column);
    if (!bytes)
        return {};
    return QByteArrayView(reinterpret_cast<const char*>(bytes), sqlite3_column_bytes(raw, column));
}

QString Sqlite3Statement::Row::getText(int column) const
{
    return columnText(static_cast<sqlite3_stmt*>(m_raw), column);
}

QByteArray Sqlite3Statement::Row::getBlob(int column) const
{
    return columnBlob(static_cast<sqlite3_stmt*>(m_raw), column);
}

bool Sqlite3Statement::forEachRow(const std::function<bool(const Row&)>& row)
{
    if (!isValid())
        throwNotOpen("query");
    sqlite3_stmt* raw = m_state->prep->raw;
    struct Reset {
        sqlite3_stmt* raw;
        ~Reset()
        {
            sqlite3_reset(raw);
            sqlite3_clear_bindings(raw);
        }
    } reset {raw};
    const Row view(raw);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        if (!row(view))
            return false;
    }
    if (rc != SQLITE_DONE)
        throwSqlite(sqlite3_db_handle(raw), QStringLiteral("query \"%1\"").arg(shortSql(m_state->sql)), rc);
    return true;
}

void Sqlite3Statement::run(long long* first)
{
    if (!isValid())
        throwNotOpen("execute");
    sqlite3_stmt* raw = m_state->prep->raw;
    int rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW && first)
        *first = sqlite3_column_int64(raw, 0);
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(raw);
    sqlite3_reset(raw);
    sqlite3_clear_bindings(raw);
    // A one-off huge value must not stay allocated with the statement.
    for (QByteArray& b : m_state->bytes) {
        if (b.capacity() > 64 * 1024)
            b = QByteArray();
    }
    if (rc != SQLITE_DONE)
        throwSqlite(sqlite3_db_handle(raw), QStringLiteral("execute \"%1\"").arg(shortSql(m_state->sql)), rc);
}
