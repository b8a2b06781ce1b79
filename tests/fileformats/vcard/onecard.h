// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/syntax/vcardparser.h"

// The properties of a one-card 2.1 file holding the lines, without its
// VERSION; empty when the lines make no single card.
inline QList<VCardProperty> readOneCard(const QByteArray& lines)
{
    const QList<QList<VCardProperty>> cards
        = QVCardParser::parse("BEGIN:VCARD\r\nVERSION:2.1\r\n" + lines + "END:VCARD\r\n");
    if (cards.size() != 1)
        return {};
    QList<VCardProperty> card = cards.first();
    card.removeFirst();
    return card;
}
