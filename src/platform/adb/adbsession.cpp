// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbsession_p.h"

#include "platform/adb/adbkey.h"
#include "platform/adb/adblog_p.h"
#include "platform/adb/adbservices.h"
#include "platform/adb/adbtransport.h"
#include "platform/threadcancel.h"

#include <QThreadPool>

#include <chrono>

namespace {

constexpr int kIdleSliceMs = 250;
constexpr quint32 kTokenSize = 20;
// Host banner: no feature list, so the phone speaks the plain shell protocol.
const QByteArray kHostBanner = QByteArrayLiteral("host::\0");

}  // namespace

AdbSession::AdbSession(const QString& deviceId, std::unique_ptr<AdbTransport> transport,
                       std::shared_ptr<AdbKey> key)
    : m_deviceId(deviceId), m_transport(std::move(transport)), m_key(std::move(key)),
      m_ioTimeoutMs(adbSettings().ioTimeoutMs)
{
}

AdbSession::~AdbSession() = default;

void AdbSession::start()
{
    std::shared_ptr<AdbSession> self = shared_from_this();
    adbThreadPool()->start([self] { self->readerLoop(); });
}

void AdbSession::close(const QString& why)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state != State::Offline) {
            m_state = State::Offline;
            m_error = why;
        }
        for (auto& entry : m_streams)
            entry.second->closed = entry.second->lost = true;
        m_streams.clear();
    }
    m_transport->close();
    m_changed.notify_all();
}

void AdbSession::fail(const QString& why)
{
    qCInfo(lcAdb) << m_deviceId << why;
    close(why);
}

AdbSession::State AdbSession::state() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state;
}

QString AdbSession::errorString() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

QString AdbSession::banner() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_banner;
}

quint32 AdbSession::maxPayload() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_maxPayload;
}

bool AdbSession::waitOnline(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(qMax(0, timeoutMs)),
                       [this] { return m_state == State::Online || m_state == State::Offline; });
    return m_state == State::Online;
}

template <class Ready>
bool AdbSession::waitUntil(std::unique_lock<std::mutex>& lock, int timeoutMs, Ready ready)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(qMax(0, timeoutMs));
    while (!ready()) {
        if (ThreadCancelScope::isCancelled())
            throw AdbError(AdbErrorCode::Local, QStringLiteral("Cancelled by the user."));
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        m_changed.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                     deadline - now, std::chrono::milliseconds(ThreadCancelScope::kSliceMs)));
    }
    return true;
}

QString AdbSession::offlineText() const
{
    if (m_error == notAnsweringText())
        return m_error;
    return QStringLiteral("The phone %1 is no longer connected (%2).").arg(m_deviceId, m_error);
}

// The prompt on the phone is only shown once it has our key: a phone that has
// not got that far is silent, not waiting for the user.
QString AdbSession::notAnsweringText() const
{
    return QStringLiteral("The phone %1 does not answer (offline). Unplug it, plug it in again and unlock it; if it "
                          "still does not answer, restart the phone.").arg(m_deviceId);
}

void AdbSession::send(quint32 command, quint32 arg0, quint32 arg1, const QByteArray& payload)
{
    const QByteArray header = AdbMessage::header(command, arg0, arg1, payload);
    std::lock_guard<std::mutex> lock(m_writeMutex);
    try {
        m_transport->write(header, payload, m_ioTimeoutMs);
    } catch (const AdbError& e) {
        fail(e.text());
        throw;
    }
}

void AdbSession::readExactly(char* buffer, qint64 size, bool deadline, const QString& silentText)
{
    qint64 done = 0;
    int waited = 0;
    while (done < size) {
        const qint64 n = m_transport->read(buffer + done, size - done, kIdleSliceMs);
        if (n > 0) {
            done += n;
            waited = 0;
            continue;
        }
        waited += kIdleSliceMs;
        // Between messages the phone may stay silent for as long as it likes;
        // inside one it must keep going.
        if ((deadline || done > 0) && waited >= m_ioTimeoutMs)
            throw AdbError(AdbErrorCode::Timeout, done > 0 || silentText.isEmpty()
                               ? QStringLiteral("The phone %1 stopped in the middle of a message.").arg(m_deviceId)
                               : silentText);
    }
}

void AdbSession::readerLoop()
{
    try {
        send(AdbMessage::CNXN, AdbMessage::Version, AdbMessage::MaxPayload, kHostBanner);
        char header[AdbMessage::HeaderSize];
        for (;;) {
            bool owesAnswer = false;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                owesAnswer = m_state == State::Connecting;
            }
            // Until the handshake is through (or the phone asks its user) it
            // owes us an answer; afterwards it may stay silent between
            // messages as long as it likes.
            readExactly(header, sizeof header, owesAnswer, notAnsweringText());
            AdbMessage message;
            quint32 sum = 0;
            const quint32 length = AdbMessage::decodeHeader(header, AdbMessage::MaxPayload, &message, &sum);
            message.payload.resize(static_cast<int>(length));
            readExactly(message.payload.data(), length, true, QString());
            if (!AdbMessage::checksumMatches(message.payload, sum))
                throw AdbError(AdbErrorCode::Protocol,
                               QStringLiteral("The phone %1 sent an ADB %2 message with a wrong checksum.")
                                   .arg(m_deviceId, AdbMessage::commandName(message.command)));
            dispatch(message);
        }
    } catch (const AdbError& e) {
        fail(e.text());
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()));
    }
}

