// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Message boxes and the progress dialog's endings take rich text, so their
// own texts may carry a link or a line break. Data - a file or device name,
// an error text quoting one, a contact's name - is escaped by this one
// function on its way in: a file named "<a href=...>x</a>.db" is then shown
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

// The only thing a message box takes. A QString becomes one as plain text,
// every character shown as written, so a call site that forgets about
// markup shows a name literally instead of as a link. The program's own
// markup enters through markup() alone, and data joins it through arg(),
// which escapes it with g_messageText.
class BoxText {
public:
    BoxText(const QString& plain) : m_html(g_messageText(plain)) {}
    BoxText(const char* plain) : BoxText(QString::fromUtf8(plain)) {}

    // The program's own text with its markup ("<br/>", "<b>", a link); never
    // data, which goes in through arg().
    static BoxText markup(const QString& ownMarkup)
    {
        BoxText text;
        text.m_html = ownMarkup;
        return text;
    }

    // Fills the lowest %n, as QString::arg does, with data shown as written.
    BoxText arg(const QString& data) const { return markup(m_html.arg(argText(data))); }
    BoxText arg(const QString& data1, const QString& data2) const
    {
        return markup(m_html.arg(argText(data1), argText(data2)));
    }
    BoxText arg(qlonglong number) const { return markup(m_html.arg(number)); }
    // A text built the same way is inserted as it is.
    BoxText arg(const BoxText& text) const { return markup(m_html.arg(text.m_html)); }

    BoxText& operator+=(const BoxText& more)
    {
        m_html += more.m_html;
        return *this;
    }

    // What the box is given, as rich text.
    const QString& html() const { return m_html; }

private:
    BoxText() = default;

    // Data for a placeholder: its '%' as a character reference too, so that
    // a later arg() never takes a "%1" inside a name for its own.
    static QString argText(const QString& data)
    {
        return g_messageText(data).replace(QLatin1Char('%'), QLatin1String("&#37;"));
    }

    QString m_html;
};
