// SPDX-License-Identifier: GPL-3.0-or-later
// How the program's messages name a contact. A contact need not have a name
// (a company's card, a bare number): it is then known by what it holds, and
// a contact that holds none of that is described, never quoted as "".
#pragma once

#include "model/contact.h"

#include <QString>
#include <QStringList>

namespace pim {

// What a contact without a name is known by: its company, else its first
// phone number, else its first e-mail address, trimmed; an assistant's
// number (pim::isAssistantPhone) only where it holds none of them; empty
// when it holds no such value.
QString standInName(const _Contact& contact);

// What a user knows a contact by: its name, else its stand-in name; empty
// when it has neither.
QString shownName(const _Contact& contact);

// The words that name a contact in a sentence, by its shown name. A shown
// name is quoted as it is, whether a name, a company or a number; an empty
// one reads as a description. The `AtStart` forms begin a sentence.
enum class Mention {
    Bare,              // "Anna Berg"                 | a contact without a name
    Contact,           // the contact "Anna Berg"     | a contact without a name
    ContactAtStart,    // The contact "Anna Berg"     | A contact without a name
    NewContact,        // the new contact "Anna Berg" | a new contact without a name
    NewContactAtStart, // The new contact "Anna Berg" | A new contact without a name
};
QString mention(const QString& shownName, Mention form = Mention::Bare);

// Contacts named in a sentence by their shown names, in their order: the
// named ones quoted and joined by ", ", then those without a name as one
// ("a contact without a name", "2 contacts without a name") after "and".
// Past `most` of these, "..." stands for the rest.
QString mentionAll(const QStringList& shownNames, int most);

} // namespace pim
