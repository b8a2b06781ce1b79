// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QTextEdit;
class QWidget;

// The editor's boxes for a value of several lines (the note, a street):
// plain text both ways, so "x<y" or "a <b>c</b>" comes back as typed, and
// lines broken anywhere once the value holds a long run without a blank (a
// pasted log or blob): breaking such a run at words lays it out in time
// that grows with the square of its length, minutes for a megabyte.
namespace plaintextbox {

// A box for such a value. A paste that brings in a long run switches it to
// breaking anywhere; typing cannot bring one in any time.
QTextEdit* create(QWidget* parent);

// Shows the value, its wrap chosen first: a filled box lays its text out
// again whenever the wrap changes.
void setText(QTextEdit* box, const QString& text);

} // namespace plaintextbox
