// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/mobiledevice_pipe.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Our own ends: a peer started later must not hold them (it would never see
// the end of the pipes), and a non-blocking write lets a stalled peer end in
// a time-out instead of a write that blocks for good.
void prepareOwnEnd(int fd)
{
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void closeFd(int& fd)
{
    if (fd != -1) {
        ::close(fd);
        fd = -1;
    }
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

} // namespace

mobiledevice_pipe::mobiledevice_pipe(int timeoutMs) : timeoutMs(timeoutMs) {}

mobiledevice_pipe::~mobiledevice_pipe()
{
    close();
}

bool mobiledevice_pipe::create()
{
    // Pipes of an earlier opening would otherwise stay open, unreachable.
    close();
    bool made = ::pipe(replyPipe) == 0;
    if (made)
        made = ::pipe(requestPipe) == 0;
    if (made) {
        prepareOwnEnd(replyPipe[0]);
        prepareOwnEnd(requestPipe[1]);
    }
    peerRead = QString::number(requestPipe[0]);
    peerWrite = QString::number(replyPipe[1]);
    return made;
}

bool mobiledevice_pipe::connect()
{
    return true;
}

void mobiledevice_pipe::close()
{
    closeFd(replyPipe[0]);
    closeFd(replyPipe[1]);
    closeFd(requestPipe[0]);
    closeFd(requestPipe[1]);
}

mobiledevice_pipe::Wait mobiledevice_pipe::waitFor(int fd, short events) const
{
    if (fd < 0)
        return Wait::Failed;
    QDeadlineTimer deadline = timeoutMs > 0 ? QDeadlineTimer(timeoutMs) : QDeadlineTimer(QDeadlineTimer::Forever);
    for (;;) {
        pollfd entry { fd, events, 0 };
        const int limit = deadline.isForever() ? -1 : int(deadline.remainingTime());
        const int ready = ::poll(&entry, 1, limit);
        if (ready > 0)
            return Wait::Ready; // also on a hang-up or error: the system call then tells
        if (ready == 0)
            return Wait::TimedOut;
        if (errno != EINTR)
            return Wait::Failed;
    }
}

int mobiledevice_pipe::read(char* buf, int len)
{
    int got = 0;
    while (got < len) {
        if (waitFor(replyPipe[0], POLLIN) != Wait::Ready)
            break;
        const ssize_t n = ::read(replyPipe[0], buf + got, size_t(len - got));
        if (n < 0 && wouldBlock())
            continue;
        if (n < 1)
            break;
        got += int(n);
    }
    return got;
}

int mobiledevice_pipe::write(const char* buf, int len, bool flush)
{
    int sent = 0;
    while (sent < len) {
        if (waitFor(requestPipe[1], POLLOUT) != Wait::Ready)
            break;
        const ssize_t n = ::write(requestPipe[1], buf + sent, size_t(len - sent));
        if (n < 0 && wouldBlock())
            continue;
        if (n < 1)
            break;
        sent += int(n);
    }
    if (flush && requestPipe[1] != -1)
        ::fsync(requestPipe[1]);
    return sent;
}

bool mobiledevice_pipe::writeRequest(const PlistCFType& request)
{
    const QByteArray body = request.CFPropertyListToBytes(PlistCFType::kCFPropertyListXMLFormat_v1_0);
    if (body.isEmpty())
        return true;
    if (body.size() > std::numeric_limits<qint32>::max())
        return false;
    const qint32 length = qint32(body.size());
    char header[sizeof length];
    std::memcpy(header, &length, sizeof length);
    if (write(header, int(sizeof header), true) != int(sizeof header))
        return false;
    return write(body.constData(), length, true) == length;
}

PlistCFType mobiledevice_pipe::readReponse()
{
    qint32 length = 0;
    char header[sizeof length];
    if (read(header, int(sizeof header)) != int(sizeof header))
        return PlistCFType();
    std::memcpy(&length, header, sizeof length);
    if (length <= 0 || length > kMaxReplyBytes)
        return PlistCFType();
    QByteArray body(length, Qt::Uninitialized);
    if (read(body.data(), length) != length)
        return PlistCFType();
    return PlistCFType::createCFPropertyList(body);
}
