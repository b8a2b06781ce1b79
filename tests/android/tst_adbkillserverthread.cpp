// SPDX-License-Identifier: GPL-3.0-or-later
// The guard on a private port: a listening process dies, a client of the port
// and the test process itself (also listening there) live on.
#include "android/adbkillserverthread.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

namespace {

// A python3 child that listens (or connects) on port and then sleeps.
bool startPeer(QProcess& p, const QString& role, quint16 port)
{
    const QString code = QStringLiteral(
        "import socket,sys,time\n"
        "s=socket.socket()\n"
        "if sys.argv[1]=='listen':\n"
        "    s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1);s.bind(('127.0.0.1',int(sys.argv[2])));s.listen(1)\n"
        "else:\n"
        "    s.connect(('127.0.0.1',int(sys.argv[2])))\n"
        "print('up',flush=True)\n"
        "time.sleep(60)\n");
    p.start(QStringLiteral("python3"), {QStringLiteral("-c"), code, role, QString::number(port)});
    return p.waitForReadyRead(5000) && p.readAll().startsWith("up");
}

}  // namespace

class TestAdbKillServerThread : public QObject {
    Q_OBJECT

private slots:
    void killsListenersOnlyAndSparesItself()
    {
        QTcpServer reserve;  // a free port for the peer
        QVERIFY(reserve.listen(QHostAddress::LocalHost));
        const quint16 port = reserve.serverPort();
        reserve.close();

        QProcess server, client;
        QVERIFY(startPeer(server, "listen", port));
        QVERIFY(startPeer(client, "connect", port));
        QCOMPARE(AdbKillServerThread::listeningProcesses(port), QList<qint64>{server.processId()});

        AdbKillServerThread guard(nullptr, port);
        guard.start();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.exitStatus(), QProcess::CrashExit);

        QTcpServer self;  // the test process listening on the guarded port
        QVERIFY(self.listen(QHostAddress::LocalHost, port));
        QTest::qWait(1500);
        QCOMPARE(client.state(), QProcess::Running);
        QVERIFY(self.isListening());
        QVERIFY(AdbKillServerThread::listeningProcesses(port).isEmpty());

        QElapsedTimer timer;
        timer.start();
        guard.stop();
        QVERIFY(guard.isStopped() && guard.isFinished());
        QVERIFY(timer.elapsed() < 500);
        client.kill();
        client.waitForFinished(2000);
    }
};

QTEST_GUILESS_MAIN(TestAdbKillServerThread)
#include "tst_adbkillserverthread.moc"
