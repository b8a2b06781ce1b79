// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated companion app's conversations, driven by the real line layer
// and record codec as the sync threads drive them.
#include "android/simpleprotocol.h"
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "companionsim.h"
#include "model/contact.h"

#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace simpleprotocol;

namespace {

QJsonObject text(const QString& t) { return { { "text", t } }; }

// Two contacts: Ann Lee with a mobile number, and Bob.
const QJsonObject kPhone{
    { "device", "Pixel Ä" },
    { "contacts", QJsonArray{ QJsonArray{ QJsonObject{ { "type", 1 }, { "fields", QJsonArray{ "", text("Ann"), "", text("Lee"), "" } } },
                                          QJsonObject{ { "type", 3 }, { "fields", QJsonArray{ "mobile", "", text("+1 555") } } } },
                              QJsonArray{ QJsonObject{ { "type", 1 }, { "fields", QJsonArray{ "", text("Bob") } } } } } } };

struct Backup {
    QString device;
    int version = 0, count = -1;
    QList<pim::Entity> records;
};

// The phone-to-computer conversation, answering every batch.
Backup readBackup(QTcpSocket& socket, int timeout)
{
    Backup b;
    for (QString line; !(line = readCommand(socket, timeout)).startsWith(kBye);) {
        if (line.startsWith(kDevice))
            b.device = SyncContactParser::fromStrBase64(line.mid(kDevice.size()));
        else if (line.startsWith(kVersion))
            b.version = line.mid(kVersion.size()).toInt();
        else if (line.startsWith(kCount))
            b.count = line.mid(kCount.size()).toInt();
        else if (line.startsWith(kEnd))
            sendCommand(socket, kBatch, QString(), true, timeout);
        else if (line.startsWith(kEnt)) {
            const QStringList fields = line.mid(kEnt.size()).split(',');
            int type = 0;
            if (!SyncContactBuilder::fetchIdInfo(fields[0], &type, nullptr, nullptr, nullptr))
                throw std::runtime_error("Invalid:" + line.toStdString());
            b.records.append(pim::Entity(0, fields[0]));
            SyncContactParser::fillEntityInfo(fields, type, b.records.last());
        }
    }
    return b;
}

} // namespace

class TestCompanionSim : public QObject {
    Q_OBJECT
private slots:
    void shouldServeABackupInBatches()
    {
        CompanionSim sim;
        QJsonObject scenario = kPhone;
        scenario.insert("batchSize", 1);
        QTcpSocket socket;
        sim.connect(socket, sim.start(scenario, { "backup" }).value(0));
        const Backup b = readBackup(socket, 5000);
        QCOMPARE(b.device, QString("Pixel Ä"));
        QCOMPARE(b.version, 2);
        QCOMPARE(b.count, 2);
        QCOMPARE(b.records.size(), 3);
        QCOMPARE(b.records[0].srcId, QString("1/101/5101/1001"));
        QCOMPARE(b.records[0].fields.value("data1"), QVariant("Ann Lee"));
        QCOMPARE(b.records[1].fields.value("data1"), QVariant("+1 555"));
        QCOMPARE(b.records[1].fields.value("data2"), QVariant(2));
        QCOMPARE(b.records[2].srcId, QString("1/102/5102/1003"));
        socket.disconnectFromHost();
        QCOMPARE(sim.dump().value("received").toArray(), (QJsonArray{ "$batch:", "$batch:" }));
    }

