// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/export/absexport.h"

#include <QString>

#include <memory>

// The writer for one export of the given ExportToFileThread::TYPE, or null
// when this build has no writer for that type (the thread reports that).
// path is the destination the user chose; the HTML writer takes it as the
// folder that receives the page and its pictures.
//
// This is the one place that knows which class writes which format: a new
// writer is plugged in here and nowhere else.
std::unique_ptr<AbsExport> createExportWriter(int type, const QString& path);
