// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a long value is shortened for a view that lays it out at once: a
// pasted mail or log in a note, a name of thousands of characters. Laying
// out text costs the GUI thread time that grows with the length, and with
// the square of the length of a run without a blank; a view that shows a
// value shows its bounded beginning and says how much is left out.

#include <QString>
#include <QStringView>

namespace boundedtext {

// The beginning of a text and how much of it follows.
struct Cut {
    QString kept;       // without trailing blanks
    qsizetype more = 0; // characters (code points) left out; 0: the text is whole
};

// The beginning of `text` of at most `maxChars` UTF-16 units and
// `maxLines` lines, or the whole text when it is within both. A cut falls
// at a line end when the lines run out or a line ends in the last quarter
// of the room; else after the last word when a blank lies in the last
// fifth; else between two characters as the user sees them: never inside
// a surrogate pair or a combining sequence. Reads only as far as the cut,
// so a megabyte costs no more than the room (and one pass to count what
// is left out).
Cut cut(const QString& text, qsizetype maxChars, qsizetype maxLines);

// The text as a card shows it: whole when within the bounds, else its
// cut beginning followed by a note in words of how many characters follow
// and where to see them.
QString forCard(const QString& text, qsizetype maxChars, qsizetype maxLines);

// The cut beginning followed by "…" (a title, a window caption).
QString elided(const QString& text, qsizetype maxChars);

// The longest run of the text without a blank or a line end, in UTF-16
// units: where a text box breaking lines at words only must break inside.
qsizetype longestUnbrokenRun(QStringView text);

} // namespace boundedtext
