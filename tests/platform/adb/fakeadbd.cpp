// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakeadbd.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTemporaryFile>
#include <QTimer>

FakeAdbd::FakeAdbd(const QJsonObject& config)
{
    QTemporaryFile file;
    file.setAutoRemove(false);
    if (!file.open())
        return;
    file.write(QJsonDocument(config).toJson());
    file.close();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), {QStringLiteral(FAKEADBD_SCRIPT), file.fileName()});
    if (waitForLog(QStringLiteral("ready "), timebound::kWaitMs, true))
        m_port = m_lines.takeFirst().mid(6).toUShort();
    QFile::remove(file.fileName());
}

FakeAdbd::~FakeAdbd()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QStringList FakeAdbd::log()
{
    m_process.waitForReadyRead(0);
    m_pending += m_process.readAllStandardOutput();
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
    }
    return m_lines;
}

bool FakeAdbd::waitForLog(const QString& line, int timeoutMs, bool prefix)
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        for (const QString& l : log())
            if (prefix ? l.startsWith(line) : l == line)
                return true;
        m_process.waitForReadyRead(50);
    } while (!deadline.hasExpired() && m_process.state() == QProcess::Running);
    return false;
}

FakePhone::FakePhone(const QJsonObject& config) : sim(config)
{
    if (!sim.port())
        return;
    poll = std::make_unique<AdbEmuPoll>(50, nullptr, QStringLiteral("127.0.0.1"), sim.port(), sim.port());
    // Queued to this thread; the connection ends with the loop.
    QEventLoop loop;
    QObject::connect(poll.get(), &AbsAdbPoll::newDevice, &loop,
                     [&](const QString&, PAdbUSBHandle h) { handle = h; loop.quit(); }, Qt::QueuedConnection);
    QObject::connect(poll.get(), &AbsAdbPoll::failedDevice, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(timebound::kWaitMs, &loop, &QEventLoop::quit);
    poll->start();
    loop.exec();
}

FakePhone::~FakePhone()
{
    if (poll)
        poll->stop();
}