void AdbSession::handleAuth(const AdbMessage& message)
{
    if (message.arg0 != AdbMessage::AuthToken)
        return;
    if (message.payload.size() != static_cast<int>(kTokenSize))
        throw AdbError(AdbErrorCode::Protocol,
                       QStringLiteral("The phone %1 sent an authorisation token of %2 bytes.")
                           .arg(m_deviceId).arg(message.payload.size()));
    if (!m_key)
        throw AdbError(AdbErrorCode::Local, QStringLiteral("No ADB key to answer the phone %1 with.").arg(m_deviceId));
    bool sign = false;
    bool offerKey = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_signatureSent) {
            m_signatureSent = sign = true;
        } else if (!m_publicKeySent) {
            m_publicKeySent = offerKey = true;
            m_state = State::WaitingForUser;
        }
    }
    m_changed.notify_all();
    if (sign)
        send(AdbMessage::AUTH, AdbMessage::AuthSignature, 0, m_key->sign(message.payload));
    else if (offerKey)
        send(AdbMessage::AUTH, AdbMessage::AuthRsaPublicKey, 0, m_key->publicKeyBlob());
}

void AdbSession::dispatch(const AdbMessage& message)
{
    switch (message.command) {
    case AdbMessage::CNXN: {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state = State::Online;
        m_maxPayload = qBound<quint32>(256, message.arg1, AdbMessage::MaxPayload);
        m_banner = QString::fromUtf8(message.payload).section(QLatin1Char('\0'), 0, 0);
        // A second CONNECT means the phone restarted its side: old streams are gone.
        for (auto& entry : m_streams)
            entry.second->closed = entry.second->lost = true;
        m_streams.clear();
        break;
    }
    case AdbMessage::AUTH:
        handleAuth(message);
        return;
    case AdbMessage::OKAY:
    case AdbMessage::WRTE:
    case AdbMessage::CLSE: {
        bool unknown = false;
        bool ack = false;
        bool overrun = false;
        quint32 remote = message.arg0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_streams.find(message.arg1);
            if (it == m_streams.end()) {
                unknown = message.command != AdbMessage::CLSE;
            } else {
                Stream& s = *it->second;
                if (message.command == AdbMessage::OKAY) {
                    if (!s.opened) {
                        s.opened = true;
                        s.remoteId = remote;
                    }
                    s.writeReady = true;
                } else if (message.command == AdbMessage::WRTE) {
                    if (s.okayOwed) {
                        // Sent before our OKAY: keeping it would let the phone
                        // fill memory at will.
                        s.overrun = s.closed = true;
                        s.inbox.clear();
                        m_streams.erase(it);
                        overrun = true;
                    } else {
                        s.inbox += message.payload;
                        if (s.inbox.size() > kInboxLimit)
                            s.okayOwed = true;
                        else
                            ack = true;
                    }
                } else {
                    s.refused = !s.opened;
                    s.closed = true;
                    m_streams.erase(it);
                }
            }
        }
        if (overrun) {
            qCWarning(lcAdb) << m_deviceId << "sent past the flow-control window; stream closed";
            send(AdbMessage::CLSE, message.arg1, remote);
        }
        if (unknown && remote)
            send(AdbMessage::CLSE, 0, remote);
        if (ack)
            send(AdbMessage::OKAY, message.arg1, remote);
        break;
    }
    default:
        qCDebug(lcAdb) << m_deviceId << "ignores ADB message" << AdbMessage::commandName(message.command);
        return;
    }
    m_changed.notify_all();
}

