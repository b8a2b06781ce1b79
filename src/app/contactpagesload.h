// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>

class ContactPages;
class QWidget;

// Reads the first `limit` contacts of the walk (all of them when limit is
// negative) into `contacts` on a worker thread, under a progress dialog the
// user can cancel, so that the window keeps painting however large the
// database is. `total` receives the number the whole walk holds. Returns
// false after a cancel or a failure (whose error box the dialog has shown).
bool g_readContactsOnWorker(ContactPages& pages, qsizetype limit, QList<pim::_Contact>& contacts,
                            qsizetype* total, QWidget* parent);
