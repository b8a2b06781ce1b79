// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

// Keeps the ADB server port free while the program runs: once a second it
// finds the ADB servers that listen on the port and kills them, so no other
// ADB server claims the phones beside the program's own client. Only a
// process whose executable or command name is "adb" is killed, each kill
// logged with its name; any other listener, the port's clients and this
// process itself are never touched. Stopping (stop() or the destructor) ends
// the thread within one pass.
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

    // One process that listens on the port: its command name (else its
    // executable's; "" when neither can be read) and whether it is an ADB
    // server by either.
    struct PortHolder {
        qint64 pid = 0;
        QString name;
        bool isAdbServer = false;
    };
    static QList<PortHolder> portHolders(quint16 port);

protected:
    void run() override;

private:
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stopped = false;
    const quint16 m_port;
};
