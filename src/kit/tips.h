// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/messagetext.h"

#include <QString>

// How code on the GUI thread talks to the user. Each call blocks until the
// user closes the box. Worker threads never call these; they report through
// their IWorkerReporter. A QString passed here is shown as written; own
// markup and data are joined through BoxText (messagetext.h).
namespace Tips {

void info(const BoxText& text);
void warning(const BoxText& text);
// True only when the user answered Yes.
bool question(const BoxText& text);
// Shows `text` inside the error template, with the product header, then hands
// the text to the error report hook (errorreport.h).
void error(const BoxText& text);

// The rich text the error box shows for `text`.
QString errorBoxText(const BoxText& text);

} // namespace Tips
