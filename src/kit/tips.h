// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How code on the GUI thread talks to the user. Each call blocks until the
// user closes the box. Worker threads never call these; they report through
// their IWorkerReporter.
namespace Tips {

void info(QString text);
void warning(QString text);
// True only when the user answered Yes.
bool question(QString text);
// Shows `text` inside the error template, with the product header, then hands
// the plain text to the error report hook (errorreport.h).
void error(QString text);

// The rich text the error box shows for `text`.
QString errorBoxText(const QString& text);

} // namespace Tips
