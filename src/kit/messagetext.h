// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Message boxes and the progress dialog's endings take rich text, so their
// own texts may carry a link or a line break. A text that carries data - a
// file or device name, an error text quoting one, a contact's name - joins
// them only through this: a file named "<a href=...>x</a>.db" is then shown
// as written, never as a link. Line ends stay line ends.
inline QString g_messageText(const QString& plain)
{
    return plain.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br/>"));
}
