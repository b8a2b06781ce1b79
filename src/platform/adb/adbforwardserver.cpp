// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbforwardserver.h"

#include "platform/adb/adblog_p.h"
#include "platform/adb/adbservices.h"
#include "platform/adb/adbsession_p.h"
#include "platform/adb/adbsocketutil_p.h"

#include <QElapsedTimer>
#include <QThreadPool>

#include <atomic>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSliceMs = 200;
constexpr int kReadChunk = 64 * 1024;

struct Listener {
    std::weak_ptr<AdbSession> session;
    quint16 remotePort = 0;
    int fd = -1;
    std::atomic<bool> stop{false};
    std::atomic<int> connections{0};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};
using ListenerPtr = std::shared_ptr<Listener>;

std::mutex g_registryMutex;
std::map<quint16, ListenerPtr> g_listeners;

// One accepted client and its stream; the socket closes when both pumps end.
struct Connection {
    std::shared_ptr<AdbSession> session;
    AdbSession::StreamPtr stream;
    ListenerPtr listener;
    int fd = -1;
    ~Connection()
    {
        session->closeStream(stream);
        ::close(fd);
        --listener->connections;
    }
};

void pumpToPhone(const std::shared_ptr<Connection>& c)
{
    QByteArray buffer(qMin<int>(kReadChunk, static_cast<int>(c->session->maxPayload())), Qt::Uninitialized);
    while (!c->session->isClosed(c->stream)) {
        const qint64 n = adbsock::recvSome(c->fd, buffer.data(), buffer.size(), kSliceMs);
        if (n < 0)
            break;
        if (n == 0)
            continue;
        try {
            c->session->write(c->stream, buffer.left(static_cast<int>(n)));
        } catch (const AdbError& e) {
            qCInfo(lcAdb) << "forward to phone ended:" << e.text();
            break;
        }
    }
    c->session->closeStream(c->stream);
}

void pumpFromPhone(const std::shared_ptr<Connection>& c)
{
    for (;;) {
        bool ended = false;
        QByteArray data;
        try {
            data = c->session->read(c->stream, kSliceMs * 5, &ended);
        } catch (const AdbError& e) {
            if (e.code() == AdbErrorCode::Timeout)
                continue;  // a quiet phone is fine while the client stays
            break;
        }
        if (ended || !adbsock::sendAll(c->fd, data, c->session->ioTimeoutMs()))
            break;
    }
    // Wakes the other pump and tells the client the phone is done.
    c->session->closeStream(c->stream);
    ::shutdown(c->fd, SHUT_WR);
}

void serveClient(const ListenerPtr& listener, int fd)
{
    std::shared_ptr<AdbSession> session = listener->session.lock();
    if (!session) {
        ::close(fd);
        return;
    }
    auto c = std::make_shared<Connection>();
    c->session = session;
    c->listener = listener;
    c->fd = fd;
    ++listener->connections;
    try {
        c->stream = session->open(QStringLiteral("tcp:%1").arg(listener->remotePort));
    } catch (const AdbError& e) {
        qCInfo(lcAdb) << "forward to port" << listener->remotePort << "failed:" << e.text();
        c->stream = std::make_shared<AdbSession::Stream>();
        c->stream->closed = true;
        return;
    }
    adbThreadPool()->start([c] { pumpFromPhone(c); });
    pumpToPhone(c);
}

void listen(const ListenerPtr& listener, quint16 port)
{
    const int idleMs = adbSettings().forwardIdleMs;
    QElapsedTimer idle;
    idle.start();
    while (!listener->stop) {
        std::shared_ptr<AdbSession> session = listener->session.lock();
        if (!session || session->state() == AdbUSBHandle::State::Offline)
            break;
        session.reset();
        if (listener->connections > 0)
            idle.restart();
        else if (idle.hasExpired(idleMs))
            break;
        const int fd = adbsock::acceptOne(listener->fd, kSliceMs);
        if (fd > 0) {
            idle.restart();
            adbThreadPool()->start([listener, fd] { serveClient(listener, fd); });
        }
    }
    ::close(listener->fd);
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        auto it = g_listeners.find(port);
        if (it != g_listeners.end() && it->second == listener)
            g_listeners.erase(it);
    }
    std::lock_guard<std::mutex> lock(listener->mutex);
    listener->done = true;
    listener->finished.notify_all();
}

void stopAndWait(const ListenerPtr& listener)
{
    listener->stop = true;
    std::unique_lock<std::mutex> lock(listener->mutex);
    listener->finished.wait_for(lock, std::chrono::milliseconds(kSliceMs * 10), [&] { return listener->done; });
}

}  // namespace

quint16 AdbForwardServer::forward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString* error)
{
    if (error)
        error->clear();
    if (!handle) {
        if (error)
            *error = QStringLiteral("No phone was given.");
        return 0;
    }
    std::shared_ptr<AdbSession> session = handle->session();
    ListenerPtr previous;
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        auto it = localPort ? g_listeners.find(localPort) : g_listeners.end();
        if (it != g_listeners.end()) {
            if (it->second->session.lock() == session && it->second->remotePort == remotePort && !it->second->stop)
                return localPort;
            previous = it->second;
        }
    }
    if (previous)
        stopAndWait(previous);

    auto listener = std::make_shared<Listener>();
    listener->session = session;
    listener->remotePort = remotePort;
    listener->fd = adbsock::listenLoopback(localPort);
    if (listener->fd < 0) {
        if (error)
            *error = QStringLiteral("Cannot listen on 127.0.0.1:%1: %2").arg(localPort).arg(adbsock::lastError(listener->fd));
        return 0;
    }
    const quint16 port = adbsock::localPort(listener->fd);
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        g_listeners[port] = listener;
    }
    adbThreadPool()->start([listener, port] { listen(listener, port); });
    return port;
}

void AdbForwardServer::remove(quint16 localPort)
{
    ListenerPtr listener;
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        auto it = g_listeners.find(localPort);
        if (it == g_listeners.end())
            return;
        listener = it->second;
    }
    stopAndWait(listener);
}
