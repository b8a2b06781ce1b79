// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/fileformatslog.h"

Q_LOGGING_CATEGORY(lcVCard, "app.vcard", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCsv, "app.csv", QtWarningMsg)
Q_LOGGING_CATEGORY(lcExport, "app.export", QtWarningMsg)
