// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ios/iossyncfailure_p.h"
#include "ios/iossyncwriteback_p.h"
#include "ios/mobiledevicesync.h"
#include "platform/error.h"

#include <QDateTime>

#include <functional>

namespace iossync {

// One contact sync run of a worker: started with the data class
// "com.apple.Contacts" and released on every way out of the scope.
class Session {
public:
    // `stop` is asked while the phone is awaited; a true answer ends the step
    // with MobileSyncError::Stopped.
    explicit Session(std::function<bool()> stop = {}) { client.stop = std::move(stop); }
    ~Session() { client.release(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void start(const QString& udid)
    {
        mobiledevice_sync_start_throw(
            udid,
            _mobiledevice_sync_ctx(QStringLiteral("com.apple.Contacts"), QStringLiteral("---"),
                                   QDateTime::currentDateTime().toString(Qt::ISODate)),
            client);
    }

    mobiledevice_sync_client client;
};

// Sends one message of records and hands the phone's answer to `confirm`,
// which throws UnconfirmedRecord when it lacks an id. When the message went
// out in full and the phone did not confirm all of it, whatever ended the
// wait, `unconfirmed` is told before the failure goes on: the phone may hold
// what the message carried. A message that never went out in full was not
// written.
template <class Confirm>
void exchange(mobiledevice_sync_client& client, const PlistCFType& records, Confirm&& confirm,
              const std::function<void()>& unconfirmed)
{
    try {
        confirm(mobiledevice_sync_send_throw(client, records, false, PlistCFType()));
    } catch (const UnconfirmedRecord&) {
        unconfirmed();
        throw;
    } catch (const MobileSyncError& e) {
        if (e.sentInFull)
            unconfirmed();
        throw;
    }
}

// Runs `work`, whose failed sync steps reach the user as sentences (the steps'
// own texts are in the log already): a wait that the owner's stop ended
// throws `Cancel`, any other failure an Error with failureText. `kept`, when
// given, tells what the road kept once it stopped, and how what it sent was
// left unconfirmed; it is asked after `work` has unwound. A record the phone
// answered without confirming is told by `kept` alone, the one sentence that
// says it may be on the phone.
template <class Cancel, class Work>
void runInWords(Road road, const std::function<Kept(Unconfirmed)>& kept, Work&& work)
{
    try {
        work();
    } catch (const MobileSyncError& e) {
        if (e.kind == MobileSyncError::Stopped)
            throw Cancel();
        throw Error(failureText(e, road, kept ? kept(Unconfirmed::NoAnswer) : Kept()));
    } catch (const UnconfirmedRecord&) {
        if (!kept)
            throw;
        // The record went out: something is unknown, and no advice to
        // repeat follows.
        throw Error(kept(Unconfirmed::Answered).text);
    }
}

} // namespace iossync
