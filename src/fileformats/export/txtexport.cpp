// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/txtexport.h"

#include <algorithm>

namespace {

// A value as long as its field, or longer, still gets one blank after it,
// so that it never runs into the next column's value.
void appendField(QString& line, const QString& text, int width)
{
    line.append(text);
    const qsizetype pad = std::max<qsizetype>(width - text.size(), 1);
    line.resize(line.size() + pad, QLatin1Char(' '));
}

} // namespace

int TxtExport::colWidth(const QString& name)
{
    if (name.startsWith(QLatin1String("Date:")))
        return 20;
    if (name.startsWith(QLatin1String("Addr:")) && name.endsWith(QLatin1String(":Street")))
        return 50;
    if (name.startsWith(QLatin1String("Url:")))
        return 60;
    if (name == QLatin1String("Notes"))
        return 100;
    return 25;
}

QByteArray TxtExport::cols2Bytes(QStringList cols)
{
    colWidths.resize(cols.size());
    QString line;
    for (int i = 0; i < cols.size(); ++i) {
        colWidths[i] = colWidth(cols.at(i));
        appendField(line, cols.at(i), colWidths.at(i));
    }
    line.append(QLatin1Char('\n'));
    return line.toUtf8();
}

QByteArray TxtExport::rowData2Bytes(QString* cells, int count)
{
    Q_ASSERT(count <= colWidths.size());
    QString line;
    for (int i = 0; i < count; ++i) {
        // One line per contact: each CR and each LF becomes one blank.
        QString cell = cells[i];
        cell.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        appendField(line, cell, i < colWidths.size() ? colWidths.at(i) : 0);
    }
    line.append(QLatin1Char('\n'));
    return line.toUtf8();
}
