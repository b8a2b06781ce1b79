// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <stdexcept>

// The one failure type of the program: what() is the UTF-8 text a user
// reads, text() the same as a QString, so nothing is lost converting back.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& text)
        : std::runtime_error(text.toUtf8().toStdString())
        , m_text(text)
    {
    }

    const QString& text() const noexcept { return m_text; }

private:
    QString m_text;
};
