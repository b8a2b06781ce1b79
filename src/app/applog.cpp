// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/applog.h"

Q_LOGGING_CATEGORY(lcApp, "app.ui", QtWarningMsg)
