// SPDX-License-Identifier: GPL-3.0-or-later
// The persons of a phone's address book database (AddressBook.sqlitedb) and
// their pictures in the images database beside it (AddressBookImages.sqlitedb),
// as contacts of this system: names, organisation, note, birthday and every
// multi-value (phones, e-mails, postal addresses, web sites, dates, related
// names, messaging accounts), with the phone's labels turned into the
// sub-type codes of model/pimlabels.h.
//
// Both files are opened read-only. Columns that an older or newer layout
// lacks read as empty; a file without the address book's tables is refused.
#pragma once

#include "model/contact.h"

#include <QList>
#include <QMap>
#include <QString>

#include <functional>

struct AddressBookContents {
    QList<pim::_Contact> contacts; // in the book's record order
    // Persons with neither a name, an organisation, a nickname, an e-mail
    // nor a phone: nothing could name them, so they are left out.
    int nameless = 0;
    bool complete = true; // false when `step` stopped the reading
};

// `step(done, total)` runs after each person; returning false stops.
// imagesPath may be empty (no pictures). Throws Error naming the file when
// a file cannot be opened or is not an address book.
AddressBookContents readAddressBookThrow(const QString& bookPath, const QString& imagesPath,
    const std::function<bool(int done, int total)>& step = {});

// The sub-type code of a phone label: the phone's own labels ("_$!<HomeFAX>!$_")
// match a table label by their letters (case and blanks aside), a label of
// the user's matches only a table label written exactly so. Returns -1 for
// no match (a custom label). An empty label is code 0.
int addressBookLabelCode(const QMap<int, QString>& table, const QString& label);
