// SPDX-License-Identifier: GPL-3.0-or-later
// Every Android road of the main window - the WiFi dialog, reading a phone,
// writing to it, a phone arriving on USB - against the simulated companion
// app and adbd with each of their fault knobs. A probe pings the GUI thread
// all the while: whatever the phone does, the window keeps drawing, a
// stalled phone is cancelled at once, and each failure ends in one box.
#include "actionscene.h"
#include "android/adbconnector.h"
#include "android/androidwificonnector.h"
#include "app/devices/devicecache.h"
#include "app/devices/phonedevicelayer.h"
#include "companionsim.h"
#include "fakeadbd.h"
#include "platform/adb/adbservices.h"
#include "support/guistallprobe.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {

enum Road { Wifi, Read, Write, Usb };

// The stall the test tolerates: the goal is 100 ms; sanitizers and a
// loaded machine get some room, and the figures are printed.
constexpr qint64 kToleratedStallMs = 250;
// How long a stalled phone is given before the user cancels.
constexpr int kCancelAfterMs = 300;

const QJsonArray kCyWu { QJsonObject { { "type", 1 }, { "fields", QJsonArray { "", "Q3k=", "", "V3U=" } } } };

// The real layer; its USB poller looks at a simulated adbd.
class UsbLayer : public PhoneDeviceLayer {
public:
    quint16 adbdPort = 1;

protected:
    std::unique_ptr<AbsAdbPoll> createAdbPoll(int) override
    {
        return std::make_unique<AdbEmuPoll>(50, nullptr, QStringLiteral("127.0.0.1"), adbdPort, adbdPort);
    }
};

// Runs `start` and returns once the road it began has ended.
void runRoad(const std::unique_ptr<MainWindow>& w, const std::function<void()>& start)
{
    bool seen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { seen = seen || (w && w->roadRunning()); });
    watch.start(2);
    start();
    QTRY_VERIFY_WITH_TIMEOUT(seen && !w->roadRunning(), 30000);
}

} // namespace

class TestAndroidRoads : public QObject {
    Q_OBJECT
    std::unique_ptr<DataFolderFixture> data;
    std::unique_ptr<MessageBoxRecorder> boxes;

private slots:
    void initTestCase()
    {
        AdbConnector::setWaits({ 0, 0 });
        AndroidWifiConnector::setWaits({ 5000, 5000, 300 });
        AdbSettings settings = adbSettings();
        settings.ioTimeoutMs = 1500;
        adbSetSettings(settings);
    }
    void init()
    {
        data = std::make_unique<DataFolderFixture>();
        boxes = std::make_unique<MessageBoxRecorder>();
    }
    void cleanup() { boxes.reset(), data.reset(); }

