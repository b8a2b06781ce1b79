// SPDX-License-Identifier: GPL-3.0-or-later
// The guard on a private port: a listening ADB server dies; a listener of
// another name, a client of the port and the test process itself (also
// listening there) live on.
#include "android/adbkillserverthread.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A python3 child that listens (or connects) on port and then lives until
// its input closes, however long the test waits for it;
// started as `program` (python3 itself, a link or a copy of it), and with
// `command` as its command name when given.
bool startPeer(QProcess& p, const QString& role, quint16 port, const QString& program = QStringLiteral("python3"),
               const QString& command = QString())
{
    const QString code = QStringLiteral(
        "import socket,sys\n"
        "if sys.argv[3]: open('/proc/self/comm','w').write(sys.argv[3])\n"
        "s=socket.socket()\n"
        "if sys.argv[1]=='listen':\n"
        "    s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1);s.bind(('127.0.0.1',int(sys.argv[2])));s.listen(1)\n"
        "else:\n"
        "    s.connect(('127.0.0.1',int(sys.argv[2])))\n"
        "print('up',flush=True)\n"
        "sys.stdin.read()\n");
    p.start(program, {QStringLiteral("-c"), code, role, QString::number(port), command});
    return p.waitForReadyRead(timebound::kWaitMs) && p.readAll().startsWith("up");
}

// The interpreter behind python3 (which may be a launcher script), under
// `name` in dir: as a symbolic link, or as a copy when `copy`.
QString python3As(const QTemporaryDir& dir, const QString& name, bool copy)
{
    QProcess ask;
    ask.start(QStringLiteral("python3"), {QStringLiteral("-c"),
                                          QStringLiteral("import os,sys;print(os.path.realpath(sys.executable))")});
    if (!ask.waitForFinished(timebound::kWaitMs))
        return QString();
    const QString real = QString::fromLocal8Bit(ask.readAllStandardOutput()).trimmed();
    const QString path = dir.filePath(name);
    if (!(copy ? QFile::copy(real, path) : QFile::link(real, path)))
        return QString();
    QFile::setPermissions(path, QFile::permissions(real) | QFile::ExeOwner);
    return path;
}

quint16 freePort()
{
    QTcpServer reserve;
    return reserve.listen(QHostAddress::LocalHost) ? reserve.serverPort() : 0;
}

}  // namespace

class TestAdbKillServerThread : public QObject {
    Q_OBJECT

private slots:
    void killsListenersOnlyAndSparesItself()
    {
        const quint16 port = freePort();
        QVERIFY(port);
        QTemporaryDir dir;
        const QString adb = python3As(dir, QStringLiteral("adb"), false);
        QVERIFY(!adb.isEmpty());

        QProcess server, client;
        QVERIFY(startPeer(server, "listen", port, adb));
        QVERIFY(startPeer(client, "connect", port));
        QCOMPARE(AdbKillServerThread::listeningProcesses(port), QList<qint64>{server.processId()});

        AdbKillServerThread guard(nullptr, port);
        guard.start();
        QVERIFY(server.waitForFinished(timebound::kWaitMs));
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
        QVERIFY(timer.elapsed() < timebound::kFreezeMs);
        client.kill();
        client.waitForFinished(2000);
    }

    // Which listeners on the port are taken for an ADB server.
    void killsOnlyAdbServers_data()
    {
        QTest::addColumn<QString>("name");     // the program's name on disk; empty: python3 itself
        QTest::addColumn<bool>("copy");        // a copy of the interpreter rather than a link to it
        QTest::addColumn<QString>("command");  // the command name it gives itself; empty: keep
        QTest::addColumn<bool>("killed");
        QTest::newRow("plain python3 listener") << QString() << false << QString() << false;
        QTest::newRow("started through a link named adb") << "adb" << false << QString() << true;
        QTest::newRow("executable named adb, command renamed") << "adb" << true << "worker" << true;
        QTest::newRow("command renamed to adb") << QString() << false << "adb" << true;
        QTest::newRow("command adbd is no adb") << QString() << false << "adbd" << false;
        QTest::newRow("executable adb-helper is no adb") << "adb-helper" << true << QString() << false;
    }

    void killsOnlyAdbServers()
    {
        QFETCH(QString, name);
        QFETCH(bool, copy);
        QFETCH(QString, command);
        QFETCH(bool, killed);
        const quint16 port = freePort();
        QVERIFY(port);
        QTemporaryDir dir;
        const QString program = name.isEmpty() ? QStringLiteral("python3") : python3As(dir, name, copy);
        QVERIFY(!program.isEmpty());

        QProcess server;
        QVERIFY(startPeer(server, "listen", port, program, command));
        const QList<AdbKillServerThread::PortHolder> holders = AdbKillServerThread::portHolders(port);
        QCOMPARE(holders.size(), 1);
        QCOMPARE(holders.constFirst().isAdbServer, killed);
        QVERIFY(!holders.constFirst().name.isEmpty());

        AdbKillServerThread guard(nullptr, port);
        guard.start();
        // A listener spared stays through two passes of the guard.
        QCOMPARE(server.waitForFinished(killed ? timebound::kWaitMs : 2500), killed);
        guard.stop();
        if (!killed) {
            server.kill();
            server.waitForFinished(2000);
        }
    }
};

QTEST_GUILESS_MAIN(TestAdbKillServerThread)
#include "tst_adbkillserverthread.moc"
