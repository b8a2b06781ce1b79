// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Message boxes and the progress dialog's endings take rich text, so their
// own texts may carry a link or a line break. A text that carries data - a
// file or device name, an error text quoting one, a contact's name - joins
// them only through this: a file named "<a href=...>x</a>.db" is then shown
// as written, never as a link. Line ends stay line ends.
// Quotes stay as they are: the text never goes into an attribute.
inline QString g_messageText(const QString& plain)
{
    QString rich;
    rich.reserve(plain.size() + plain.size() / 8);
    for (const QChar c : plain) {
        switch (c.unicode()) {
        case u'&': rich += QLatin1String("&amp;"); break;
        case u'<': rich += QLatin1String("&lt;"); break;
        case u'>': rich += QLatin1String("&gt;"); break;
        case u'\n': rich += QLatin1String("<br/>"); break;
        default: rich += c;
        }
    }
    return rich;
}
