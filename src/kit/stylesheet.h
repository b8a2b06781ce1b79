// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The shared style sheet. The first call that can open `path` reads it and
// keeps it for the life of the process; later calls return the kept text
// whatever path they name. A file that cannot be opened yields an empty text
// and is tried again by the next call. GUI thread only.
QString getStyleSheet(QString path);
