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

// How the phone left what it was sent unconfirmed: no answer came that
// could be read (the link dropped, the answer was garbled or too late), or it
// answered without confirming it (no id for a record sent under a temporary
// one). Either way it may be on the phone.
enum class Unconfirmed { NoAnswer, Answered };

// The sentence a user reads for a failed sync step: what happened, what was
// kept, what to do. `kept` says what was kept when the road knows more than
// its plain "nothing" (a write that the phone confirmed in part); no advice
// to try again follows a kept text that is unconfirmed. The step's own text
// stays in the log.
QString failureText(const MobileSyncError& error, Road road, const Kept& kept = {});

// Where a write to the iPhone stopped, in contacts of the transfer. A
// message that went out in full and was not confirmed, whatever ended the
// wait for the answer, leaves what it carried unknown: it may be on the
// phone. Only what never went out in full was not written.
struct WriteOutcome {
    int total = 0;
    // Confirmed by the phone and kept: contacts of which the phone confirmed
    // something or had nothing to be sent.
    int written = 0;
    // New contacts sent without a confirmation: they may be on the phone.
    int unconfirmed = 0;
    // Contacts the phone had before, none of whose changes it confirmed,
    // some of them sent: they may be on the phone.
    int unconfirmedChanged = 0;
    // Shown names (pim::shownName, empty for a contact without one): of
    // contacts with details never sent, of new ones kept with details sent
    // without a confirmation, and of earlier ones with changes sent so.
    QStringList incomplete;
    QStringList unconfirmedDetails;
    QStringList unconfirmedChanges;

    bool anyUnconfirmed() const
    {
        return unconfirmed > 0 || !unconfirmedDetails.isEmpty() || !unconfirmedChanges.isEmpty();
    }
};

// What a write that stopped leaves, in words: what was written and kept,
// what may be on the phone unconfirmed, said once as `how` left it, and what
// was not written.
Kept writtenText(const WriteOutcome& outcome, Unconfirmed how = Unconfirmed::NoAnswer);

// Where an edit sent to the iPhone stopped: the change of one contact (its
// contact record, then the rest of the change) or a deletion of contacts.
struct EditOutcome {
    // A contact of the phone may have no name (a company's): a deletion is
    // told by `deletion`, not by an empty name.
    bool deletion = true;
    QString name;            // the contact changed: its shown name, empty for none
    bool newContact = false; // the phone did not know the contact before
    // Sent without a confirmation: the contact record, or the rest of the
    // change (child records, deletions).
    bool recordUnconfirmed = false;
    bool restUnconfirmed = false;
    // The rest of the change never went out, after an unconfirmed record.
    bool restNotSent = false;
};

// What an edit that stopped leaves, in words, when some of it may be on the
// phone (said once, as `how` left it); empty otherwise (the road then says
// that the phone is read again).
Kept editText(const EditOutcome& outcome, Unconfirmed how = Unconfirmed::NoAnswer);

} // namespace iossync
