// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidlog.h"

Q_LOGGING_CATEGORY(lcAndroid, "app.android", QtWarningMsg)
