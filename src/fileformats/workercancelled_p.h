// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Thrown by the import and export loops once the user cancelled: it unwinds
// to the thread's run(), which undoes what was begun (the open edit, the
// partial file) and shows no message.
struct WorkerCancelled {};
