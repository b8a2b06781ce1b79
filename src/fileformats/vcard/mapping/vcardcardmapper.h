// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"
#include "fileformats/vcard/mapping/vcardcardtext.h"
#include "fileformats/vcard/syntax/vcardproperty.h"
#include "fileformats/vcard/mapping/vcardrules.h"

#include <QList>

#include <array>

// Converts one parsed card into a contact: dispatches each property to its
// rule and settles the contact's name from N and FN.
class VCardCardMapper {
public:
    // notes, when given, receives what was left out or read differently.
    pim::_Contact toContact(const QList<VCardProperty>& card, vcardrules::Notes* notes = nullptr);
    // See VCardCardText::setFileCharset().
    void setFileCharset(std::function<QString()> charsetOfFile) { m_cardText.setFileCharset(std::move(charsetOfFile)); }
    // See VCardCardText::setFileWesternSet().
    void setFileWesternSet(std::function<legacytext::WesternSet()> setOfFile)
    {
        m_cardText.setFileWesternSet(std::move(setOfFile));
    }

    // A property name's text and the number of the rule that reads it,
    // -1 before the first.
    struct RuleMemo {
        QString name;
        int rule = -1;
    };

private:
    VCardCardText m_cardText;
    // The rules of recently seen names, found by where a name's text lives:
    // the reader hands out one shared text per name, so the table's hash
    // and comparison are spared for all but the first. A memo holds its
    // name, so the text at an address it knows cannot turn into another.
    std::array<RuleMemo, 32> m_ruleMemo;
};
