// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/adbconnector.h"
#include "android/androidcontactsdb.h"
#include "android/androidwificonnector.h"
#include "android/androidwifiform.h"
#include "android/simpleprotocol.h"
#include "model/data_path_util.h"
#include "platform/adb/adbservices.h"
#include "support/timebounds.h"

#include "companionsim.h"
#include "fakeadbd.h"
#include "support/messageboxrecorder.h"
#include "support/guistallprobe.h"
#include "support/modaldialoganswerer.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString kPmInstall = QStringLiteral("pm install -r '/data/local/tmp/com.quorvantile.contactssync.apk'");

quint16 freePort(const QString& address)
{
    QTcpServer server;
    server.listen(QHostAddress(address), 0);
    return server.serverPort();
}

QString failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// The phone's answer to the package listing; "cut" is one that names another
// package and then loses the link before the rest.
QJsonValue listingEntry(const QString& listing)
{
    if (listing != QLatin1String("cut"))
        return listing;
    return QJsonObject { { "output", "package:org.example.notes\npackage:com.quorvantile.contactssync\n" },
        { "close_after", 26 }, { "drop", true } };
}

// The first line the companion app speaks on a sync port it opened.
QString firstAnswer(const QString& host, quint16 port, const QString& direction)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(5000))
        return socket.errorString();
    if (direction == QLatin1String("restore"))
        simpleprotocol::sendCommand(socket, simpleprotocol::kEnd, QString(), true, 5000);
    return simpleprotocol::readCommand(socket, 5000).section(QLatin1Char(':'), 0, 0);
}

} // namespace

