// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"
#include "fileformats/vcard/mapping/vcardcardtext.h"
#include "fileformats/vcard/syntax/vcardproperty.h"
#include "fileformats/vcard/mapping/vcardrules.h"
#include "fileformats/vcard/mapping/vcardtextmemo.h"

#include <QList>

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

    // The names of the properties a rule of its own reads, upper case.
    static QStringList ruleNames();

    // The number of the rule that reads a property, by its name's text.
    using RuleMemo = VCardTextMemo<int, 16>;

private:
    VCardCardText m_cardText;
    // The rules of recently seen names: the table's hash and comparison are
    // spared for all but the first of each.
    RuleMemo m_ruleMemo;
};
