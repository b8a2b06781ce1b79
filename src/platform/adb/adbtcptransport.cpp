// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbmessage.h"
#include "platform/adb/adbsocketutil_p.h"
#include "platform/adb/adbtransport.h"

#include <QHostAddress>

#include <atomic>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class TcpTransport : public AdbTransport {
public:
    TcpTransport(int fd, QString where) : m_fd(fd), m_where(std::move(where)) {}
    ~TcpTransport() override { ::close(m_fd); }

    qint64 read(char* buffer, qint64 maxLen, int timeoutMs) override
    {
        if (m_closed)
            throw AdbError(AdbErrorCode::Transport, QStringLiteral("The connection to %1 was closed.").arg(m_where));
        const qint64 n = adbsock::recvSome(m_fd, buffer, maxLen, timeoutMs);
        if (n < 0)
            throw AdbError(AdbErrorCode::Transport,
                           QStringLiteral("The connection to %1 ended: %2").arg(m_where, adbsock::lastError(n)));
        return n;
    }

    void write(const QByteArray& header, const QByteArray& payload, int timeoutMs) override
    {
        if (m_closed || !adbsock::sendAll(m_fd, header + payload, timeoutMs))
            throw AdbError(AdbErrorCode::Transport,
                           QStringLiteral("Cannot send to %1: the connection is closed or stalled.").arg(m_where));
    }

    void close() override
    {
        if (!m_closed.exchange(true))
            ::shutdown(m_fd, SHUT_RDWR);
    }

    QString describe() const override { return m_where; }

private:
    int m_fd;
    QString m_where;
    std::atomic<bool> m_closed{false};
};

}  // namespace

std::unique_ptr<AdbTransport> adbConnectTcp(const QString& host, quint16 port, int timeoutMs)
{
    const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
    const int fd = adbsock::connectTo(QHostAddress(host), port, timeoutMs);
    if (fd == -ECONNREFUSED || fd == -ETIMEDOUT || fd == -EHOSTUNREACH || fd == -ENETUNREACH)
        return nullptr;
    if (fd < 0)
        throw AdbError(AdbErrorCode::Transport,
                       QStringLiteral("Cannot connect to %1: %2").arg(where, adbsock::lastError(fd)));
    return std::make_unique<TcpTransport>(fd, where);
}