class TestAndroidConnect : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        adbSetSettings(AdbSettings { m_dir.path(), 3000, 60000, 1 << 20 });
        AdbConnector::setWaits({ 300, 200 });
        AndroidWifiConnector::setWaits({ 5000, 500, 200 });
    }

    void installsOnlyAMissingApp_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<bool>("packaged");
        QTest::addColumn<QString>("pmAnswer");
        QTest::addColumn<QString>("error");
        const QString other = QStringLiteral("package:org.example.notes\n");
        QTest::newRow("app listed") << "package:com.quorvantile.contactssync\n" + other << true << "" << "";
        QTest::newRow("empty listing") << "" << true << "" << "";
        QTest::newRow("missing, installed") << other << true << "Success\n" << "";
        QTest::newRow("missing, phone refuses") << other << true << "Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]\n"
            << "Can not install com.quorvantile.contactssync. The phone did not install "
               "com.quorvantile.contactssync.apk: Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]";
        // The listing's tail, which names the app, never came: no install
        // over a link that failed.
        QTest::newRow("listing cut by a dropped link") << "cut" << true << "Success\n"
            << "The phone did not finish the command \"pm list packages -3\". The phone 127.0.0.1:";
        QTest::newRow("missing, no package in the build") << other << false << "Success\n"
            << "Can not install com.quorvantile.contactssync. The companion app package is not included in this build.";
    }
    void installsOnlyAMissingApp()
    {
        QFETCH(QString, listing);
        QFETCH(bool, packaged);
        QFETCH(QString, pmAnswer);
        QFETCH(QString, error);
        if (packaged)
            Q_INIT_RESOURCE(test_apk);
        else
            Q_CLEANUP_RESOURCE(test_apk);
        if (!packaged && QFile::exists(AdbConnector::kApkResource))
            QSKIP("this build embeds a companion app package");
        QFile copy(g_dataSaveDir().filePath(AdbConnector::kApkFileName));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write("stale") == 5);
        copy.close();
        QTemporaryDir pushed;
        FakePhone phone({ { "auth", "none" }, { "sync_dir", pushed.path() },
            { "shell", QJsonObject { { "pm list packages -3", listingEntry(listing) }, { kPmInstall, pmAnswer } } } });
        const QString failure = failureOf([&] { AdbConnector(phone.handle).initialCheck(); });
        QVERIFY2(error.isEmpty() ? failure.isEmpty() : failure.startsWith(error), qPrintable(failure));
        const bool installs = !pmAnswer.isEmpty() && packaged && listing != "cut";
        QCOMPARE(phone.sim.log().contains("shell " + kPmInstall), installs);
        QFile sent(pushed.filePath(AdbConnector::kApkFileName));
        QCOMPARE(sent.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly), installs);
        QVERIFY(!installs || (copy.readAll() == sent.readAll() && copy.permissions() % 0x1000 == 0x600));
    }

    void usbStartRequests_data()
    {
        QTest::addColumn<QString>("direction");
        QTest::newRow("backup") << "backup";
        QTest::newRow("restore") << "restore";
    }
    void usbStartRequests()
    {
        QFETCH(QString, direction);
        CompanionSim app(CompanionSim::kLocalHost); // where the forward below leads
        const quint16 appPort = app.start({}, { direction }).value(0);
        const quint16 port = freePort("127.0.0.1");
        FakePhone phone({ { "auth", "none" }, { "shell", QJsonObject { { "logcat -d", "I/Sync: up\n" } } },
            { "tcp", QJsonObject { { QString::number(port), QString::number(appPort) } } } });
        AdbConnector connector(phone.handle);
        QCOMPARE(connector.logcat(), QStringLiteral("I/Sync: up\n"));
        QElapsedTimer waited;
        waited.start();
        const QString host = direction == "backup" ? connector.startBackup(port) : connector.startRestore(port);
        QVERIFY(waited.elapsed() >= 200);
        QCOMPARE(host, QStringLiteral("127.0.0.1"));
        QCOMPARE(firstAnswer(host, port, direction), direction == "backup" ? "$device" : "$batch");

        QVERIFY(phone.sim.waitForLog("open tcp:" + QString::number(port)));
        // The forward shows when the connection above goes through it.
        QCOMPARE(phone.sim.log().filter(QRegularExpression("^(shell am |open tcp:)")), QStringList({ "shell am start -n com.quorvantile.contactssync/.ContactsSync",
                            QStringLiteral("shell am broadcast -n com.quorvantile.contactssync/.AdbSyncBroadcastReceiver "
                                           "-d sync://%1:%2/").arg(direction).arg(port),
                            "open tcp:" + QString::number(port) }));
    }

    void wifiHelloAndStartRequests()
    {
        CompanionSim app;
        app.start({ { "deviceId", "R58M 41/é" } }, { "wifi" });
        const QString address = app.address();
        AndroidWifiConnector connector;
        connector.initialize(address);
        QCOMPARE(connector.helloText(), QStringLiteral("R58M 41/é"));
        const quint16 backupPort = freePort(address), restorePort = freePort(address);
        QCOMPARE(firstAnswer(connector.startBackup(backupPort), backupPort, "backup"), QStringLiteral("$device"));
        QCOMPARE(firstAnswer(connector.startRestore(restorePort), restorePort, "restore"), QStringLiteral("$batch"));
        const QJsonArray received = app.dump(5).value("received").toArray();
        QCOMPARE(received.toVariantList().mid(0, 3), QVariantList({ "hello://127.0.0.1\n",
            QStringLiteral("backup://127.0.0.1:%1/\n").arg(backupPort), QStringLiteral("restore://127.0.0.1:%1/\n").arg(restorePort) }));
    }

    void wifiFailures_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty hello") << "line:hello: " << "did not name the phone";
        QTest::newRow("not a greeting") << "line:HTTP/1.1 400" << "it answered \"HTTP/1.1 400\"";
        QTest::newRow("app refuses") << "error:Sync is off" << "Sync is off";
        // The answer's time limit (500 ms here) ends the wait.
        QTest::newRow("silent app") << "stall" << "sent nothing for 0.5 seconds";
    }
    void wifiFailures()
    {
        QFETCH(QString, answer);
        QFETCH(QString, error);
        CompanionSim app;
        app.start({ { "faults", QJsonObject { { "1", answer } } } }, { "wifi" });
        const QString failure = failureOf([&] { AndroidWifiConnector().initialize(app.address()); });
        QVERIFY2(!failure.isEmpty() && failure.contains(error), qPrintable(failure));
    }

    // A saved device's database: its connector reaches no phone and outlives it.
    void deviceDatabaseHoldsItsConnector()
    {
        PAndroidConnector kept, connector(new AdbConnector(nullptr));
        const QWeakPointer<IAndroidConnector> watch = connector;
        {
            AndroidContactsDb db(m_dir.filePath("phone.db"), std::move(connector));
            db.create();
            kept = db.connector();
        }
        QCOMPARE(failureOf([&] { kept->startRestore(5000); }), QString(AdbConnector::kNotConnectedText));
        kept.reset();
        QVERIFY(watch.isNull());
    }

    void wifiDialog_data()
    {
        QTest::addColumn<QString>("typed"); // %1: the phone's address
        QTest::addColumn<QString>("service"); // how the phone's port 48888 answers; empty: no phone
        QTest::addColumn<QString>("box");
        const QString wrong = QStringLiteral("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE");
        QTest::newRow("spaces around") << " %1 " << "wifi" << "";
        QTest::newRow("with a port") << "%1:48888" << "wifi" << wrong;
        QTest::newRow("digits of another script") << "١٢٧.0.0.1" << "" << wrong;
        QTest::newRow("nothing listens, refused at once")
            << "%1" << "closed"
            << "Nothing at %1 accepts connections: Quorvantile Contacts Sync is not open on the phone, or the "
               "WiFi connection info typed is wrong. Open the app on the phone, click its Connection button and "
               "type the info it shows.";
        QTest::newRow("connection request unanswered") << "%1" << "synfull" << "IDS_WIFI_CONNECTOR_CONNECT_TIMEOUT";
    }
    void wifiDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, service);
        QFETCH(QString, box);
        CompanionSim app;
        if (!service.isEmpty())
            app.start({ { "deviceId", "sim-7" } }, { service + ":48888" });
        typed = typed.arg(app.address());
        box = box.arg(app.address());
        // An unanswered request waits for the connection's time limit.
        const AndroidWifiConnector::Waits waits = AndroidWifiConnector::waits();
        AndroidWifiConnector::setWaits({ 300, waits.answerMs, waits.afterStartMs });
        const auto restore = qScopeGuard([waits] { AndroidWifiConnector::setWaits(waits); });
        MessageBoxRecorder boxes;
        AndroidWIFIForm form(nullptr);
        ModalDialogAnswerer answerer([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("txtWifiSocket")->setText(typed);
            QTest::mousePress(dialog->findChild<QPushButton*>("btnConnect"), Qt::LeftButton);
            if (dialog->isVisible())
                QTest::mousePress(dialog->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
        });
        answerer.setMatch([](QWidget* dialog) { return dialog->inherits("AndroidWIFIForm"); });
        std::unique_ptr<AndroidWifiConnector> connector(form.execGetConnector());
        QVERIFY(answerer.answered());
        QVERIFY2(box.isEmpty() ? boxes.count() == 0 : boxes.count() == 1 && boxes.texts().constFirst().endsWith(box),
            qPrintable(boxes.texts().join('|')));
        QCOMPARE(connector ? connector->address() + '|' + connector->helloText() : "",
            box.isEmpty() ? app.address() + "|sim-7" : "");
    }

    // A simulated phone never takes an address another one holds: it moves
    // on to a free one, so runs of the suite side by side never collide.
    void simulatedPhonesNeverShareAnAddress()
    {
        CompanionSim first;
        first.start({ { "deviceId", "first" } }, { "wifi" });
        CompanionSim second(first.address());
        second.start({ { "deviceId", "second" } }, { "wifi" });
        QVERIFY2(second.address() != first.address(), qPrintable(first.address()));
        for (CompanionSim* sim : { &first, &second }) {
            AndroidWifiConnector connector;
            connector.initialize(sim->address());
            QCOMPARE(connector.helloText(), sim == &first ? "first" : "second");
        }
    }

    // A connection request nothing accepts is told as such: the socket has
    // no error of its own then, and would say "Unknown error".
    void unansweredConnectionSaysSo()
    {
        CompanionSim app;
        app.start({}, { "synfull:48888" });
        QTcpSocket socket;
        QString why;
        QVERIFY(!simpleprotocol::connectSocket(socket, app.address(), simpleprotocol::kWifiServicePort, 300, {}, &why));
        QVERIFY2(why == QLatin1String("Nothing answered within 0.3 seconds."), qPrintable(why));
    }

    // A phone that swallows the connection request, or takes it and never
    // answers, leaves the window drawing and the dialog cancellable at once.
    void wifiDialogNeverFreezes_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("box"); // the one box besides the cancel question; empty: cancelled
        QTest::newRow("connection request dropped") << "synfull" << "";
        QTest::newRow("service silent") << "silent" << "";
        QTest::newRow("service hangs up") << "refuse" << "Lost the connection to the phone";
    }
    void wifiDialogNeverFreezes()
    {
        QFETCH(QString, service);
        QFETCH(QString, box);
        CompanionSim app;
        app.start({}, { service + ":48888" });
        const QString phone = app.address();
        MessageBoxRecorder boxes;
        boxes.answerNext(QMessageBox::Yes);
        AndroidWIFIForm form(nullptr);
        GuiStallProbe probe;
        QElapsedTimer sinceCancel;
        ModalDialogAnswerer progress([&](QWidget* dialog) {
            QTimer::singleShot(300, dialog, [dialog, &sinceCancel] {
                sinceCancel.start();
                QMetaObject::invokeMethod(dialog, "cancel");
            });
        });
        progress.setMatch([](QWidget* dialog) { return dialog->inherits("ProgressForm"); });
        qint64 returnedAfter = -1;
        ModalDialogAnswerer answerer([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("txtWifiSocket")->setText(phone);
            QTest::mousePress(dialog->findChild<QPushButton*>("btnConnect"), Qt::LeftButton);
            returnedAfter = sinceCancel.isValid() ? sinceCancel.elapsed() : -1;
            if (dialog->isVisible())
                QTest::mousePress(dialog->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
        });
        answerer.setMatch([](QWidget* dialog) { return dialog->inherits("AndroidWIFIForm"); });
        std::unique_ptr<AndroidWifiConnector> connector(form.execGetConnector());
        QVERIFY(!connector);
        qInfo() << "longest GUI-thread stall" << probe.longestMs() << "ms";
        QVERIFY(probe.longestMs() < timebound::kFreezeMs);
        if (box.isEmpty()) {
            QVERIFY2(returnedAfter >= 0 && returnedAfter < timebound::kFreezeMs, qPrintable(QString::number(returnedAfter)));
            QCOMPARE(boxes.texts(), QStringList { "Are You Sure You Want To Cancel?" });
        } else {
            QCOMPARE(boxes.count(), 1);
            QVERIFY2(boxes.texts().constFirst().contains(box), qPrintable(boxes.texts().constFirst()));
        }
    }
};

QTEST_MAIN(TestAndroidConnect)
#include "tst_androidconnect.moc"
