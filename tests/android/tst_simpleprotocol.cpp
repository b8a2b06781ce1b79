// SPDX-License-Identifier: GPL-3.0-or-later
// The line layer against a scripted peer on loopback, and the simulated
// companion app's conversations driven by the line layer and record codec.
#include "android/simpleprotocol.h"
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "companionsim.h"
#include "model/contact.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace simpleprotocol;

namespace {

QString b64(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}
QJsonObject text(const QString& t)
{
    return { { "text", t } };
}

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

// A phone in the given mode, and a socket connected to it.
struct Peer {
    Peer(const QJsonObject& scenario, const QString& mode)
    {
        sim.connect(socket, sim.start(scenario, { mode })[0]);
    }
    explicit Peer(const QString& script)
        : Peer(QJsonObject { { "script", script } }, "raw")
    {
    }
    QString received()
    {
        socket.disconnectFromHost();
        QString all;
        for (const QJsonValue& chunk : sim.dump(1)["received"].toArray())
            all += chunk.toString();
        return all;
    }
    CompanionSim sim;
    QTcpSocket socket;
};

// Ann Lee with a mobile number, and Bob.
const QJsonObject kPhone { { "device", "Pixel Ä" },
    { "contacts",
        QJsonArray {
            QJsonArray {
                QJsonObject { { "type", 1 }, { "fields", QJsonArray { "", text("Ann"), "", text("Lee") } } },
                QJsonObject { { "type", 3 }, { "fields", QJsonArray { "mobile", "", text("+1 555") } } } },
            QJsonArray { QJsonObject { { "type", 1 }, { "fields", QJsonArray { "", text("Bob") } } } } } } };

// The phone-to-computer conversation as the reading thread holds it; the
// result lists the device, version, count and each record's id and "data1".
QString readBackup(QTcpSocket& socket, int timeout)
{
    QStringList seen;
    for (QString line; !(line = readCommand(socket, timeout)).startsWith(kBye);) {
        if (line.startsWith(kDevice))
            seen << SyncContactParser::fromStrBase64(line.mid(kDevice.size()));
        else if (line.startsWith(kVersion) || line.startsWith(kCount))
            seen << line;
        else if (line.startsWith(kEnd))
            sendCommand(socket, kBatch, QString(), true, timeout);
        else if (line.startsWith(kEnt)) {
            const QStringList fields = line.mid(kEnt.size()).split(',');
            int type = 0;
            if (!SyncContactBuilder::fetchIdInfo(fields[0], &type, nullptr, nullptr, nullptr))
                return "Invalid:" + line;
            pim::Entity entity(0, fields[0]);
            SyncContactParser::fillEntityInfo(fields, type, entity);
            seen << fields[0] + "=" + entity.fields["data1"].toString();
        }
    }
    return seen.join(' ');
}

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

    void shouldRefuseUnexpectedFeedbackAndTellThePeer()
    {
        Peer peer("$batch:1/2/3/-4=>1/9/9/9%0A$bye:%0A");
        QCOMPARE(readFeedback(peer.socket, kBatch, 2000), QString("$batch:1/2/3/-4=>1/9/9/9"));
        QVERIFY_THROWS_EXCEPTION(LocalException, readFeedback(peer.socket, kBatch, 2000));
        QCOMPARE(peer.received(), "$error:" + b64("invalid feedback [$bye:], must be [$batch:]") + "\n");
    }

    void shouldHoldRecordLinesUntilAFlush()
    {
        Peer peer("");
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
        Peer peer("~5000");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(
            outcomeOf([&] { return readLine(peer.socket, 10000, [&] { return clock.elapsed() > 200; }); }),
            "failed: Cancelled by the user.");
        QVERIFY(clock.elapsed() < 2000);
    }

