// SPDX-License-Identifier: GPL-3.0-or-later
// For tests only: the data folder is otherwise worked out once per process.
#pragma once

void g_forgetDataSaveDir();
