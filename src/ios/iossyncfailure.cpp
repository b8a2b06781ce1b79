// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/iossyncfailure_p.h"

#include "model/contactmention.h"

#include <QCoreApplication>

namespace iossync {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("iossync", text);
}

QString during(Road road)
{
    switch (road) {
    case Road::Read: return tr("while its contacts were read");
    case Road::Write: return tr("while contacts were written to it");
    case Road::Edit: return tr("while the change was sent to it");
    }
    return QString();
}

QString happened(const MobileSyncError& e, Road road)
{
    const QString reason = e.detail.isEmpty() ? QString() : tr(" (it said: \"%1\")").arg(e.detail);
    switch (e.kind) {
    case MobileSyncError::NotFound: return tr("The iPhone could not be found: it is not connected by cable.");
    case MobileSyncError::Locked: return tr("The iPhone is locked with a passcode.");
    case MobileSyncError::TrustPending: return tr("The iPhone is asking whether to trust this computer.");
    case MobileSyncError::TrustDenied: return tr("This computer was not trusted on the iPhone.");
    case MobileSyncError::NotTrusted: return tr("The iPhone no longer knows this computer.");
    case MobileSyncError::NoService: return tr("The iPhone's contact sync could not be started.");
    case MobileSyncError::Refused: return tr("The iPhone refused to sync its contacts%1.").arg(reason);
    case MobileSyncError::PhoneCancelled: return tr("The iPhone cancelled the sync %1%2.").arg(during(road), reason);
    case MobileSyncError::PhoneEnded: return tr("The iPhone ended the sync session %1.").arg(during(road));
    case MobileSyncError::Garbage: return tr("The iPhone sent an answer that could not be read %1.").arg(during(road));
    case MobileSyncError::WrongMessage:
        return tr("The iPhone sent a message of the wrong form (\"%1\") %2.").arg(e.detail, during(road));
    case MobileSyncError::NewerVersion:
        return tr("The iPhone speaks a newer version of the contact sync (%1) than this program knows (%2).")
            .arg(e.detail)
            .arg(kContactSyncLinkVersion);
    case MobileSyncError::Timeout: return tr("The iPhone stopped answering %1.").arg(during(road));
    case MobileSyncError::LinkLost:
    case MobileSyncError::Stopped: break;
    }
    return tr("The iPhone was disconnected %1.").arg(during(road));
}

QString nothingKept(Road road)
{
    switch (road) {
    case Road::Read: return tr("Nothing was stored.");
    case Road::Write: return tr("No contact was written.");
    case Road::Edit: return tr("Its contacts are read again, so the list shows what it holds.");
    }
    return QString();
}

QString advice(MobileSyncError::Kind kind)
{
    switch (kind) {
    case MobileSyncError::Locked: return tr("Unlock it and try again.");
    case MobileSyncError::TrustPending: return tr("Unlock it, tap Trust and connect it again.");
    case MobileSyncError::TrustDenied:
    case MobileSyncError::NotTrusted: return tr("Reconnect the iPhone and tap Trust.");
    case MobileSyncError::Refused:
        return tr("Close any other program that syncs the iPhone, make sure it syncs contacts, and try again.");
    case MobileSyncError::Garbage:
    case MobileSyncError::WrongMessage: return tr("Restart the iPhone, connect it again and try again.");
    case MobileSyncError::NewerVersion: return tr("Install a newer version of this program and try again.");
    case MobileSyncError::Timeout:
    case MobileSyncError::NoService: return tr("Disconnect the iPhone, connect it again and try again.");
    default: return tr("Keep the iPhone connected and unlocked, and try again.");
    }
}

// Contacts by their shown names as a user reads them in a sentence: the
// first few, then "...".
QString named(const QStringList& names)
{
    constexpr int kNamed = 5;
    return pim::mentionAll(names, kNamed);
}

// How many contacts the phone confirmed and kept; with `rest`, that the ones
// after them were not written.
QString writtenSentence(int written, bool rest)
{
    return written == 1
        ? (rest ? tr("1 contact was written to the iPhone and kept; the rest were not written.")
                : tr("1 contact was written to the iPhone and kept."))
        : (rest ? tr("%1 contacts were written to the iPhone and kept; the rest were not written.")
                : tr("%1 contacts were written to the iPhone and kept."))
              .arg(written);
}

QString detailsNotWritten(const QStringList& names)
{
    return tr("Some details of %1 were not written.").arg(named(names));
}

