// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ios/mobiledevicesync.h"

#include <QString>
#include <QStringList>

namespace iossync {

// Which transfer failed: reading the phone, writing contacts to it in
// batches, or sending one edit.
enum class Road { Read, Write, Edit };

// The sentence a user reads for a failed sync step: what happened, what was
// kept, what to do. `kept` says what was kept when the road knows more than
// its plain "nothing" (a write that the phone confirmed in part). The step's
// own text stays in the log.
QString failureText(const MobileSyncError& error, Road road, const QString& kept = QString());

// What a write that stopped leaves: how many of `total` contacts the phone
// confirmed and were kept, and the names of those of them that lack details
// the phone did not confirm.
QString writtenText(int written, int total, const QStringList& incomplete);

} // namespace iossync
