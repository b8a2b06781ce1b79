// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/csvexport.h"

#include "fileformats/csv/csvhelper.h"

QByteArray CSVExport::cols2Bytes(QStringList cols)
{
    // Column names are built from fixed words and labels: no comma, quote
    // or line break that would need quoting.
    QByteArray line = cols.join(QLatin1Char(',')).toUtf8();
    line.append('\n');
    return line;
}

QByteArray CSVExport::rowData2Bytes(QString* cells, int count)
{
    QString line;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            line.append(QLatin1Char(','));
        line.append(csvhelper::formatCell(csvhelper::guardFormula(cells[i])));
    }
    line.append(QLatin1Char('\n'));
    return line.toUtf8();
}
