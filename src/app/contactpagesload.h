// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QString>

#include <functional>

class ContactPages;
class QWidget;

// Reads the first `limit` contacts of the walk (all of them when limit is
// negative) into `contacts` on a worker thread, under a progress dialog the
// user can cancel, so that the window keeps painting however large the
// database is. `total` receives the number the whole walk holds. Returns
// false after a cancel or a failure (whose error box the dialog has shown).
bool g_readContactsOnWorker(ContactPages& pages, qsizetype limit, QList<pim::_Contact>& contacts,
                            qsizetype* total, QWidget* parent);

// Runs `write`, a change of `total` contacts of a database, on a worker
// under a progress dialog titled `title` that the user can cancel, so that
// the window keeps painting while a large change is stored; a small one
// (a few hundred contacts) runs at once on the calling thread. `write`
// calls its step with the number of contacts done before each next one;
// after a cancel the step throws, and `write` must roll its edit back on
// any throw. A failure is thrown again here, on the calling thread, for the
// caller to word. Returns false after a cancel.
bool g_writeContactsOnWorker(const QString& title, qsizetype total, QWidget* parent,
                             const std::function<void(const std::function<void(qsizetype)>& step)>& write);
