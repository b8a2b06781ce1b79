// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

// Where the maker can be reached: its web server (update check, error
// report, manual update page), the Help menu's pages and the support
// address. Each value is fixed when the program is built (CMake cache
// entries of the names below) and can be replaced at run time by an
// environment variable of the same name, even by an empty one.
//
// With no server the program sends nothing anywhere; a page that resolves to
// no http or https address is not offered.
namespace maker {

inline constexpr const char kServerUrlName[] = "MARROWLINK_SERVER_URL";
inline constexpr const char kHelpUrlName[] = "MARROWLINK_HELP_URL";
inline constexpr const char kFeedbackUrlName[] = "MARROWLINK_FEEDBACK_URL";
inline constexpr const char kSupportEmailName[] = "MARROWLINK_SUPPORT_EMAIL";

// The server with scheme, host and port, without a path; empty when none is
// configured or the value is no http or https address.
QUrl serverUrl();

// The help and feedback pages: absolute addresses as they are, relative ones
// resolved against the server. Empty when that gives no http or https page.
QUrl helpPage();
QUrl feedbackPage();

// The address the error box names for help; empty when none is configured,
// and the box then names none.
QString supportEmail();

} // namespace maker
