// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/adb/adbmessage.h"
#include "platform/adb/adbusbhandle.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

class AdbKey;
class AdbTransport;

// One ADB connection: the reader that dispatches the phone's messages, the
// authorisation exchange and the multiplexed streams. Streams follow the
// protocol's flow control: one WRTE in flight per stream until the phone's
// OKAY, and our OKAY for the phone's WRTE held back while the reader of that
// stream lags behind by more than kInboxLimit bytes.
class AdbSession : public std::enable_shared_from_this<AdbSession> {
public:
    using State = AdbUSBHandle::State;

    struct Stream {
        quint32 localId = 0;
        quint32 remoteId = 0;
        bool opened = false;
        bool closed = false;
        bool refused = false;   // closed before it opened
        bool lost = false;      // closed because the link ended, not by the phone
        bool writeReady = true; // no WRTE waits for its OKAY
        bool okayOwed = false;
        bool overrun = false;   // the phone sent past the window; the stream was closed
        QByteArray inbox;
        QString service;
    };
    using StreamPtr = std::shared_ptr<Stream>;
    static constexpr int kInboxLimit = 1024 * 1024;

    AdbSession(const QString& deviceId, std::unique_ptr<AdbTransport> transport, std::shared_ptr<AdbKey> key);
    ~AdbSession();
    void start();
    void close(const QString& why);

    State state() const;
    QString errorString() const;
    QString banner() const;
    QString deviceId() const { return m_deviceId; }
    bool waitOnline(int timeoutMs);
    int ioTimeoutMs() const { return m_ioTimeoutMs; }
    quint32 maxPayload() const;

    // Opens a service stream ("shell:ls"); throws AdbError (Unauthorized,
    // Refused, Timeout, Transport).
    StreamPtr open(const QString& service);
    // Sends data in chunks of the negotiated size, each after the OKAY of
    // the one before; throws AdbError(Timeout) when an OKAY stays away.
    void write(const StreamPtr& stream, const QByteArray& data);
    // Returns the bytes received so far, waiting up to timeoutMs for some;
    // an empty result with *ended set means the phone closed the stream.
    // Throws AdbError(Timeout) when nothing came in time.
    QByteArray read(const StreamPtr& stream, int timeoutMs, bool* ended);
    bool isClosed(const StreamPtr& stream) const;
    void closeStream(const StreamPtr& stream);

private:
    void readerLoop();
    void readExactly(char* buffer, qint64 size, bool deadline, const QString& silentText);
    void send(quint32 command, quint32 arg0, quint32 arg1, const QByteArray& payload = QByteArray());
    void dispatch(const AdbMessage& message);
    void handleAuth(const AdbMessage& message);
    void fail(const QString& why);
    QString offlineText() const;
    // Waits up to timeoutMs for ready() under lock, in slices, and throws
    // AdbError(Local) once the calling job is cancelled (ThreadCancelScope).
    template <class Ready>
    bool waitUntil(std::unique_lock<std::mutex>& lock, int timeoutMs, Ready ready);
    QString notAnsweringText() const;

    const QString m_deviceId;
    std::unique_ptr<AdbTransport> m_transport;
    std::shared_ptr<AdbKey> m_key;
    const int m_ioTimeoutMs;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::mutex m_writeMutex;
    State m_state = State::Connecting;
    QString m_error;
    QString m_banner;
    quint32 m_maxPayload = 4096;
    bool m_signatureSent = false;
    bool m_publicKeySent = false;
    quint32 m_nextLocalId = 1;
    std::map<quint32, StreamPtr> m_streams;
};
