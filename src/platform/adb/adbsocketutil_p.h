// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Blocking POSIX sockets with poll() deadlines: the transports and the
// forward pumps run on pool threads without an event loop, and must notice a
// close or a stall within a bounded time.
#include <QByteArray>
#include <QHostAddress>
#include <QString>

namespace adbsock {

// Connected socket, or -errno.
int connectTo(const QHostAddress& address, quint16 port, int timeoutMs);
// Listening socket on 127.0.0.1:port (0 = any free port), or -errno.
int listenLoopback(quint16 port);
quint16 localPort(int fd);
// Accepted socket, 0 when none came in time, or -errno.
int acceptOne(int listenFd, int timeoutMs);
// Bytes read; 0 on timeout; -errno on failure, -ECONNRESET at end of stream.
qint64 recvSome(int fd, char* buffer, qint64 maxLen, int timeoutMs);
// False when the peer took nothing for timeoutMs or the socket failed.
bool sendAll(int fd, const QByteArray& data, int timeoutMs);
QString lastError(qint64 negativeErrno);

}  // namespace adbsock
