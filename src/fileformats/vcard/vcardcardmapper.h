// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"
#include "fileformats/vcard/vcardcharsets.h"
#include "fileformats/vcard/vcardproperty.h"
#include "fileformats/vcard/vcardrules.h"

#include <QList>

// Converts one parsed card into a contact: dispatches each property to its
// rule and settles the contact's name from N and FN.
class VCardCardMapper {
public:
    // notes, when given, receives what was left out or read differently.
    pim::_Contact toContact(const QList<VCardProperty>& card, vcardrules::Notes* notes = nullptr);
    // See VCardCharsets::setFileCharset().
    void setFileCharset(std::function<QString()> charsetOfFile) { m_charsets.setFileCharset(std::move(charsetOfFile)); }

private:
    VCardCharsets m_charsets;
};
