// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ios/mobiledevicesync.h"

#include <QString>
#include <QStringList>

namespace iossync {

// Which transfer failed: reading the phone, writing contacts to it in
// batches, or sending one edit.
enum class Road { Read, Write, Edit };

// What a road kept once it stopped, in words. `unconfirmed` when some of what
// it sent may be on the phone without the phone having said so: the phone is
// read again then, and repeating the transfer could write those twice.
struct Kept {
    QString text;
    bool unconfirmed = false;
};

// The sentence a user reads for a failed sync step: what happened, what was
// kept, what to do. `kept` says what was kept when the road knows more than
// its plain "nothing" (a write that the phone confirmed in part); no advice
// to try again follows a kept text that is unconfirmed. The step's own text
// stays in the log.
QString failureText(const MobileSyncError& error, Road road, const Kept& kept = {});

// Whether a step that failed this way had handed the phone the message it
// was sending: the phone answered it with something else than its
// confirmation, or stayed on the line without answering. A link that
// dropped is taken to have lost the message with it.
bool messageReachedPhone(const MobileSyncError& error);

// Where a write to the iPhone stopped, in contacts of the transfer.
struct WriteOutcome {
    int total = 0;
    // Confirmed by the phone and kept; the names of those of them that lack
    // details never sent, and of those with details the phone did not confirm.
    int written = 0;
    QStringList incomplete;
    QStringList unconfirmedDetails;
    // Sent without a confirmation: they may be on the phone.
    int unconfirmed = 0;

    bool anyUnconfirmed() const { return unconfirmed > 0 || !unconfirmedDetails.isEmpty(); }
};

// What a write that stopped leaves, in words: what was written and kept,
// what may be on the phone unconfirmed, and what was not written.
Kept writtenText(const WriteOutcome& outcome);

} // namespace iossync
