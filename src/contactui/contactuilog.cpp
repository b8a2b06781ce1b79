// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/contactuilog.h"

Q_LOGGING_CATEGORY(lcContactUi, "app.contactui", QtWarningMsg)