    void shouldFailBackupsAsThePhoneMisbehaves_data()
    {
        QTest::addColumn<QJsonObject>("faults");
        QTest::addColumn<QString>("expected");
        QTest::newRow("$error: in place of line 2") << QJsonObject{ { "2", "error:Kontakte gesperrt" } }
                                                    << "remote: Kontakte gesperrt";
        QTest::newRow("hang-up in the middle of a batch")
            << QJsonObject{ { "6", "close" } } << "transfer: Lost the connection to the phone at 127.0.0.1:*";
        QTest::newRow("stall") << QJsonObject{ { "3", "stall" } } << "transfer: The phone at * sent nothing for 0.5 seconds*";
        QTest::newRow("65 MiB without a line feed")
            << QJsonObject{ { "4", "long:65" } } << "transfer: The phone at * sent a line longer than 64 MiB*";
    }
    void shouldFailBackupsAsThePhoneMisbehaves()
    {
        QFETCH(QJsonObject, faults);
        QFETCH(QString, expected);
        CompanionSim sim;
        QJsonObject scenario = kPhone;
        scenario.insert("faults", faults);
        QTcpSocket socket;
        sim.connect(socket, sim.start(scenario, { "backup" }).value(0));
        const QString got = outcomeOf([&] { return readBackup(socket, 500).device; });
        QVERIFY2(matchesWildcard(got, expected), qPrintable(got));
    }

    void shouldAnswerARestoreWithIdPairs()
    {
        CompanionSim sim;
        QTcpSocket socket;
        sim.connect(socket, sim.start(kPhone, { "restore" }).value(0));
        pim::Entity carol(301, QString());
        carol.fields.insert("data2", "Carol");
        pim::Entity phone(88, QString());
        phone.fields.insert("data1", "+49 1");
        sendCommand(socket, kBatch, QString(), true, 5000);
        sendCommand(socket, kEnt, SyncContactBuilder::entitySyncCmd(1, 57, 57, carol), false, 5000);
        sendCommand(socket, kEnt, SyncContactBuilder::entitySyncCmd(3, 101, 5101, phone), false, 5000);
        sendCommand(socket, kDel, "3/101/5101/1002", false, 5000);
        sendCommand(socket, kUngroup, "102", false, 5000);
        sendCommand(socket, kEnd, QString(), true, 5000);
        const auto pairs = SyncContactParser::batchReplyPairs(readFeedback(socket, kBatch, 5000));
        QCOMPARE(pairs.size(), 2);
        QCOMPARE(pairs[0].recordKey, 301u);
        QCOMPARE(pairs[0].newId, QString("1/103/5103/1004"));
        QCOMPARE(pairs[1].recordKey, 88u);
        QCOMPARE(pairs[1].newId, QString("3/101/5101/1005"));
        socket.disconnectFromHost();
        const QJsonArray contacts = sim.dump().value("contacts").toArray();
        QCOMPARE(contacts.size(), 3);
        const QJsonArray annRecords = contacts[0].toObject().value("records").toArray();
        QCOMPARE(annRecords.size(), 2);
        QCOMPARE(annRecords[1].toObject().value("id").toString(), QString("3/101/5101/1005"));
    }

    void shouldStartServicesOverTheWifiHandshake()
    {
        CompanionSim sim("127.0.0.37");
        sim.start({ { "deviceId", "sim-7" } }, { "wifi" });
        QTcpSocket hello;
        sim.connect(hello, kWifiServicePort);
        sendCommand(hello, kHello, "//127.0.0.1", true, 5000);
        QCOMPARE(readCommand(hello, 5000), QString("hello:sim-7"));
        QTcpServer probe; // a port nothing else uses on this address
        QVERIFY(probe.listen(QHostAddress(sim.address())));
        const quint16 port = probe.serverPort();
        probe.close();
        QTcpSocket request;
        sim.connect(request, kWifiServicePort);
        sendCommand(request, kRestore, QStringLiteral("//127.0.0.1:%1/").arg(port), true, 5000);
        QTcpSocket service;
        QTRY_VERIFY_WITH_TIMEOUT((service.abort(), service.connectToHost(sim.address(), port), service.waitForConnected(200)), 3000);
        sendCommand(service, kBatch, QString(), true, 5000);
        sendCommand(service, kEnd, QString(), true, 5000);
        QCOMPARE(readCommand(service, 5000), QString("$batch:"));
    }
};

QTEST_GUILESS_MAIN(TestCompanionSim)
#include "tst_companionsim.moc"
