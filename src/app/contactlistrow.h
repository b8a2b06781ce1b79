// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <vector>

// What the contact list shows of one contact: its four columns and whether
// a photo is stored. The card and every command read the whole contact by
// id when they need it, so a list of 100,000 holds no entity maps.
struct ContactListRow {
    unsigned long long id = 0;
    QString fullName;
    QString phone;   // the first Mobile number, else the first one
    QString email;   // the first e-mail
    QString address; // the first address's "data1"
    bool hasPhoto = false;
};
using ContactListRows = std::vector<ContactListRow>;
