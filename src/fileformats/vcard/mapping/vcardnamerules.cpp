// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/mapping/vcardrules.h"

namespace vcardrules {

namespace {

const QString kPhoneticFirst = QStringLiteral("data7");
const QString kPhoneticLast = QStringLiteral("data8");

// A blank reading makes no name: a card of "X-PHONETIC-FIRST-NAME:" alone
// holds none.
void putReading(pim::_Contact& contact, const QString& key, const QString& reading)
{
    if (pim::isBlankText(reading))
        return;
    firstEntity(contact, pim::ENTITY_NAME).fields.insert(key, reading);
}

} // namespace

void readPhoneticFirstName(const VCardValue& value, pim::_Contact& contact)
{
    putReading(contact, kPhoneticFirst, value.text());
}

void readPhoneticLastName(const VCardValue& value, pim::_Contact& contact)
{
    putReading(contact, kPhoneticLast, value.text());
}

void readNameReading(const VCardValue& value, pim::_Contact& contact)
{
    // Ordered as N: "ﾔﾏﾀﾞ;ﾀﾛｳ;;;". A name keeps two readings; those of a
    // middle name, title or suffix, which phones leave empty, follow the
    // given name's in their order rather than being lost.
    const QStringList parts = value.components();
    putReading(contact, kPhoneticLast, parts.value(0));
    QStringList given;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (!pim::isBlankText(parts.at(i)))
            given.append(parts.at(i));
    }
    putReading(contact, kPhoneticFirst, given.join(QLatin1Char(' ')));
}

bool holdsReading(const pim::Entity& name)
{
    return !pim::isBlankText(pim::fieldText(name.fields.value(kPhoneticFirst)))
        || !pim::isBlankText(pim::fieldText(name.fields.value(kPhoneticLast)));
}

} // namespace vcardrules
