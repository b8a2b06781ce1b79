// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/localdblog.h"

Q_LOGGING_CATEGORY(lcDb, "app.db", QtWarningMsg)
