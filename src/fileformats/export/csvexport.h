// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/export/abstextexport.h"

// Writes contacts as comma-separated values, UTF-8 without a byte-order
// mark, every line ended by LF. Reads back through CSVImport.
class CSVExport : public AbsTextExport {
protected:
    QByteArray cols2Bytes(QStringList cols) override;
    QByteArray rowData2Bytes(QString* cells, int count) override;
};