    void shouldMoveStreamsOfBlocks()
    {
        Peer peer("$block:0%0A$block:-3%0A$block:abc%0A$block:5%0Ahello$block:3%0Aabc$end:%0A");
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

    void shouldHoldABackupConversation_data()
    {
        QTest::addColumn<QJsonObject>("faults");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << QJsonObject {}
                               << "Pixel Ä $version:2 $count:2 1/101/5101/1001=Ann Lee 3/101/5101/1002=+1 "
                                  "555 1/102/5102/1003=Bob";
        QTest::newRow("$error: at line 2")
            << QJsonObject { { "2", "error:Kontakte gesperrt" } } << "remote: Kontakte gesperrt";
        QTest::newRow("hang-up mid-batch") << QJsonObject { { "6", "close" } }
                                           << "failed: Lost the connection to the phone at 127.0.0.1:PORT";
        QTest::newRow("stall") << QJsonObject { { "3", "stall" } }
                               << "failed: The phone at 127.0.0.1:PORT sent nothing for 0.5 seconds";
        QTest::newRow("65 MiB without a line feed")
            << QJsonObject { { "4", "long:65" } } << "failed: The phone at 127.0.0.1:PORT sent a line longer";
    }
    void shouldHoldABackupConversation()
    {
        QFETCH(QJsonObject, faults);
        QFETCH(QString, expected);
        QJsonObject scenario = kPhone;
        scenario.insert("faults", faults);
        scenario.insert("batchSize", 1);
        Peer peer(scenario, "backup");
        const QString got = outcomeOf([&] { return readBackup(peer.socket, 500); });
        QVERIFY2(got.startsWith(expected), qPrintable(got));
        if (faults.isEmpty()) // one "$batch:" answer per batch
            QCOMPARE(peer.received(), QString("$batch:\n$batch:\n"));
    }

    void shouldAnswerARestoreWithIdPairs()
    {
        Peer peer(kPhone, "restore");
        pim::Entity carol(301, QString()), phone(88, QString());
        carol.fields["data2"] = "Carol";
        sendCommand(peer.socket, kBatch, QString(), true, 5000);
        sendCommand(peer.socket, kEnt, SyncContactBuilder::entitySyncCmd(1, 57, 57, carol), false, 5000);
        sendCommand(peer.socket, kEnt, SyncContactBuilder::entitySyncCmd(3, 101, 5101, phone), false, 5000);
        sendCommand(peer.socket, kDel, "3/101/5101/1002", false, 5000);
        sendCommand(peer.socket, kDel, "1/102/5102/1003", false, 5000);
        sendCommand(peer.socket, kEnd, QString(), true, 5000);
        const auto pairs = SyncContactParser::batchReplyPairs(readFeedback(peer.socket, kBatch, 5000));
        QCOMPARE(pairs.size(), 2);
        QVERIFY(pairs[0].recordKey == 301 && pairs[0].newId == "1/103/5103/1004");
        QVERIFY(pairs[1].recordKey == 88 && pairs[1].newId == "3/101/5101/1005");
        peer.socket.disconnectFromHost();
        QStringList ids;
        for (const QJsonValue& c : peer.sim.dump()["contacts"].toArray())
            for (const QJsonValue& r : c["records"].toArray())
                ids << r["id"].toString();
        QCOMPARE(ids, (QStringList { "1/101/5101/1001", "3/101/5101/1005", "1/103/5103/1004" }));
    }

    void shouldStartServicesOverTheWifiHandshake()
    {
        CompanionSim sim("127.0.0.37");
        sim.start({ { "deviceId", "sim-7" } }, { "wifi" });
        QTcpSocket hello, request, service;
        sim.connect(hello, kWifiServicePort);
        sendCommand(hello, kHello, "//127.0.0.1", true, 5000);
        QCOMPARE(readCommand(hello, 5000), QString("hello:sim-7"));
        QTcpServer probe; // a port free on this address
        QVERIFY(probe.listen(QHostAddress(sim.address())));
        const quint16 port = probe.serverPort();
        probe.close();
        sim.connect(request, kWifiServicePort);
        sendCommand(request, kRestore, QString("//127.0.0.1:%1/").arg(port), true, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(
            (service.abort(), service.connectToHost(sim.address(), port), service.waitForConnected(200)),
            3000);
        sendCommand(service, kEnd, QString(), true, 5000);
        QCOMPARE(readCommand(service, 5000), QString("$batch:"));
    }
};

QTEST_GUILESS_MAIN(TestSimpleProtocol)
#include "tst_simpleprotocol.moc"
