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

// Names a process by its executable (what actually runs, whatever it was
// called) and by its command name (what it was started as: a link named adb
// to the real binary); an ADB server shows "adb" in one of them. Another
// user's process hides its executable but not its command name.
AdbKillServerThread::PortHolder describe(qint64 pid)
{
    AdbKillServerThread::PortHolder holder;
    holder.pid = pid;
    QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)).section(QLatin1Char('/'), -1);
    if (exe.endsWith(QLatin1String(" (deleted)")))
        exe.chop(10);
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString command =
        comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readLine(64)).trimmed() : QString();
    holder.isAdbServer = exe == QLatin1String("adb") || command == QLatin1String("adb");
    holder.name = command.isEmpty() || command == exe ? exe
                  : exe.isEmpty()                     ? command
                                                      : QStringLiteral("%1 (%2)").arg(command, exe);
    return holder;
}
#else
// lsof's field output: "p<pid>" starts a process, "c<command>" names it.
QList<AdbKillServerThread::PortHolder> lsofHolders(quint16 port)
{
    QList<AdbKillServerThread::PortHolder> holders;
    QProcess lsof;
    lsof.start(QStringLiteral("lsof"), {QStringLiteral("-Fpc"), QStringLiteral("-iTCP:%1").arg(port),
                                        QStringLiteral("-sTCP:LISTEN")});
    if (!lsof.waitForFinished(5000)) {
        lsof.kill();
        lsof.waitForFinished(1000);
        return holders;
    }
    const qint64 self = QCoreApplication::applicationPid();
    for (const QByteArray& line : lsof.readAllStandardOutput().split('\n')) {
        if (line.startsWith('p')) {
            bool numeric = false;
            const qint64 pid = line.mid(1).toLongLong(&numeric);
            if (numeric && pid > 0 && pid != self)
                holders.append({pid, QString(), false});
        } else if (line.startsWith('c') && !holders.isEmpty() && holders.constLast().name.isEmpty()) {
            holders.last().name = QString::fromLocal8Bit(line.mid(1));
            holders.last().isAdbServer = holders.constLast().name == QLatin1String("adb");
        }
    }
    return holders;
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
    QList<qint64> pids;
    for (const PortHolder& holder : portHolders(port))
        pids.append(holder.pid);
    return pids;
}

QList<AdbKillServerThread::PortHolder> AdbKillServerThread::portHolders(quint16 port)
{
#ifdef Q_OS_LINUX
    QList<PortHolder> holders;
    const QSet<QByteArray> inodes = listeningInodes(port);
    if (!inodes.isEmpty())
        for (qint64 pid : processesHolding(inodes))
            holders.append(describe(pid));
    return holders;
#else
    return lsofHolders(port);
#endif
}

void AdbKillServerThread::run()
{
    QSet<qint64> spared;  // each told once, not once a second
    while (!isStopped()) {
        for (const PortHolder& holder : portHolders(m_port)) {
            if (!holder.isAdbServer) {
                if (!spared.contains(holder.pid))
                    qCInfo(lcPortGuard).noquote() << QStringLiteral("leaving %1, pid %2, on port %3 alone: no ADB server")
                                                         .arg(holder.name).arg(holder.pid).arg(m_port);
                spared.insert(holder.pid);
                continue;
            }
            qCInfo(lcPortGuard).noquote() << QStringLiteral("stopping ADB server %1, pid %2, which listens on port %3")
                                                 .arg(holder.name).arg(holder.pid).arg(m_port);
            // A direct signal: no shell and no helper process.
            ::kill(static_cast<pid_t>(holder.pid), SIGKILL);
        }
        QMutexLocker lock(&m_mutex);
        if (!m_stopped)
            m_wake.wait(&m_mutex, kPassIntervalMs);
    }
}
