// SPDX-License-Identifier: GPL-3.0-or-later
// The line layer against a scripted peer on loopback.
#include "android/simpleprotocol.h"
#include "companionsim.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpSocket>
#include <QtTest>

using namespace simpleprotocol;

namespace {

QJsonArray send(const QString& bytes) { return { QStringLiteral("send"), bytes }; }
QJsonArray pause(int ms) { return { QStringLiteral("sleep"), ms }; }
QString b64(const QString& text) { return QString::fromLatin1(text.toUtf8().toBase64()); }

// A socket connected to a peer that plays the script, then records all it
// receives until the socket hangs up.
struct Peer {
    explicit Peer(const QJsonArray& script)
    {
        sim.connect(socket, sim.start({ { QStringLiteral("script"), script } }, { QStringLiteral("raw") }).value(0));
    }
    QString received()
    {
        socket.disconnectFromHost();
        QString all;
        for (const QJsonValue& chunk : sim.dump().value(QStringLiteral("received")).toArray())
            all += chunk.toString();
        return all;
    }
    CompanionSim sim;
    QTcpSocket socket;
};

} // namespace

class TestSimpleProtocol : public QObject {
    Q_OBJECT
private slots:
    void shouldReadCommandsAsTheyArrive_data()
    {
        QTest::addColumn<QJsonArray>("script");
        QTest::addColumn<QStringList>("expected"); // one readCommand each; "*" = any text
        QTest::newRow("carriage returns dropped anywhere") << QJsonArray{ send("$ent:a\rb\r\n") } << QStringList{ "$ent:ab" };
        QTest::newRow("bytes read as Latin-1, not UTF-8")
            << QJsonArray{ send("$device:\u00c3\u00a9\n") } << QStringList{ "$device:\u00c3\u00a9" };
        QTest::newRow("line feed alone") << QJsonArray{ send("\n") } << QStringList{ "transfer: Null command." };
        QTest::newRow("CR LF alone") << QJsonArray{ send("\r\n") } << QStringList{ "transfer: Null command." };
        QTest::newRow("$error: raises the app's text")
            << QJsonArray{ send("$error:" + b64("Speicher voll: Gerät") + "\n") }
            << QStringList{ "remote: Speicher voll: Gerät" };
        QTest::newRow("$error: text cut at NUL, junk skipped")
            << QJsonArray{ send("$error:YW*JjAGRlZg==\n") } << QStringList{ "remote: abc" };
        QTest::newRow("$ERROR: is an ordinary line") << QJsonArray{ send("$ERROR:eA==\n") } << QStringList{ "$ERROR:eA==" };
        QTest::newRow("one line split across many reads")
            << QJsonArray{ send("$ent:a"), pause(40), send("b"), pause(40), send("c\r"), pause(40), send("\n$bye:\n") }
            << QStringList{ "$ent:abc", "$bye:" };
        QTest::newRow("several lines in one read")
            << QJsonArray{ send("$count:3\n$batch:\n$end:\n") } << QStringList{ "$count:3", "$batch:", "$end:" };
        QTest::newRow("hang-up in the middle of a line")
            << QJsonArray{ send("$ent:abc"), QJsonArray{ "close" } }
            << QStringList{ "transfer: Lost the connection to the phone at 127.0.0.1:*: The remote host closed *" };
        QTest::newRow("stalled peer")
            << QJsonArray{ send("$ent:ab"), pause(5000) }
            << QStringList{ "transfer: The phone at 127.0.0.1:* sent nothing for 1 seconds, so the transfer was stopped.*" };
    }
    void shouldReadCommandsAsTheyArrive()
    {
        QFETCH(QJsonArray, script);
        QFETCH(QStringList, expected);
        Peer peer(script);
        for (const QString& pattern : expected) {
            const QString got = outcomeOf([&] { return readCommand(peer.socket, 1000); });
            QVERIFY2(matchesWildcard(got, pattern), qPrintable(got));
        }
    }

    void shouldRefuseUnexpectedFeedbackAndTellThePeer()
    {
        Peer peer(QJsonArray{ send("$batch:1/2/3/-4=>1/9/9/9\n$bye:\n") });
        QCOMPARE(readFeedback(peer.socket, kBatch, 2000), QString("$batch:1/2/3/-4=>1/9/9/9"));
        QVERIFY_THROWS_EXCEPTION(LocalException, readFeedback(peer.socket, kBatch, 2000));
        QCOMPARE(peer.received(), "$error:" + b64("invalid feedback [$bye:], must be [$batch:]") + "\n");
    }

    void shouldHoldRecordLinesUntilAFlush()
    {
        Peer peer({});
        sendCommand(peer.socket, kEnt, "1/2/3/-4,Zm9v", false, 2000);
        QVERIFY(peer.socket.bytesToWrite() > 0);
        sendBytes(peer.socket, "x", 0, true, 2000); // an empty send flushes nothing
        QVERIFY(peer.socket.bytesToWrite() > 0);
        sendCommand(peer.socket, kDevice, "Gerät", false, 2000);
        sendCommand(peer.socket, kEnd, QString(), true, 2000);
        QCOMPARE(peer.socket.bytesToWrite(), 0);
        QCOMPARE(peer.received(), QString("$ent:1/2/3/-4,Zm9v\n$device:Ger\u00c3\u00a4t\n$end:\n"));
    }

    void shouldLeaveAWaitWhenCancelled()
    {
        Peer peer(QJsonArray{ pause(5000) });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(outcomeOf([&] { return readLine(peer.socket, 10000, [&] { return clock.elapsed() > 200; }); }),
                 "cancelled");
        QVERIFY(clock.elapsed() < 2000);
    }

    void shouldMoveStreamsOfBlocks()
    {
        Peer peer(QJsonArray{ send("$block:0\n$block:-3\n$block:abc\n$block:5\nhello$block:3\nabc$end:\n") });
        QBuffer target;
        target.open(QIODevice::WriteOnly);
        readStreamContent(peer.socket, target, 2000);
        QCOMPARE(target.data(), QByteArray("helloabc"));
        QBuffer source;
        source.setData("0123456789");
        source.open(QIODevice::ReadOnly);
        sendStreamContent(peer.socket, source, true, 2000);
        QCOMPARE(peer.received(), QString("$block:10\n0123456789$end:\n"));
    }
};

QTEST_GUILESS_MAIN(TestSimpleProtocol)
#include "tst_simpleprotocol.moc"
