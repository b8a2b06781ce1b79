// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/adbkillserverthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSet>

#include <csignal>
#include <sys/types.h>

Q_LOGGING_CATEGORY(lcPortGuard, "app.android")

namespace {

constexpr int kPassIntervalMs = 1000;

#ifdef Q_OS_LINUX
// Socket inodes in LISTEN state (st 0A) on the port, from /proc/net/tcp{,6}.
QSet<QByteArray> listeningInodes(quint16 port)
{
    QSet<QByteArray> inodes;
    const QByteArray portHex = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine(4096);  // heading
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine(4096).simplified().split(' ');
            if (fields.size() < 10 || fields.at(3) != "0A")
                continue;
            if (fields.at(1).mid(fields.at(1).lastIndexOf(':') + 1).toUpper() == portHex)
                inodes.insert(fields.at(9));
        }
    }
    return inodes;
}

QList<qint64> processesHolding(const QSet<QByteArray>& inodes)
{
    QList<qint64> pids;
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        const QDir fdDir(QStringLiteral("/proc/%1/fd").arg(entry));
        // Other users' processes are unreadable, and out of our reach anyway.
        for (const QFileInfo& fd : fdDir.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = fd.symLinkTarget().section(QLatin1Char('/'), -1);
            if (target.startsWith(QLatin1String("socket:["))
                && inodes.contains(target.mid(8).chopped(1).toLatin1())) {
                pids.append(pid);
                break;
            }
        }
    }
    return pids;
}
#endif

}  // namespace

AdbKillServerThread::AdbKillServerThread(QObject* parent, quint16 port) : QThread(parent), m_port(port)
{
}

AdbKillServerThread::~AdbKillServerThread()
{
    stop();
}

bool AdbKillServerThread::isStopped()
{
    QMutexLocker lock(&m_mutex);
    return m_stopped;
}

void AdbKillServerThread::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stopped = true;
        m_wake.wakeAll();
    }
    wait();
}

QList<qint64> AdbKillServerThread::listeningProcesses(quint16 port)
{
#ifdef Q_OS_LINUX
    const QSet<QByteArray> inodes = listeningInodes(port);
    return inodes.isEmpty() ? QList<qint64>() : processesHolding(inodes);
#else
    QProcess lsof;
    lsof.start(QStringLiteral("lsof"),
               {QStringLiteral("-t"), QStringLiteral("-iTCP:%1").arg(port), QStringLiteral("-sTCP:LISTEN")});
    QList<qint64> pids;
    if (!lsof.waitForFinished(5000)) {
        lsof.kill();
        lsof.waitForFinished(1000);
        return pids;
    }
    const qint64 self = QCoreApplication::applicationPid();
    for (const QByteArray& line : lsof.readAllStandardOutput().split('\n')) {
        bool numeric = false;
        const qint64 pid = line.trimmed().toLongLong(&numeric);
        if (numeric && pid > 0 && pid != self && !pids.contains(pid))
            pids.append(pid);
    }
    return pids;
#endif
}

void AdbKillServerThread::run()
{
    while (!isStopped()) {
        for (qint64 pid : listeningProcesses(m_port)) {
            qCInfo(lcPortGuard) << "stopping process" << pid << "which listens on port" << m_port;
            // A direct signal: no shell and no helper process.
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
        QMutexLocker lock(&m_mutex);
        if (!m_stopped)
            m_wake.wait(&m_mutex, kPassIntervalMs);
    }
}
