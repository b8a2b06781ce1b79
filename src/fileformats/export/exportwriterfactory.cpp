// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/exportwriterfactory.h"

#include "fileformats/export/csvexport.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/export/htmlexport.h"
#include "fileformats/export/txtexport.h"
#include "fileformats/export/vcardexport.h"

std::unique_ptr<AbsExport> createExportWriter(int type, const QString& path)
{
    switch (type) {
    case ExportToFileThread::TYPE_VCARD:
        return std::make_unique<VCardExport>();
    case ExportToFileThread::TYPE_CSV:
        return std::make_unique<CSVExport>();
    case ExportToFileThread::TYPE_TXT:
        return std::make_unique<TxtExport>();
    case ExportToFileThread::TYPE_HTML:
        return std::make_unique<HtmlExport>(QDir(path));
    default:
        return nullptr;
    }
}
