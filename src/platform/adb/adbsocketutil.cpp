// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbsocketutil_p.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace adbsock {

namespace {

int waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r;
    }
}

void setCommonOptions(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
#ifdef SO_NOSIGPIPE
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Sockets stay non-blocking: every wait goes through poll() with a deadline.

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

}  // namespace

int connectTo(const QHostAddress& address, quint16 port, int timeoutMs)
{
    sockaddr_storage storage{};
    socklen_t len = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        const Q_IPV6ADDR raw = address.toIPv6Address();
        std::memcpy(&a->sin6_addr, raw.c, 16);
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(address.toIPv4Address());
        len = sizeof *a;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM, 0);
    if (fd < 0)
        return -errno;
    setCommonOptions(fd);
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int err = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&storage), len) < 0) {
        if (errno != EINPROGRESS) {
            err = errno;
        } else if (waitFor(fd, POLLOUT, timeoutMs) <= 0) {
            err = ETIMEDOUT;
        } else {
            socklen_t elen = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &elen);
        }
    }
    if (err) {
        ::close(fd);
        return -err;
    }
    return fd;
}

int listenLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -errno;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(fd, 8) < 0) {
        const int err = errno;
        ::close(fd);
        return -err;
    }
    return fd;
}

quint16 localPort(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) < 0)
        return 0;
    return ntohs(a.sin_port);
}

int acceptOne(int listenFd, int timeoutMs)
{
    const int r = waitFor(listenFd, POLLIN, timeoutMs);
    if (r <= 0)
        return r < 0 ? -errno : 0;
    const int fd = ::accept(listenFd, nullptr, nullptr);
    if (fd < 0)
        return (errno == EAGAIN || errno == ECONNABORTED) ? 0 : -errno;
    setCommonOptions(fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

qint64 recvSome(int fd, char* buffer, qint64 maxLen, int timeoutMs)
{
    const int r = waitFor(fd, POLLIN, timeoutMs);
    if (r < 0)
        return -errno;
    if (r == 0)
        return 0;
    const ssize_t n = ::recv(fd, buffer, static_cast<size_t>(maxLen), 0);
    if (n == 0)
        return -ECONNRESET;
    if (n < 0)
        return (errno == EAGAIN || errno == EINTR) ? 0 : -errno;
    return n;
}

bool sendAll(int fd, const QByteArray& data, int timeoutMs)
{
    qint64 done = 0;
    while (done < data.size()) {
        if (waitFor(fd, POLLOUT, timeoutMs) <= 0)
            return false;
        const ssize_t n = ::send(fd, data.constData() + done, static_cast<size_t>(data.size() - done), kSendFlags);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

QString lastError(qint64 negativeErrno)
{
    if (negativeErrno == -ECONNRESET)
        return QStringLiteral("the other side closed the connection");
    return QString::fromLocal8Bit(std::strerror(static_cast<int>(-negativeErrno)));
}

}  // namespace adbsock
