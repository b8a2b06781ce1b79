// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/export/abstextexport.h"

#include <QVector>

// Writes contacts as a table of fixed-width, left-aligned columns for
// reading by eye: UTF-8, LF line ends. Widths count characters, not bytes;
// a longer value is written whole and pushes the rest of its line right.
class TxtExport : public AbsTextExport {
public:
    TxtExport() = default;

    // Field width of a column, in characters.
    static int colWidth(const QString& name);

protected:
    QByteArray cols2Bytes(QStringList cols) override;
    QByteArray rowData2Bytes(QString* cells, int count) override;

private:
    QVector<int> colWidths;
};
