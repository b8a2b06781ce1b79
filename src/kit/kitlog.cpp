// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/kitlog.h"

Q_LOGGING_CATEGORY(lcKit, "app.kit", QtWarningMsg)
