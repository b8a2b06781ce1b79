// SPDX-License-Identifier: GPL-3.0-or-later
// What the Android sync threads share about one conversation with the
// companion app: reaching it, sending a batch and reading the phone's
// answer, and taking from that answer only the ids of records this side
// sent under temporary ids.
#pragma once

#include "android/simpleprotocol.h"
#include "platform/threadcancel.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QTcpSocket;

namespace androidsync {

// The longest wait for the companion app's service to accept the connection.
inline constexpr int kConnectTimeoutMs = 15000;
// Contacts per batch; the phone answers every batch before the next goes.
inline constexpr int kBatchSize = 20;

// Connects to host:port within kConnectTimeoutMs, polling `cancelled`.
// Throws Error("Failed to Connect to %0:%1.") or OperationCancelled.
void connectToApp(
    QTcpSocket& socket, const QString& host, int port, const simpleprotocol::CancelCheck& cancelled);

// What a batch carries, for the words of a failure.
enum class Carried { Change, Contacts };

// Sends "$batch:", the lines (each a whole command line without its line
// feed, unflushed) and "$end:", then reads the phone's answer. Unless it is a
// "$batch:" line, throws Error saying in words that the phone ended the
// session ("$bye:") or gave an answer not understood, and that what was sent
// had reached it; an "$error:" line raises the phone's own text
// (RemoteException).
QString exchangeBatch(QTcpSocket& socket, const QStringList& lines, Carried carried,
    const simpleprotocol::CancelCheck& cancelled);

// The failure text for new contacts the phone gave no id: it did not
// confirm them, by their shown names (pim::shownName), and is read again (by
// the caller's caller).
QString unconfirmedText(const QStringList& names);

// Runs a worker's job so that every wait below it, down to the connector's
// and the ADB link's, ends at once on the user's cancel (ThreadCancelScope);
// whatever fails once the job is cancelled ends it as OperationCancelled,
// not as an error.
template <class Job>
void runCancellable(const simpleprotocol::CancelCheck& cancelled, Job&& job)
{
    ThreadCancelScope scope(cancelled);
    try {
        job();
    } catch (const simpleprotocol::OperationCancelled&) {
        throw;
    } catch (const std::exception&) {
        if (cancelled())
            throw simpleprotocol::OperationCancelled();
        throw;
    }
}

// The line as a user may be shown it: long lines (a photo record) are cut.
QString elided(const QString& line);

// Whether `id` is an Android sync id that names a record the phone holds (not
// empty, not temporary); on success the contact keys are written.
bool isPhoneId(const QString& id, qint64* contactKey = nullptr, qint64* secondKey = nullptr);

// The records of one batch that went out under temporary ids, and what the
// phone's answer says about them.
class TemporaryIds {
public:
    struct Record {
        unsigned long long contactId = 0; // local contact row
        unsigned long long entityId = 0; // local data row
        QString newId; // the phone's id, once confirmed
    };

    // Notes a record sent as `sentId`. A record sent under the phone's own
    // id is no temporary record and is ignored.
    void add(const QString& sentId, unsigned long long contactId, unsigned long long entityId);
    // The records that the answer gives a phone id, each taken once, in the
    // answer's order. Pairs for ids this batch did not send under a
    // temporary id, and new ids that are no phone ids, are passed over.
    QList<Record> confirm(const QString& reply);
    // The records still waiting for an id, in the order they were noted.
    QList<Record> unconfirmed() const;

private:
    QHash<QString, Record> m_pending;
    QStringList m_order;
};

} // namespace androidsync
