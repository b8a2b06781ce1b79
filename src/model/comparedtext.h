// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

// The texts the duplicate merge compares: two values are one when these
// texts are equal.
namespace comparedtext {

// A value's text as the merge compares it: a line end is one LF whether a
// file wrote it CRLF, CR or LF, and white space at either end is no part of
// it (as the editor saves a value). Unless `asWritten`, neither are blanks
// and tabs at the ends of its lines or the length of a run of them: the
// file readers store every value but a note without the blanks at its
// ends, each part of a name or an address on its own, and a value that
// earlier builds stored with them is the one the same file's value now
// reads as. The text itself when there is nothing to change, nearly always.
QString ofValue(const QVariant& value, bool asWritten = false);

// The text of an entity's value under `key` as the merge compares it, by
// the rule of the entity's type: a note as written (its indents and runs
// of blanks are its layout), every other value as ofValue() reads it. The
// texts the model builds from parts with a separator of its own between
// them compare as those parts make them without their end blanks, so that
// one an earlier build made from parts with such blanks ("Springfield ,
// 12345", "Sales ; Lab 3") is the one the same parts make now, and so is
// that build's export of it read back: an address's formatted text
// ("data1") when it is the text its stored parts make, and a department
// ("data5" of an organisation), whose units the readers join with "; " (a
// unit of blanks is none). An address's text and street ("data4") have no
// empty lines: a street line of blanks, which such a build kept, says
// nothing of where the address is. Where it is the text its parts make
// (now, or as earlier builds made it: without a postal code standing
// without a city or region, or beside a part in another form of the same
// words), an address's text is read without such a code: one address
// given with and without its code is one.
QString ofField(int type, const pim::Entity& entity, const QString& key);

// Whether the entity holds a value that its compared text leaves out: an
// address's postal code without a city or region.
bool holdsPartOutsideText(int type, const pim::Entity& entity);

// Whether an entity that a merge drops for `kept`, one of the same
// compared text, says nothing there that `kept` does not: an address's
// compared text leaves out a postal code without a city or region, which
// `dropped` then holds not at all or as `kept` holds it. True for every
// other type, whose compared text is all it says. A country's code, which
// only phones give, is left to the rule of the parts.
bool saysNoMoreThan(int type, const pim::Entity& dropped, const pim::Entity& kept);

// Whether the merge reads the two entities' values under `key` as one:
// their ofField() texts are equal, bytes (a photo) only when they are the
// same bytes.
bool isSameField(int type, const QString& key, const pim::Entity& stored, const pim::Entity& incoming);

} // namespace comparedtext
