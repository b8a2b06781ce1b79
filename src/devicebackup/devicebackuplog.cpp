// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/devicebackuplog.h"

Q_LOGGING_CATEGORY(lcDeviceBackup, "app.backup", QtWarningMsg)
