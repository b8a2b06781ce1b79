// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/itunesbackuplog.h"

Q_LOGGING_CATEGORY(lcBackup, "app.backup", QtWarningMsg)
