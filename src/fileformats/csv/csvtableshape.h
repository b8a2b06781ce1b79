// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

// The shape of a table around its rows, which both the import's look at a
// file and the CSV reader ask: where its header row stands, and whether the
// row taken for it names columns at all.
namespace csvshape {

// Rows of its own an export may put above its header: a title, the date,
// a note, a section's name and blank rows between them.
constexpr int kMaxRowsAbove = 20;

struct HeaderRow {
    // Where the row starts in the text, its number as a spreadsheet shows
    // it, and the separator of its cells.
    qsizetype pos = 0;
    int number = 1;
    char delimiter = ',';
    // Whether a row above it holds anything but blanks.
    bool textAbove = false;
};

// The header row of a table, in UTF-8, that an export put rows of its own
// above: up to kMaxRowsAbove rows of one cell at most, none of which names
// a column, then a row of two cells or more that names two columns the
// reader knows and holds no contact's values. None where the first row is
// the header, as it is in every other table: a row of two cells or more,
// or one cell naming a known column.
std::optional<HeaderRow> headerBelowOwnRows(const QByteArray& text);

// Whether the cells of a row are a contact's values rather than the names
// of columns: one is an e-mail address or a phone number, and the row names
// fewer than two columns the reader knows, or names the kind of its values
// before them as an organizer does.
bool holdsContactValues(const QStringList& cells);

} // namespace csvshape
