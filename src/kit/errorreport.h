// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// Where the error box sends its report once the user has closed it. The
// default does nothing; the application installs the sender. The hook must
// not block: the box returns without waiting for the server. GUI thread only.
using ErrorReportHook = std::function<void(const QString& err)>;

// Installs `hook` (an empty one restores the no-op) and returns the previous.
ErrorReportHook setErrorReportHook(ErrorReportHook hook);

// Hands `err` to the installed hook.
void g_reportError(const QString& err);