QString detailsUnconfirmed(const QStringList& names, Unconfirmed how)
{
    return (how == Unconfirmed::Answered
                ? tr("The iPhone answered without confirming some details of %1; they may be on the phone.")
                : tr("Some details of %1 were sent to the iPhone, which did not confirm them; they may be on the "
                     "phone."))
        .arg(named(names));
}

// Of contacts the phone had before: it still has them, with or without
// the changes.
QString changesUnconfirmed(const QStringList& names, Unconfirmed how)
{
    return (how == Unconfirmed::Answered
                ? tr("The iPhone answered without confirming changes to %1; they may be on the phone.")
                : tr("Changes to %1 were sent to the iPhone, which did not confirm them; they may be on the phone."))
        .arg(named(names));
}

// New contacts of a write, counted.
QString contactsUnconfirmed(int count, Unconfirmed how)
{
    if (how == Unconfirmed::Answered)
        return count == 1 ? tr("The iPhone answered without confirming 1 new contact; it may be on the phone.")
                          : tr("The iPhone answered without confirming %1 new contacts; they may be on the phone.")
                                .arg(count);
    return count == 1
        ? tr("1 contact was sent to the iPhone, which did not confirm it; it may be on the phone.")
        : tr("%1 contacts were sent to the iPhone, which did not confirm them; they may be on the phone.").arg(count);
}

// The new contact of an edit.
QString newContactUnconfirmed(const QString& name, Unconfirmed how)
{
    return how == Unconfirmed::Answered
        ? tr("The iPhone answered without confirming %1; it may be on the phone.")
              .arg(pim::mention(name, pim::Mention::NewContact))
        : tr("%1 was sent to the iPhone, which did not confirm it; it may be on the phone.")
              .arg(pim::mention(name, pim::Mention::NewContactAtStart));
}

} // namespace

QString failureText(const MobileSyncError& error, Road road, const Kept& kept)
{
    QString text = happened(error, road) + QLatin1Char(' ') + (kept.text.isEmpty() ? nothingKept(road) : kept.text);
    if (!kept.unconfirmed)
        text += QLatin1Char(' ') + advice(error.kind);
    return text;
}

Kept writtenText(const WriteOutcome& outcome, Unconfirmed how)
{
    const int unknown = outcome.unconfirmed + outcome.unconfirmedChanged;
    const bool rest = outcome.written + unknown < outcome.total;
    QStringList sentences;
    if (outcome.written > 0)
        sentences << writtenSentence(outcome.written, rest && unknown == 0);
    if (outcome.unconfirmed > 0)
        sentences << contactsUnconfirmed(outcome.unconfirmed, how);
    if (!outcome.unconfirmedChanges.isEmpty())
        sentences << changesUnconfirmed(outcome.unconfirmedChanges, how);
    if (rest && unknown > 0)
        sentences << tr("The rest were not written.");
    if (!outcome.unconfirmedDetails.isEmpty())
        sentences << detailsUnconfirmed(outcome.unconfirmedDetails, how);
    if (!outcome.incomplete.isEmpty())
        sentences << detailsNotWritten(outcome.incomplete);
    if (sentences.isEmpty())
        return {nothingKept(Road::Write), false};
    // What the phone holds of it only the phone can tell: it is read again,
    // and a repeat might write those contacts a second time.
    if (outcome.anyUnconfirmed())
        sentences << tr("The iPhone is read again to show what it holds.");
    return {sentences.join(QLatin1Char(' ')), outcome.anyUnconfirmed()};
}

Kept editText(const EditOutcome& outcome, Unconfirmed how)
{
    const QStringList name{outcome.name};
    if (!outcome.recordUnconfirmed && !outcome.restUnconfirmed)
        return {};
    QString sentence;
    if (outcome.deletion)
        sentence = tr("The deletion was sent to the iPhone, which did not confirm it.");
    else if (outcome.newContact && outcome.recordUnconfirmed)
        sentence = newContactUnconfirmed(outcome.name, how);
    else if (outcome.newContact)
        sentence = detailsUnconfirmed(name, how);
    else
        sentence = changesUnconfirmed(name, how);
    QStringList sentences{sentence};
    if (outcome.restNotSent)
        sentences << detailsNotWritten(name);
    sentences << nothingKept(Road::Edit);
    return {sentences.join(QLatin1Char(' ')), true};
}

} // namespace iossync
