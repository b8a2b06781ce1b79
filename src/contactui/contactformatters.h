// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The texts of a contact card: one line per entity and the card's header.
// Pure functions of the value types, shared by the card, the HTML writer and
// printing. The texts are fixed English and never pass through the
// translator.

#include <QMap>
#include <QString>

#include "model/contact.h"

namespace contactformatters {

// The sub-type label of a typed entity: the custom label "data3" when set,
// otherwise labels[data2 as integer] (empty for a code the table lacks).
QString typedLabel(const pim::Entity& entity, const QMap<int, QString>& labels);

// "Label:number".
QString phoneDisplay(const pim::Entity& entity);
// "Label:address".
QString emailDisplay(const pim::Entity& entity);
// "Label:date" with the date in the system's short form; empty date when
// "data1" is no ISO 8601 text.
QString eventDisplay(const pim::Entity& entity);
// "Label:handle(protocol)"; the custom protocol "data6" wins over "data5".
QString imDisplay(const pim::Entity& entity);
// "Label:title department company", blanks only between present parts.
QString orgDisplay(const pim::Entity& entity);
// "Label:name".
QString relDisplay(const pim::Entity& entity);
// Rich text: the bold label, a line break, the address one line per line.
// Every value is HTML-escaped, so address text cannot inject markup.
QString addrDisplay(const pim::Entity& entity);
// "Label:address".
QString urlDisplay(const pim::Entity& entity);
// The note as stored, line breaks kept.
QString notesDisplay(const pim::Entity& entity);

// The card's header: the full name, then the first nickname in straight
// double quotes, then the first organisation's "title - department" and
// company, each on its own line when present.
QString headerText(const pim::_Contact& contact);

} // namespace contactformatters
