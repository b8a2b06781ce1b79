// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/errorreport.h"

#include <utility>

namespace {

ErrorReportHook& currentHook()
{
    static ErrorReportHook hook;
    return hook;
}

} // namespace

ErrorReportHook setErrorReportHook(ErrorReportHook hook)
{
    return std::exchange(currentHook(), std::move(hook));
}

void g_reportError(const QString& err)
{
    if (const ErrorReportHook& hook = currentHook())
        hook(err);
}