AdbSession::StreamPtr AdbSession::open(const QString& service)
{
    auto stream = std::make_shared<Stream>();
    stream->service = service;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // A call made just after the phone appeared waits for its first answer.
        waitUntil(lock, m_ioTimeoutMs, [this] { return m_state != State::Connecting; });
        if (m_state == State::Offline)
            throw AdbError(AdbErrorCode::Transport, offlineText());
        if (m_state == State::Connecting)
            throw AdbError(AdbErrorCode::Timeout, notAnsweringText());
        if (m_state != State::Online)
            throw AdbError(AdbErrorCode::Unauthorized,
                           QStringLiteral("The phone %1 has not allowed USB debugging for this computer. "
                                          "Unlock it and accept the prompt on its screen.").arg(m_deviceId));
        stream->localId = m_nextLocalId++;
        if (m_nextLocalId == 0)
            m_nextLocalId = 1;
        m_streams[stream->localId] = stream;
    }
    send(AdbMessage::OPEN, stream->localId, 0, service.toUtf8() + '\0');
    std::unique_lock<std::mutex> lock(m_mutex);
    bool answered = false;
    try {
        answered = waitUntil(lock, m_ioTimeoutMs, [&] { return stream->opened || stream->closed; });
    } catch (const AdbError&) {
        m_streams.erase(stream->localId);
        throw;
    }
    // A short command may have answered and closed before this thread woke.
    if (stream->opened && !stream->lost)
        return stream;
    m_streams.erase(stream->localId);
    if (!answered)
        throw AdbError(AdbErrorCode::Timeout,
                       QStringLiteral("The phone %1 did not answer the request to open \"%2\".").arg(m_deviceId, service));
    if (stream->lost)
        throw AdbError(AdbErrorCode::Transport, offlineText());
    throw AdbError(AdbErrorCode::Refused,
                   QStringLiteral("The phone %1 refused to open \"%2\".").arg(m_deviceId, service));
}

void AdbSession::write(const StreamPtr& stream, const QByteArray& data)
{
    const int chunk = static_cast<int>(maxPayload());
    for (int offset = 0; offset < data.size(); offset += chunk) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!waitUntil(lock, m_ioTimeoutMs, [&] { return stream->writeReady || stream->closed; }))
                throw AdbError(AdbErrorCode::Timeout,
                               QStringLiteral("The phone %1 stopped taking data on \"%2\".").arg(m_deviceId, stream->service));
            if (stream->closed)
                throw AdbError(stream->lost ? AdbErrorCode::Transport : AdbErrorCode::Failed,
                               stream->lost ? offlineText()
                                   : QStringLiteral("The phone %1 closed \"%2\" while data was being sent.").arg(m_deviceId, stream->service));
            stream->writeReady = false;
        }
        send(AdbMessage::WRTE, stream->localId, stream->remoteId, data.mid(offset, chunk));
    }
}

QByteArray AdbSession::read(const StreamPtr& stream, int timeoutMs, bool* ended)
{
    QByteArray data;
    bool owed = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!waitUntil(lock, timeoutMs, [&] { return !stream->inbox.isEmpty() || stream->closed; }))
            throw AdbError(AdbErrorCode::Timeout,
                           QStringLiteral("The phone %1 stopped answering: nothing came on \"%2\" for %3 seconds. "
                                          "Unplug the phone, plug it in again and unlock it.")
                               .arg(m_deviceId, stream->service).arg(qMax(1, (timeoutMs + 999) / 1000)));
        if (stream->overrun)
            throw AdbError(AdbErrorCode::Protocol,
                           QStringLiteral("The phone %1 sent data on \"%2\" without waiting for this computer to take "
                                          "it, so the transfer was stopped.").arg(m_deviceId, stream->service));
        data.swap(stream->inbox);
        if (data.isEmpty() && stream->lost)
            throw AdbError(AdbErrorCode::Transport, m_state == State::Offline ? offlineText()
                               : QStringLiteral("The phone %1 restarted its side of the link.").arg(m_deviceId));
        *ended = data.isEmpty() && stream->closed;
        owed = stream->okayOwed && !stream->closed;
        stream->okayOwed = false;
    }
    if (owed)
        send(AdbMessage::OKAY, stream->localId, stream->remoteId);
    return data;
}

bool AdbSession::isClosed(const StreamPtr& stream) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return stream->closed;
}

void AdbSession::closeStream(const StreamPtr& stream)
{
    bool tell = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!stream->closed) {
            stream->closed = true;
            tell = stream->opened && m_state == State::Online;
            m_streams.erase(stream->localId);
        }
    }
    m_changed.notify_all();
    if (tell) {
        try {
            send(AdbMessage::CLSE, stream->localId, stream->remoteId);
        } catch (const AdbError&) {
            // The link is gone; the stream is closed either way.
        }
    }
}

// ---- AdbUSBHandle

AdbUSBHandle::AdbUSBHandle(const QString& deviceId, std::unique_ptr<AdbTransport> transport,
                           std::shared_ptr<AdbKey> key)
    : m_deviceId(deviceId), m_session(std::make_shared<AdbSession>(deviceId, std::move(transport), std::move(key)))
{
    m_session->start();
}

AdbUSBHandle::~AdbUSBHandle()
{
    m_session->close(QStringLiteral("closed by this computer"));
}

QString AdbUSBHandle::deviceId() const { return m_deviceId; }
bool AdbUSBHandle::waitForAuth2(int timeoutMs) { return m_session->waitOnline(timeoutMs); }
AdbUSBHandle::State AdbUSBHandle::state() const { return m_session->state(); }
QString AdbUSBHandle::errorString() const { return m_session->errorString(); }
QString AdbUSBHandle::banner() const { return m_session->banner(); }
void AdbUSBHandle::close() { m_session->close(QStringLiteral("closed by this computer")); }
