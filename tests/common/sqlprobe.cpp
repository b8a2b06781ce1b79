// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlprobe.h"

#include <sqlite3.h>

#include <stdexcept>

namespace {

[[noreturn]] void fail(sqlite3* db, const QString& sql)
{
    throw std::runtime_error((QStringLiteral("probe: ") + QString::fromUtf8(sqlite3_errmsg(db)) + QStringLiteral(" in ")
                              + sql).toStdString());
}

} // namespace

SqlProbe::SqlProbe(const QString& path)
{
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString err = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        throw std::runtime_error(("probe open: " + err).toStdString());
    }
}

SqlProbe::~SqlProbe()
{
    sqlite3_close(m_db);
}

QList<QVariantList> SqlProbe::rows(const QString& sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        fail(m_db, sql);
    QList<QVariantList> out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVariantList row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            switch (sqlite3_column_type(st, i)) {
            case SQLITE_NULL:
                row << QVariant();
                break;
            case SQLITE_INTEGER:
                row << QVariant(static_cast<qlonglong>(sqlite3_column_int64(st, i)));
                break;
            case SQLITE_BLOB:
                row << QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)),
                                           sqlite3_column_bytes(st, i)));
                break;
            default:
                row << QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                                  sqlite3_column_bytes(st, i)));
                break;
            }
        }
        out << row;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        fail(m_db, sql);
    return out;
}

QVariant SqlProbe::value(const QString& sql)
{
    const QList<QVariantList> r = rows(sql);
    return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

QStringList SqlProbe::column(const QString& sql)
{
    QStringList out;
    for (const QVariantList& row : rows(sql))
        out << (row.value(0).isValid() ? row.value(0).toString() : QStringLiteral("<NULL>"));
    return out;
}

void SqlProbe::exec(const QString& sql)
{
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(m_db, sql);
}
