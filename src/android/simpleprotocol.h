// SPDX-License-Identifier: GPL-3.0-or-later
// The line layer of the connection to the companion app on an Android phone.
//
// Contract:
// - Every operation blocks the calling thread and works on a socket that the
//   caller connected on that same thread; none opens, closes or owns it.
// - Lines go out as UTF-8 and come in byte by byte as ISO 8859-1: the reader
//   never decodes UTF-8, so free text always travels base64.
// - Every wait is bounded. `timeout` is the longest time the peer may stay
//   silent (nothing read, or nothing of our output accepted) in milliseconds;
//   a negative value means kDefaultTimeoutMs, so no call waits forever.
//   A stalled phone fails the call with a SocketDataTransferException that
//   says so.
// - A line longer than kMaxLineLength bytes fails the call: a phone that
//   never sends a line feed cannot exhaust memory.
// - `cancelled`, when given, is polled every kPollSliceMs while waiting; once
//   it returns true the call leaves with OperationCancelled. Bytes already
//   taken off the socket are then lost, so the caller abandons the connection
//   after any exception.
#pragma once

#include <QLatin1String>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <stdexcept>

class QIODevice;
class QTcpSocket;

namespace simpleprotocol {

// The words of the sync service protocol and of the WiFi handshake.
inline constexpr QLatin1String kDevice("$device:");
inline constexpr QLatin1String kVersion("$version:");
inline constexpr QLatin1String kCount("$count:");
inline constexpr QLatin1String kBatch("$batch:");
inline constexpr QLatin1String kEnt("$ent:");
inline constexpr QLatin1String kDel("$del:");
inline constexpr QLatin1String kUngroup("$ungroup:");
inline constexpr QLatin1String kEnd("$end:");
inline constexpr QLatin1String kBye("$bye:");
inline constexpr QLatin1String kError("$error:");
inline constexpr QLatin1String kBlock("$block:");
inline constexpr QLatin1String kHello("hello:");
inline constexpr QLatin1String kBackup("backup:");
inline constexpr QLatin1String kRestore("restore:");

// The TCP port of the companion app's WiFi service.
inline constexpr quint16 kWifiServicePort = 48888;

// Bounds of every read; the largest legitimate line is a photo record.
inline constexpr qint64 kMaxLineLength = 64 * 1024 * 1024;
inline constexpr int kDefaultTimeoutMs = 60000;
// Short enough that a cancel never holds the window that waits for it.
inline constexpr int kPollSliceMs = 50;
// Size of the blocks of a stream of blocks.
inline constexpr qint64 kStreamBlockSize = 524288;

// Asked while a call waits; true ends the call with OperationCancelled.
using CancelCheck = std::function<bool()>;

// A socket read, write, wait or flush failed, the peer stalled, a line
// exceeded the limit, or an empty line arrived ("Null command.").
class SocketDataTransferException : public std::runtime_error {
public:
    explicit SocketDataTransferException(const QString& message);
    ~SocketDataTransferException() override;
};

// The peer gave up with an "$error:" line; what() is its text.
class RemoteException : public std::runtime_error {
public:
    explicit RemoteException(const QString& message);
    ~RemoteException() override;
};

// This side refuses the peer's line. The constructor first tells the peer
// with an "$error:" line (flushed, bounded by kDefaultTimeoutMs); when that
// send fails, its SocketDataTransferException leaves instead.
class LocalException : public std::runtime_error {
public:
    LocalException(QTcpSocket& socket, const QString& message);
    ~LocalException() override;
};

// The caller's cancel check returned true while a call waited. Workers catch
// it before std::exception and treat it as the user's cancel, not a failure.
class OperationCancelled : public std::runtime_error {
public:
    OperationCancelled();
    ~OperationCancelled() override;
};

// Connects the socket to host:port within timeoutMs, polling `cancelled`
// (OperationCancelled). Returns whether it connected; on false the socket
// is left unconnected, `why` (when given) says why in words: the
// socket's own error, or that nothing answered in time (the socket then
// has no error of its own to tell), and `refused` (when given) whether the
// host turned the connection down at once because nothing listens there.
bool connectSocket(QTcpSocket& socket, const QString& host, quint16 port, int timeoutMs,
    const CancelCheck& cancelled = {}, QString* why = nullptr, bool* refused = nullptr);

// Sends command + argument + line feed as UTF-8.
void sendCommand(QTcpSocket& socket, const QString& command, const QString& argument, bool flush, int timeout,
    const CancelCheck& cancelled = {});
// Sends the UTF-8 bytes of the text.
void sendString(
    QTcpSocket& socket, const QString& text, bool flush, int timeout, const CancelCheck& cancelled = {});
// Writes exactly `length` bytes; a length of 0 or less writes and flushes
// nothing. With `flush`, returns only once the socket's whole output buffer
// has reached the system, so a failure cannot pass for success.
void sendBytes(QTcpSocket& socket, const char* data, qint64 length, bool flush, int timeout,
    const CancelCheck& cancelled = {});

// One line without its line feed; carriage returns are dropped wherever they
// stand and every other byte becomes the character of the same code.
QString readLine(QTcpSocket& socket, int timeout, const CancelCheck& cancelled = {});
// Exactly `length` raw bytes into the caller's buffer (nothing for 0 or less).
void readBytes(
    QTcpSocket& socket, char* buffer, qint64 length, int timeout, const CancelCheck& cancelled = {});
// One line, whole. An empty line fails with "Null command."; an "$error:"
// line raises RemoteException with the peer's text.
QString readCommand(QTcpSocket& socket, int timeout, const CancelCheck& cancelled = {});
// One line that must begin with `expected`; any other raises LocalException.
QString readFeedback(
    QTcpSocket& socket, const QString& expected, int timeout, const CancelCheck& cancelled = {});

// Sends the rest of `source` as "$block:" lines each followed by its raw
// bytes, then "$end:". A source that fails to read fails the call with its
// error text.
void sendStreamContent(
    QTcpSocket& socket, QIODevice& source, bool flush, int timeout, const CancelCheck& cancelled = {});
void sendStreamContentEnd(QTcpSocket& socket, bool flush, int timeout, const CancelCheck& cancelled = {});
// Receives a stream of blocks into `target` until "$end:". A "$block:" whose
// size is not a positive number is passed over; a refused write raises
// std::runtime_error with the device's error text.
void readStreamContent(QTcpSocket& socket, QIODevice& target, int timeout, const CancelCheck& cancelled = {});

} // namespace simpleprotocol
