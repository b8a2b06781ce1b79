// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contact.h"
#include "vcardcharsets.h"
#include "vcardproperty.h"

#include <QList>

// Converts one parsed card into a contact: dispatches each property to its
// rule and settles the contact's name from N and FN.
class VCardCardMapper {
public:
    pim::_Contact toContact(const QList<VCardProperty>& card);

private:
    VCardCharsets m_charsets;
};