    // A port another program listens on is never handed out: over USB it
    // would lead to that program's phone. The counter comes round to it
    // within 99 ports.
    void companionPortsPassOverTakenOnes()
    {
        const int port = portAlloc();
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, quint16(port)));
        for (int i = 0; i < 120; ++i)
            QVERIFY(portAlloc() != port);
    }

    void windowKeepsDrawing_data()
    {
        QTest::addColumn<int>("road");
        QTest::addColumn<QString>("listen"); // how the app's WiFi service listens
        QTest::addColumn<QJsonObject>("phone"); // companion app scenario
        QTest::addColumn<QJsonObject>("adbd");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("ending"); // in the last box; empty: no box but the cancel question
        const QJsonObject none;
        const auto faults = [](const char* step, const char* fault) {
            return QJsonObject { { "faults", QJsonObject { { step, fault } } } };
        };
        const auto shell = [](const QJsonValue& entry) {
            return QJsonObject { { "shell", QJsonObject { { "pm list packages -3", entry } } } };
        };
        QTest::newRow("wifi: connection request dropped") << int(Wifi) << "synfull" << none << none << true << "";
        QTest::newRow("wifi: silent listener") << int(Wifi) << "silent" << none << none << true << "";
        QTest::newRow("wifi: app hangs up") << int(Wifi) << "refuse" << none << none << false << "Lost the connection";
        QTest::newRow("wifi: nothing listens") << int(Wifi) << "closed" << none << none << false
                                               << "Quorvantile Contacts Sync is not open on the phone";
        QTest::newRow("wifi: greeting stalls") << int(Wifi) << "wifi" << faults("1", "stall") << none << true << "";
        QTest::newRow("read: service silent") << int(Read) << "wifi" << QJsonObject { { "service", "silent" } } << none
                                              << true << "";
        QTest::newRow("read: service hangs up") << int(Read) << "wifi" << QJsonObject { { "service", "refuse" } }
                                                << none << false << "Lost the connection";
        QTest::newRow("read: stalls in a batch") << int(Read) << "wifi" << faults("backup:5", "stall") << none << true
                                                 << "";
        QTest::newRow("read: unreadable record") << int(Read) << "wifi"
                                                 << faults("backup:5", "line:$ent:1/x/2/3,YmFkIGlk") << none << false
                                                 << "could not be read";
        QTest::newRow("read: line not understood") << int(Read) << "wifi" << faults("backup:3", "line:$total:1")
                                                   << none << false << "One line from the companion app was not understood";
        QTest::newRow("read: no contacts") << int(Read) << "wifi" << QJsonObject { { "contacts", QJsonArray() } }
                                           << none << false << "The phone sent no contacts";
        QTest::newRow("read: app error") << int(Read) << "wifi" << faults("backup:4", "error:Storage busy") << none
                                         << false << "Storage busy";
        QTest::newRow("read: link dropped") << int(Read) << "wifi" << faults("backup:5", "close") << none << false
                                            << "Lost the connection";
        QTest::newRow("write: answer stalls") << int(Write) << "wifi" << faults("restore:1", "stall") << none << true
                                              << "";
        QTest::newRow("write: app says goodbye") << int(Write) << "wifi" << faults("restore:1", "bye") << none
                                                 << false << "The phone ended the session";
        QTest::newRow("write: app refuses") << int(Write) << "wifi" << faults("restore:1", "error:Full") << none
                                            << false << "Full";
        QTest::newRow("usb: connection never answered") << int(Usb) << "" << none
                                                        << QJsonObject { { "silent", "cnxn" } } << false << "";
        QTest::newRow("usb: silent after its token") << int(Usb) << "" << none
                                                     << QJsonObject { { "silent", "auth" }, { "auth", "accept" } } << false
                                                     << "";
        QTest::newRow("usb: listing stalls") << int(Usb) << "" << none << shell(QJsonObject { { "stall", true } })
                                             << true << "";
        QTest::newRow("usb: listing cut") << int(Usb) << "" << none
                                          << shell(QJsonObject { { "output", "package:a.b\npackage:c.d\n" },
                                                 { "close_after", 12 }, { "drop", true } })
                                          << false << "did not finish the command";
        QTest::newRow("usb: listing floods") << int(Usb) << "" << none << shell(QJsonObject { { "flood", 64 } })
                                             << false << "without waiting for this computer";
        QTest::newRow("usb: shell refused") << int(Usb) << "" << none
                                            << QJsonObject { { "refuse", QJsonArray { "shell:" } } } << false
                                            << "refused to open";
    }
    void windowKeepsDrawing()
    {
        QFETCH(int, road);
        QFETCH(QString, listen);
        QFETCH(QJsonObject, phone);
        QFETCH(QJsonObject, adbd);
        QFETCH(bool, cancel);
        QFETCH(QString, ending);
        data->writeDb("data", "Home.db", { { "Ann Lee", "1", "", "" } });
        if (!phone.contains("contacts"))
            phone["contacts"] = QJsonArray { kCyWu };
        phone["device"] = "Target";
        phone["deviceId"] = "tab-9";

        // Over USB the forward leads to this computer's own address; over WiFi
        // the phone takes a free address of its own.
        CompanionSim app(road == Usb ? QString::fromLatin1(CompanionSim::kLocalHost) : QStringLiteral("any"));
        std::unique_ptr<FakeAdbd> fakeAdbd;
        UsbLayer layer;
        if (road == Usb) {
            const quint16 appPort = app.start(phone, { "backup" }).value(0);
            if (!adbd.contains("auth"))
                adbd["auth"] = "none";
            adbd["tcp"] = QJsonObject { { "*", QString::number(appPort) } };
            fakeAdbd = std::make_unique<FakeAdbd>(adbd);
            layer.adbdPort = fakeAdbd->port();
        } else {
            app.start(phone, { listen + ":48888" });
        }
        std::unique_ptr<MainWindow> w;
        std::unique_ptr<GuiStallProbe> probe;
        if (road != Usb) {
            w = std::make_unique<MainWindow>(&layer);
            if (road == Write) {
                auto* connector = new AndroidWifiConnector;
                PAndroidConnector owner(connector);
                connector->initialize(app.address());
                runRoad(w, [&] { w->androidDeviceIniLoad("tab-9", owner); });
                QVERIFY(showNode(*w, "Home.db"));
            }
        }
        const int before = boxes->count();
        std::unique_ptr<ModalDialogAnswerer> canceller;
        if (cancel) {
            boxes->answerNext(QMessageBox::Yes);
            canceller = answerWorkProgress([](QWidget* form) {
                QTimer::singleShot(kCancelAfterMs, form, [form] { QMetaObject::invokeMethod(form, "cancel"); });
            });
        }
        std::unique_ptr<ModalDialogAnswerer> wifiForm;
        std::unique_ptr<ModalDialogAnswerer> picker;
        probe = std::make_unique<GuiStallProbe>();
        switch (road) {
        case Wifi:
            wifiForm = answerDialog("AndroidWIFIForm", [&app](QWidget* form) {
                form->findChild<QLineEdit*>("txtWifiSocket")->setText(app.address());
                QTest::mousePress(form->findChild<QPushButton*>("btnConnect"), Qt::LeftButton);
                if (form->isVisible())
                    QTest::mousePress(form->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
            });
            runRoad(w, [&] { w->miToolsConnectViaWiFi(); });
            break;
        case Read:
            runRoad(w, [&] {
                auto* connector = new AndroidWifiConnector;
                PAndroidConnector owner(connector);
                connector->initialize(app.address());
                probe->reset(); // the greeting above is the test's own
                w->androidDeviceIniLoad("tab-9", owner);
            });
            break;
        case Write:
            picker = answerDialog("DataSourceSelForm", [](QWidget* dialog) {
                auto* box = dialog->findChild<QComboBox*>("cbDevice");
                box->setCurrentIndex(box->findText("Target"));
                QTest::mousePress(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
            });
            runRoad(w, [&] { w->miTreeDB2A(); });
            break;
        case Usb:
            runRoad(w, [&] {
                w = std::make_unique<MainWindow>(&layer);
                probe->reset(); // building the window is no phone's doing
            });
            break;
        }
        const qint64 longest = probe->longestMs();
        qInfo().noquote() << QTest::currentDataTag() << "- longest GUI-thread stall" << longest << "ms";
        const QStringList shown = boxes->texts().mid(before);
        const QStringList expected = cancel ? QStringList { "Are You Sure You Want To Cancel?" } : QStringList();
        if (ending.isEmpty())
            QCOMPARE(shown, expected);
        else
            QVERIFY2(shown.size() == expected.size() + 1 && shown.constLast().contains(ending), qPrintable(shown.join('|')));
        QVERIFY2(longest < kToleratedStallMs, qPrintable(QString::number(longest)));
    }
};

QTEST_MAIN(TestAndroidRoads)
#include "tst_androidroads.moc"
