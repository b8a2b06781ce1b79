// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/simpleprotocol.h"

#include "android/androidlog.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QIODevice>
#include <QTcpSocket>
#include <QTimer>

namespace simpleprotocol {

SocketDataTransferException::SocketDataTransferException(const QString& message)
    : std::runtime_error(message.toStdString())
{
}
SocketDataTransferException::~SocketDataTransferException() = default;

RemoteException::RemoteException(const QString& message)
    : std::runtime_error(message.toStdString())
{
}
RemoteException::~RemoteException() = default;

LocalException::LocalException(QTcpSocket& socket, const QString& message)
    : std::runtime_error(message.toStdString())
{
    qCWarning(lcAndroid) << "refusing the phone's line:" << message;
    sendCommand(socket, kError, QString::fromLatin1(message.toUtf8().toBase64()), true, kDefaultTimeoutMs);
}
LocalException::~LocalException() = default;

OperationCancelled::OperationCancelled()
    : std::runtime_error("Cancelled by the user.")
{
}
OperationCancelled::~OperationCancelled() = default;

namespace {

QString sentence(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

QString describePeer(const QTcpSocket& socket)
{
    const QHostAddress address = socket.peerAddress();
    if (address.isNull())
        return QStringLiteral("the phone");
    return QStringLiteral("the phone at %1:%2").arg(address.toString()).arg(socket.peerPort());
}

// Waits on a socket in short slices so that a cancel is seen promptly, and
// fails once the peer has been silent for longer than the timeout. Silence is
// measured from the last progress, so a slow but steady phone is never cut
// off in the middle of a large photo.
class Waiter {
public:
    Waiter(QTcpSocket& socket, int timeout, const CancelCheck& cancelled)
        : m_socket(socket)
        , m_timeout(timeout < 0 ? kDefaultTimeoutMs : timeout)
        , m_cancelled(cancelled)
        , m_peer(describePeer(socket))
    {
        m_silence.start();
    }

    void progressed() { m_silence.restart(); }

    // Returns once data has arrived.
    void waitForRead()
    {
        for (;;) {
            checkCancel();
            if (m_socket.waitForReadyRead(sliceMs()))
                return;
            checkFailedWait(QStringLiteral("sent nothing"));
        }
    }

    // Returns once some of the socket's output has been written.
    void waitForWrite()
    {
        for (;;) {
            checkCancel();
            if (m_socket.waitForBytesWritten(sliceMs()))
                return;
            checkFailedWait(QStringLiteral("took no data"));
        }
    }

    void requireConnected() const
    {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            failLost();
    }

    [[noreturn]] void failLost() const
    {
        fail(QStringLiteral("Lost the connection to %1: %2. Check that the companion app is still open on the "
                            "phone and that the phone is connected, then try again.")
                 .arg(peer(), m_socket.errorString()));
    }

    [[noreturn]] void fail(const QString& message) const
    {
        qCWarning(lcAndroid).noquote() << message;
        throw SocketDataTransferException(message);
    }

    QString peer() const { return m_peer; }

private:
    int sliceMs() const
    {
        return int(qBound(qint64(1), m_timeout - m_silence.elapsed(), qint64(kPollSliceMs)));
    }

    void checkCancel() const
    {
        if (m_cancelled && m_cancelled())
            throw OperationCancelled();
    }

    // A wait that ran out its slice on a healthy connection is not a failure
    // until the whole timeout has passed; any other failed wait is.
    void checkFailedWait(const QString& what) const
    {
        requireConnected();
        if (m_socket.error() != QAbstractSocket::SocketTimeoutError)
            failLost();
        if (m_silence.elapsed() >= m_timeout) {
            fail(QStringLiteral("%1 %2 for %3 seconds, so the transfer was stopped. Check that the companion "
                                "app is still open on the phone and try again.")
                     .arg(sentence(peer()), what)
                     .arg(m_timeout / 1000.0));
        }
    }

    QTcpSocket& m_socket;
    const int m_timeout;
    const CancelCheck& m_cancelled;
    // Taken while connected: a socket forgets its peer once the peer hangs up.
    const QString m_peer;
    QElapsedTimer m_silence;
};

void pushOut(QTcpSocket& socket, Waiter& waiter)
{
    // QAbstractSocket::flush() reports only whether it wrote anything now, so
    // success is an empty output buffer, not its result.
    socket.flush();
    qint64 pending = socket.bytesToWrite();
    while (pending > 0) {
        waiter.requireConnected();
        waiter.waitForWrite();
        const qint64 left = socket.bytesToWrite();
        if (left < pending)
            waiter.progressed();
        pending = left;
    }
}

QString remoteText(const QString& argument)
{
    // The decoder skips characters outside the base64 alphabet.
    QByteArray bytes = QByteArray::fromBase64(argument.toLatin1());
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

} // namespace

void sendCommand(QTcpSocket& socket, const QString& command, const QString& argument, bool flush, int timeout,
    const CancelCheck& cancelled)
{
    QString line;
    line.reserve(command.size() + argument.size() + 1);
    line.append(command).append(argument).append(QLatin1Char('\n'));
    sendString(socket, line, flush, timeout, cancelled);
}

void sendString(
    QTcpSocket& socket, const QString& text, bool flush, int timeout, const CancelCheck& cancelled)
{
    const QByteArray bytes = text.toUtf8();
    sendBytes(socket, bytes.constData(), bytes.size(), flush, timeout, cancelled);
}

void sendBytes(QTcpSocket& socket, const char* data, qint64 length, bool flush, int timeout,
    const CancelCheck& cancelled)
{
    if (length <= 0)
        return;
    Waiter waiter(socket, timeout, cancelled);
    waiter.requireConnected();
    qint64 sent = 0;
    while (sent < length) {
        const qint64 n = socket.write(data + sent, length - sent);
        if (n < 0)
            waiter.fail(QStringLiteral("Could not send to %1: %2.").arg(waiter.peer(), socket.errorString()));
        if (n > 0) {
            sent += n;
            waiter.progressed();
        } else {
            waiter.waitForWrite();
        }
    }
    if (flush)
        pushOut(socket, waiter);
}

QString readLine(QTcpSocket& socket, int timeout, const CancelCheck& cancelled)
{
    Waiter waiter(socket, timeout, cancelled);
    QByteArray line;
    char chunk[16384];
    for (;;) {
        // QIODevice::readLine stops after a line feed, so bytes of the next
        // line stay in the socket for the next call.
        const qint64 n = socket.readLine(chunk, sizeof chunk);
        if (n <= 0) {
            waiter.waitForRead();
            continue;
        }
        waiter.progressed();
        const bool ended = chunk[n - 1] == '\n';
        line.append(chunk, ended ? n - 1 : n);
        if (line.size() > kMaxLineLength) {
            waiter.fail(QStringLiteral("%1 sent a line longer than %2 MiB, so the transfer was stopped.")
                            .arg(sentence(waiter.peer()))
                            .arg(kMaxLineLength / (1024 * 1024)));
        }
        if (ended)
            break;
    }
    line.removeIf([](char c) { return c == '\r'; });
    return QString::fromLatin1(line);
}

void readBytes(QTcpSocket& socket, char* buffer, qint64 length, int timeout, const CancelCheck& cancelled)
{
    Waiter waiter(socket, timeout, cancelled);
    qint64 got = 0;
    while (got < length) {
        const qint64 n = socket.read(buffer + got, length - got);
        if (n > 0) {
            got += n;
            waiter.progressed();
        } else {
            waiter.waitForRead();
        }
    }
}

QString readCommand(QTcpSocket& socket, int timeout, const CancelCheck& cancelled)
{
    const QString line = readLine(socket, timeout, cancelled);
    if (line.isEmpty())
        throw SocketDataTransferException(QStringLiteral("Null command."));
    if (line.startsWith(kError))
        throw RemoteException(remoteText(line.mid(kError.size())));
    return line;
}

QString readFeedback(QTcpSocket& socket, const QString& expected, int timeout, const CancelCheck& cancelled)
{
    const QString line = readCommand(socket, timeout, cancelled);
    if (!line.startsWith(expected))
        throw LocalException(
            socket, QStringLiteral("invalid feedback [%1], must be [%2]").arg(line, expected));
    return line;
}

void sendStreamContent(
    QTcpSocket& socket, QIODevice& source, bool flush, int timeout, const CancelCheck& cancelled)
{
    QByteArray block(kStreamBlockSize, Qt::Uninitialized);
    while (!source.atEnd()) {
        const qint64 n = source.read(block.data(), block.size());
        if (n < 0)
            throw std::runtime_error(source.errorString().toStdString());
        if (n == 0)
            break;
        sendCommand(socket, kBlock, QString::number(n), false, timeout, cancelled);
        sendBytes(socket, block.constData(), n, false, timeout, cancelled);
    }
    sendStreamContentEnd(socket, flush, timeout, cancelled);
}

void sendStreamContentEnd(QTcpSocket& socket, bool flush, int timeout, const CancelCheck& cancelled)
{
    sendCommand(socket, kEnd, QString(), flush, timeout, cancelled);
}

void readStreamContent(QTcpSocket& socket, QIODevice& target, int timeout, const CancelCheck& cancelled)
{
    QByteArray buffer;
    for (;;) {
        const QString line = readCommand(socket, timeout, cancelled);
        if (line.startsWith(kEnd))
            return;
        if (!line.startsWith(kBlock)) {
            throw LocalException(socket,
                QStringLiteral("readStreamContent: invalid feedback [%1], must be [%2], [%3]")
                    .arg(line, kBlock, kEnd));
        }
        qint64 remaining = line.mid(kBlock.size()).toLongLong();
        // A block is moved in pieces, so its announced size never decides
        // how much memory is taken.
        while (remaining > 0) {
            const qint64 piece = qMin(remaining, kStreamBlockSize);
            buffer.resize(piece);
            readBytes(socket, buffer.data(), piece, timeout, cancelled);
            for (qint64 written = 0; written < piece;) {
                const qint64 n = target.write(buffer.constData() + written, piece - written);
                if (n <= 0)
                    throw std::runtime_error(target.errorString().toStdString());
                written += n;
            }
            remaining -= piece;
        }
    }
}

bool connectSocket(QTcpSocket& socket, const QString& host, quint16 port, int timeoutMs, const CancelCheck& cancelled,
                   QString* why, bool* refused)
{
    if (refused)
        *refused = false;
    // Not waitForConnected in slices: a slice that times out abandons the
    // attempt, so a phone slow to accept would fail at the first slice.
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    bool wasCancelled = false;
    QObject::connect(&socket, &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        wasCancelled = cancelled && cancelled();
        if (wasCancelled || clock.elapsed() >= timeoutMs)
            loop.quit();
    });
    clock.start();
    poll.start(kPollSliceMs);
    socket.connectToHost(host, port, QIODevice::ReadWrite);
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        loop.exec();
    if (socket.state() == QAbstractSocket::ConnectedState)
        return true;
    const bool timedOut = socket.error() == QAbstractSocket::UnknownSocketError;
    if (refused)
        *refused = socket.error() == QAbstractSocket::ConnectionRefusedError;
    if (why)
        *why = timedOut ? QStringLiteral("Nothing answered within %1 seconds.").arg(timeoutMs / 1000.0)
                        : socket.errorString();
    socket.abort();
    if (wasCancelled)
        throw OperationCancelled();
    return false;
}

} // namespace simpleprotocol
