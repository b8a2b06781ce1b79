// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ios/mobiledevicesync.h"

#include <QString>

namespace iossync {

// Which transfer failed: reading the phone, writing contacts to it in
// batches, or sending one edit.
enum class Road { Read, Write, Edit };

// The sentence a user reads for a failed sync step: what happened, what was
// kept, what to do. `earlierKept` (writing only): batches before the failing
// one were written and stay. The step's own text stays in the log.
QString failureText(const MobileSyncError& error, Road road, bool earlierKept = false);

} // namespace iossync
