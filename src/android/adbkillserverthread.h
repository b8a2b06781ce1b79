// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

// Keeps the ADB server port free while the program runs: once a second it
// finds the processes that listen on the port and kills them, so no other ADB
// server claims the phones beside the program's own client. Clients of the
// port and this process itself are never touched. Stopping (stop() or the
// destructor) ends the thread within one pass.
class AdbKillServerThread : public QThread {
public:
    explicit AdbKillServerThread(QObject* parent = nullptr, quint16 port = 5037);
    ~AdbKillServerThread() override;

    bool isStopped();
    // Sets the stop flag and waits until run() has returned.
    void stop();

    // The ids of the processes other than this one that listen on TCP port
    // (Linux: /proc; elsewhere: lsof). Empty when none or when they cannot be
    // found out.
    static QList<qint64> listeningProcesses(quint16 port);

protected:
    void run() override;

private:
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stopped = false;
    const quint16 m_port;
};
