// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

struct sqlite3;

// A second, independent connection to a database file for tests: reads
// rows back with plain SQL (and plants rows) without going through the
// code under test. Failures fail loudly via std::runtime_error.
class SqlProbe {
public:
    explicit SqlProbe(const QString& path);
    ~SqlProbe();
    SqlProbe(const SqlProbe&) = delete;
    SqlProbe& operator=(const SqlProbe&) = delete;

    // All rows; NULL is an invalid QVariant, integers qlonglong, text
    // QString, blobs QByteArray.
    QList<QVariantList> rows(const QString& sql);
    // First column of the first row (invalid when there is none).
    QVariant value(const QString& sql);
    // The first column of every row, as text.
    QStringList column(const QString& sql);
    void exec(const QString& sql);

private:
    sqlite3* m_db = nullptr;
};
