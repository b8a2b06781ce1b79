// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The rule of every file reader, checked on each contact the golden tests
// and the fuzz targets read: a stored text holds no control character but
// tab, line feed and CR (none of U+0000 to U+001F but those, no DEL, no
// U+0080 to U+009F). Photo bytes are no text.

#include "model/contact.h"

#include <QString>

namespace storedtext {

inline bool holdsControl(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7F && u <= 0x9F))
            return true;
    }
    return false;
}

// Where the contact's first text with such a character stands ("full
// name", "<entity type> <field>"), with the text's UTF-16 units in hex;
// empty when it holds none.
inline QString controlCharacterIn(const pim::_Contact& contact)
{
    const auto named = [](const QString& where, const QString& text) {
        return where + QLatin1Char(' ') + QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(text.utf16()),
                                                                          text.size() * 2).toHex());
    };
    if (holdsControl(contact.fullName))
        return named(QStringLiteral("full name"), contact.fullName);
    for (auto type = contact.entities.cbegin(); type != contact.entities.cend(); ++type) {
        for (const pim::Entity& entity : type.value()) {
            for (auto field = entity.fields.cbegin(); field != entity.fields.cend(); ++field) {
                if (field.value().typeId() == QMetaType::QString && holdsControl(field.value().toString()))
                    return named(QString::number(type.key()) + QLatin1Char(' ') + field.key(),
                                 field.value().toString());
            }
        }
    }
    return QString();
}

} // namespace storedtext
