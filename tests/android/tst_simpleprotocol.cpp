// SPDX-License-Identifier: GPL-3.0-or-later
// The line layer against a scripted peer on loopback: reading, flushing,
// cancelling and refused feedback.
#include "android/simpleprotocol.h"
#include "companionsim.h"
#include "support/timebounds.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

using namespace simpleprotocol;

namespace {

// What a call did: its result, or its failure's text with the port elided.
QString outcomeOf(const std::function<QString()>& call)
{
    try {
        return call();
    } catch (const std::exception& e) {
        const bool remote = dynamic_cast<const RemoteException*>(&e);
        return (remote ? "remote: " : "failed: ")
            + QString::fromUtf8(e.what()).replace(QRegularExpression(":[0-9]+\\b"), ":PORT");
    }
}

// A scripted peer, and a socket connected to it.
struct Peer {
    explicit Peer(const QString& script)
    {
        const quint16 port = sim.start(QJsonObject { { "script", script } }, { "raw" }).value(0);
        socket.connectToHost(sim.address(), port);
        socket.waitForConnected(5000);
    }
    QString received()
    {
        socket.disconnectFromHost();
        QString all;
        for (const QJsonValue& chunk : sim.dump(1)["received"].toArray())
            all += chunk.toString();
        return all;
    }
    CompanionSim sim { CompanionSim::kLocalHost }; // the golden texts name it
    QTcpSocket socket;
};

} // namespace

class TestSimpleProtocol : public QObject {
    Q_OBJECT
private slots:
    void shouldReadCommandsAsTheyArrive_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        for (const QStringList& row : goldenTable("lines.txt"))
            QTest::newRow(qPrintable(row[0])) << row[1] << row[2];
    }
    void shouldReadCommandsAsTheyArrive()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        Peer peer(script);
        QStringList got;
        for (qsizetype i = expected.count(" ; "); i >= 0; --i)
            got << outcomeOf([&] { return readCommand(peer.socket, 2000); });
        QCOMPARE(got.join(" ; "), expected);
    }

    void shouldHoldRecordLinesUntilAFlush()
    {
        Peer peer("");
        sendCommand(peer.socket, kEnt, "1/2/3/-4,Zm9v", false, 2000);
        QVERIFY(peer.socket.bytesToWrite() > 0);
        sendCommand(peer.socket, kDevice, "Gerät", false, 2000);
        sendCommand(peer.socket, kEnd, QString(), true, 2000);
        QCOMPARE(peer.socket.bytesToWrite(), 0);
        QCOMPARE(peer.received(), QString("$ent:1/2/3/-4,Zm9v\n$device:Ger\u00c3\u00a4t\n$end:\n"));
    }

    void shouldLeaveAWaitWhenCancelled()
    {
        Peer peer("~5000");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(
            outcomeOf([&] { return readLine(peer.socket, 10000, [&] { return clock.elapsed() > 200; }); }),
            "failed: Cancelled by the user.");
        QVERIFY(clock.elapsed() < 200 + timebound::kFreezeMs); // not the read's ten seconds
    }

    // A stream of blocks from the peer: empty and unreadable sizes are passed
    // over, and any other line is refused and the peer told so.
    void shouldReceiveAStreamOfBlocks_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("outcome"); // what the target holds, or the failure
        QTest::addColumn<QString>("told"); // what the peer received
        QTest::newRow("blocks and the end") << "$block:3%0Aabc$block:0%0A$block:x%0A$block:-2%0A$block:2%0Ade$end:%0A"
                                            << "abcde" << "";
        QTest::newRow("another line") << "$block:1%0Aa$bye:%0A"
                                      << "failed: readStreamContent: invalid feedback [$bye:], must be [$block:], [$end:]"
                                      << "$error:" + QString::fromLatin1(QByteArray("readStreamContent: invalid feedback "
                                                                                    "[$bye:], must be [$block:], [$end:]")
                                                                             .toBase64())
                + "\n";
        QTest::newRow("block cut short") << "$block:5%0Aab !close" << "failed: Lost the connection" << "";
    }
    void shouldReceiveAStreamOfBlocks()
    {
        QFETCH(QString, script);
        QFETCH(QString, outcome);
        QFETCH(QString, told);
        Peer peer(script);
        QBuffer target;
        target.open(QIODevice::WriteOnly);
        const QString got = outcomeOf([&] {
            readStreamContent(peer.socket, target, 2000);
            return QString::fromLatin1(target.data());
        });
        QVERIFY2(got.startsWith(outcome), qPrintable(got));
        QCOMPARE(peer.received(), told);
    }

    void shouldSendAStreamOfBlocks()
    {
        Peer peer("");
        QByteArray bytes(int(kStreamBlockSize) + 5712, 'x');
        QBuffer source(&bytes);
        source.open(QIODevice::ReadOnly);
        sendStreamContent(peer.socket, source, true, 2000);
        QCOMPARE(peer.socket.bytesToWrite(), 0);
        const QString expected = QString("$block:%1\n").arg(kStreamBlockSize) + QString(int(kStreamBlockSize), 'x')
            + "$block:5712\n" + QString(5712, 'x') + "$end:\n";
        QVERIFY(peer.received() == expected);
    }

    // An answer of the wrong kind is refused, and the peer told why.
    void shouldRefuseFeedbackOfAnotherKind()
    {
        Peer peer("$batch:1%0A$bye:%0A");
        QCOMPARE(outcomeOf([&] { return readFeedback(peer.socket, kBatch, 2000); }), QString("$batch:1"));
        QCOMPARE(outcomeOf([&] { return readFeedback(peer.socket, kBatch, 2000); }),
            QString("failed: invalid feedback [$bye:], must be [$batch:]"));
        QCOMPARE(peer.received(),
            "$error:" + QString::fromLatin1(QByteArray("invalid feedback [$bye:], must be [$batch:]").toBase64()) + "\n");
    }
};

QTEST_GUILESS_MAIN(TestSimpleProtocol)
#include "tst_simpleprotocol.moc"
