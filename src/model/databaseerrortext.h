// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What a user can act on when a contact database fails, in words, naming
// the database by its file name: the database wrapper's own text ("execute
// ... failed: ... (code 11)") says nothing to a user and goes to the log
// instead. `technical` is that text; it only picks the words. Plain text.
QString g_databaseErrorText(const QString& path, const QString& technical);

// Whether the failure was another connection holding the file (SQLite's
// busy codes): worth trying again, the file itself is fine.
bool g_isDatabaseBusyText(const QString& technical);
