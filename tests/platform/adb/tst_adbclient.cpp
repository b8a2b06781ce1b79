// SPDX-License-Identifier: GPL-3.0-or-later
// The ADB client against a simulated phone over loopback TCP: the simulator
// checks our signatures with the key it decodes from our public-key blob.
#include "fakeadbd.h"
#include "support/timebounds.h"

#include "platform/adb/adbforwardserver.h"
#include "platform/adb/adbkey.h"
#include "platform/adb/adbmessage.h"
#include "platform/adb/adbservices.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <future>

namespace {
const int kIoTimeoutMs = 1500;

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(size);
    for (char& c : bytes)
        c = static_cast<char>(gen.generate());
    return bytes;
}

QString ourKey(const QString& folder)
{
    return QString::fromLatin1(AdbKey::loadOrCreate(folder)->publicKeyBlob()).section(QLatin1Char(' '), 0, 0);
}
}  // namespace

class TestAdbClient : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        AdbSettings s;
        s.keyFolder = m_dir.filePath(QStringLiteral("keys"));
        s.ioTimeoutMs = kIoTimeoutMs;
        adbSetSettings(s);
    }

    // A damaged payload, a bad magic and a length above the reader's cap are
    // refused.
    void codecRoundTripAndRefusals()
    {
        const QByteArray payload = randomBytes(4096);
        const QByteArray wire = AdbMessage{AdbMessage::WRTE, 7, 0xfffffffe, payload}.encode();
        AdbMessage back;
        quint32 sum = 0;
        AdbMessage::decodeHeader(wire.constData(), 4096, &back, &sum);
        QByteArray damaged = wire.mid(24);
        damaged[0] = static_cast<char>(damaged[0] + 1);
        QVERIFY(!AdbMessage::checksumMatches(damaged, sum));
        QVERIFY_THROWS_EXCEPTION(AdbError, AdbMessage::decodeHeader(wire.constData(), payload.size() - 1, &back, &sum));
        QByteArray badMagic = wire;
        badMagic[20] = static_cast<char>(badMagic[20] + 1);
        QVERIFY_THROWS_EXCEPTION(AdbError, AdbMessage::decodeHeader(badMagic.constData(), 4096, &back, &sum));
    }

    void keyIsCreatedOnceAndPrivate()
    {
        const QString folder = m_dir.filePath(QStringLiteral("once"));
        const QByteArray first = AdbKey::loadOrCreate(folder)->publicKeyBlob();
        const QFileDevice::Permissions mode = QFile::permissions(folder + QStringLiteral("/adbkey"));
        QCOMPARE(mode & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        // A phone that has allowed this computer knows it by the same key next time.
        QCOMPARE(AdbKey::loadOrCreate(folder)->publicKeyBlob(), first);
        QVERIFY(first.endsWith('\0'));
    }

    void authorisation_data()
    {
        QTest::addColumn<QString>("policy");
        QTest::addColumn<bool>("knownKey");
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("authLine");
        QTest::newRow("known key") << "deny" << true << true << "auth ok";
        QTest::newRow("unknown key accepted at the prompt") << "accept" << false << true << "auth prompt";
        QTest::newRow("denied") << "deny" << false << false << "auth prompt";
    }
    void authorisation()
    {
        QFETCH(QString, policy);
        QFETCH(bool, knownKey);
        QFETCH(bool, online);
        QFETCH(QString, authLine);
        QJsonObject config{{"auth", policy}, {"shell", QJsonObject{{"id", "uid=2000(shell)\n"}}}};
        if (knownKey)
            config["keys"] = QJsonArray{ourKey(adbSettings().keyFolder)};
        FakePhone phone(config);
        QVERIFY(phone.handle);
        QCOMPARE(phone.handle->waitForAuth2(online ? timebound::kWaitMs : 1000), online);
        QVERIFY(phone.sim.waitForLog(authLine));
        QVERIFY(!phone.sim.log().contains("auth bad-key"));
        int code = -1;
        const QByteArray out = adbShell(phone.handle, "id", nullptr, nullptr, &code);
        QCOMPARE(out, online ? QByteArray("uid=2000(shell)\n") : QByteArray());
        QCOMPARE(code, int(online ? AdbErrorCode::None : AdbErrorCode::Unauthorized));
        if (!online)
            QCOMPARE(phone.handle->state(), AdbUSBHandle::State::WaitingForUser);
    }

    // Eight commands at once on one link, their outputs in many small
    // packets, each getting its own output.
    void shellStreams()
    {
        QJsonObject table;
        for (int i = 0; i < 8; ++i)
            table[QString("echo %1").arg(i)] = QString(QString::number(i)).repeated(3000 + i);
        FakePhone phone({{"auth", "none"}, {"max_payload", 300}, {"okay_delay_ms", 2}, {"shell", table}});
        QVERIFY(phone.handle && phone.handle->waitForAuth2(timebound::kWaitMs));
        std::vector<std::future<QByteArray>> runs;
        for (int i = 0; i < 8; ++i)
            runs.push_back(std::async(std::launch::async, [&phone, i] { return adbShell(phone.handle, QString("echo %1").arg(i)); }));
        for (int i = 0; i < 8; ++i)
            QCOMPARE(runs[i].get(), QByteArray::number(i).repeated(3000 + i));
    }

    void forwardCarriesThreeMegabytesBothWays()
    {
        QTcpServer echo;
        QVERIFY(echo.listen(QHostAddress::LocalHost));
        connect(&echo, &QTcpServer::newConnection, this, [&echo] {
            QTcpSocket* s = echo.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s] { s->write(s->readAll()); });
        });
        FakePhone phone({{"auth", "none"}, {"max_payload", 4096}, {"tcp", QJsonObject{{"7000", QString::number(echo.serverPort())}}}});
        QVERIFY(phone.handle && phone.handle->waitForAuth2(timebound::kWaitMs));
        QString error;
        const quint16 port = AdbForwardServer::forward(phone.handle, 0, 7000, &error);
        QVERIFY2(port, qPrintable(error));
        QCOMPARE(AdbForwardServer::forward(phone.handle, port, 7000, &error), port);

        const QByteArray payload = randomBytes(3 * 1024 * 1024);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(client.waitForConnected(10000));
        QByteArray received;
        connect(&client, &QTcpSocket::readyRead, this, [&] { received += client.readAll(); });
        client.write(payload);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), payload.size(), timebound::kWaitMs);
        QVERIFY(received == payload);
        phone.handle->close();  // the phone leaves: its listener goes with it
        QTcpSocket late;
        QTRY_VERIFY_WITH_TIMEOUT((late.abort(), late.connectToHost(QHostAddress::LocalHost, port), !late.waitForConnected(100)), timebound::kWaitMs);
    }

    void installPushesTheBytesAndRunsTheCommands_data()
    {
        QTest::addColumn<QString>("syncFail");
        QTest::addColumn<int>("okayDelay");
        QTest::addColumn<QString>("expectedError");
        QTest::newRow("installed") << "" << 0 << "";
        QTest::newRow("phone cannot store the file") << "No space left on device" << 0 << "No space left on device";
        // The phone holds its OKAY longer than any wait: the install ends on
        // this side's time-out.
        QTest::newRow("phone stops taking data") << "" << timebound::kWaitMs << "stopped taking data";
    }
    void installPushesTheBytesAndRunsTheCommands()
    {
        QFETCH(QString, syncFail);
        QFETCH(int, okayDelay);
        QFETCH(QString, expectedError);
        QTemporaryDir phoneDir;
        const QString apk = m_dir.filePath(QStringLiteral("my app.apk"));
        const QByteArray bytes = randomBytes(300 * 1024 + 17);
        QFile f(apk);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        const QString pm = QStringLiteral("pm install -r '/data/local/tmp/my_app.apk'");
        FakePhone phone({{"auth", "none"}, {"max_payload", 4096}, {"sync_dir", phoneDir.path()}, {"okay_delay_ms", okayDelay},
                         {"sync_fail", syncFail}, {"shell", QJsonObject{{pm, "Success\n"}}}});
        QVERIFY(phone.handle && phone.handle->waitForAuth2(timebound::kWaitMs));
        QString error;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(adbInstallLegacy(phone.handle, apk, "-r", &error), expectedError.isEmpty());
        QVERIFY2(error.contains(expectedError), qPrintable(error));
        QVERIFY(timer.elapsed() < (okayDelay ? okayDelay : timebound::kWaitMs));
        if (!expectedError.isEmpty()) {
            QVERIFY(!phone.sim.log().contains("shell " + pm));
            return;
        }
        QFile pushed(phoneDir.filePath(QStringLiteral("my_app.apk")));
        QVERIFY(pushed.open(QIODevice::ReadOnly));
        QVERIFY(pushed.readAll() == bytes);
        QVERIFY(phone.sim.waitForLog("shell rm -f '/data/local/tmp/my_app.apk'"));
        const QStringList log = phone.sim.log();
        QVERIFY(log.indexOf("push /data/local/tmp/my_app.apk " + QString::number(bytes.size())) < log.indexOf("shell " + pm));
    }

    void installRejectsOptionsThatAreNotDashOptions()
    {
        QString error;
        QVERIFY(!adbInstallLegacy(PAdbUSBHandle(), "x.apk", "-r; reboot", &error));
        QVERIFY(error.contains("-r; reboot"));
    }

    void failuresAreBoundedAndNamed_data()
    {
        QTest::addColumn<QJsonObject>("config");
        QTest::addColumn<int>("code"); // -1: the text alone tells
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("offline");
        const auto cmd = [](const QJsonObject& entry) { return QJsonObject{{"shell", QJsonObject{{"cmd", entry}}}}; };
        QTest::newRow("stalled command") << cmd({{"stall", true}}) << int(AdbErrorCode::Timeout)
                                         << "stopped answering: nothing came on \"shell:cmd\" for 2 seconds" << false;
        QTest::newRow("transport dropped") << cmd({{"drop", true}}) << int(AdbErrorCode::Transport) << "no longer connected"
                                           << true;
        QTest::newRow("refused service") << QJsonObject{{"refuse", QJsonArray{"shell:"}}} << int(AdbErrorCode::Refused)
                                         << "refused to open \"shell:cmd\"" << false;
        // Only a phone that has our key shows the prompt; one that never got
        // that far is not answering.
        QTest::newRow("connection never answered") << QJsonObject{{"silent", "cnxn"}} << -1 << "does not answer (offline)"
                                                   << true;
        QTest::newRow("silent after its token") << QJsonObject{{"silent", "auth"}, {"auth", "accept"}} << -1
                                                << "does not answer (offline)" << true;
        QTest::newRow("flood past the window") << cmd({{"flood", 256}}) << int(AdbErrorCode::Protocol)
                                               << "without waiting for this computer" << false;
    }
    void failuresAreBoundedAndNamed()
    {
        QFETCH(QJsonObject, config);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(bool, offline);
        if (!config.contains("auth"))
            config["auth"] = "none";
        FakePhone phone(config);
        QVERIFY(phone.handle);
        const bool answers = !config.contains("silent");
        QCOMPARE(phone.handle->waitForAuth2(answers ? timebound::kWaitMs : 0), answers);
        QSignalSpy kicked(phone.poll.get(), &AbsAdbPoll::kickDevice);
        QElapsedTimer timer;
        timer.start();
        bool ok = true;
        QString error;
        int got = 0;
        adbShell(phone.handle, "cmd", &ok, &error, &got);
        QVERIFY(timer.elapsed() < 2 * kIoTimeoutMs + timebound::kFreezeMs);
        QVERIFY(!ok);
        if (code >= 0)
            QCOMPARE(got, code);
        QVERIFY2(error.contains("127.0.0.1:") && error.contains(text), qPrintable(error));
        QVERIFY(!error.contains("USB debugging"));
        if (offline)
            QVERIFY(kicked.count() > 0 || kicked.wait(timebound::kWaitMs));
        if (config.value("shell").toObject().value("cmd").toObject().contains("flood")) {
            // The phone stops when told the stream is closed; what it got
            // through before that is what this side had to look at.
            QVERIFY(phone.sim.waitForLog("flood", timebound::kWaitMs, true));
            const qint64 sent = phone.sim.log().filter(QRegularExpression("^flood ")).value(0).section(' ', 1).toLongLong();
            QVERIFY2(sent < 64 << 20, qPrintable(QString::number(sent)));
            QCOMPARE(phone.handle->state(), AdbUSBHandle::State::Online);
        }
    }

    void stopDrainsThePool()
    {
        // A stop that waited for the stalled command would wait for the I/O
        // time-out: a minute here, so that only a freeze explains a slow stop.
        const AdbSettings before = adbSettings();
        const auto restore = qScopeGuard([before] { adbSetSettings(before); });
        AdbSettings patient = before;
        patient.ioTimeoutMs = 60000;
        adbSetSettings(patient);
        FakePhone phone({{"auth", "none"}, {"shell", QJsonObject{{"cmd", QJsonObject{{"stall", true}}}}}});
        QVERIFY(phone.handle && phone.handle->waitForAuth2(timebound::kWaitMs));
        std::future<QByteArray> run = std::async(std::launch::async, [h = phone.handle] { return adbShell(h, "cmd"); });
        QVERIFY(phone.sim.waitForLog("shell cmd"));
        QElapsedTimer timer;
        timer.start();
        phone.poll->stop();
        run.wait();
        QVERIFY(adbThreadPool()->waitForDone(5000));
        QVERIFY(timer.elapsed() < timebound::kFreezeMs);
        QCOMPARE(phone.handle->state(), AdbUSBHandle::State::Offline);
    }
};

QTEST_GUILESS_MAIN(TestAdbClient)
#include "tst_adbclient.moc"
