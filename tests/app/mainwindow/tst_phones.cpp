// SPDX-License-Identifier: GPL-3.0-or-later
// Phones in the main window with the real device layer, against the
// simulated iPhone, adbd and companion app: arrival and departure, the
// authorisation question, the WiFi road, Disconnect Device and the transfer
// roads; device events during a road wait until it has ended.
#include "android/adbconnector.h"
#include "android/androidwificonnector.h"
#include "app/devices/devicecache.h"
#include "app/devices/phonedevicelayer.h"
#include "app/itemmodelcontacts.h"
#include "app/iupdatecheck.h"
#include "app/mainwindow.h"
#include "common/sqlprobe.h"
#include "companionsim.h"
#include "datafolderfixture.h"
#include "fakeadbd.h"
#include "iphonesimulator.h"
#include "model/localdb.h"
#include "support/messageboxrecorder.h"
#include "support/modaldialoganswerer.h"
#include "support/scriptedworker.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using Tree = ItemModelMainTree;
using Auth = QList<UsbAuthorisation>;
using Buttons = QList<QMessageBox::StandardButton>;
Q_DECLARE_METATYPE(UsbAuthorisation)

namespace {

const QString kUdid = QString::fromLatin1(IPhoneSimulator::kUdid);

// The real layer; the USB poller looks at a simulated adbd, and the
// authorisation and the read can be scripted.
class SimLayer : public PhoneDeviceLayer {
public:
    quint16 adbdPort = 1;
    bool scripted = false;
    Auth auth;

    UsbAuthorisation waitForUsbAuthorisation(const PAdbUSBHandle& h, int ms) override
    {
        if (!scripted)
            return PhoneDeviceLayer::waitForUsbAuthorisation(h, ms);
        return auth.isEmpty() ? UsbAuthorisation::Gone : auth.takeFirst();
    }
    QString usbDeviceId(const PAdbUSBHandle& h) override
    {
        return scripted ? QStringLiteral("usb<1>") : PhoneDeviceLayer::usbDeviceId(h);
    }
    PAndroidConnector usbConnector(const PAdbUSBHandle& h) override
    {
        return scripted ? PAndroidConnector(new AdbConnector(nullptr)) : PhoneDeviceLayer::usbConnector(h);
    }
    PhoneRead createAndroidRead(QSharedPointer<LocalDb> db, int port, IWorkerReporter* reporter) override
    {
        if (!scripted)
            return PhoneDeviceLayer::createAndroidRead(db, port, reporter);
        auto worker = std::make_unique<ScriptedWorker>(reporter);
        worker->succeed();
        return { std::move(worker), [] { return QStringLiteral("Scripted"); } };
    }

protected:
    std::unique_ptr<AbsAdbPoll> createAdbPoll(int) override
    {
        return std::make_unique<AdbEmuPoll>(50, nullptr, QStringLiteral("127.0.0.1"), adbdPort, adbdPort);
    }
};

Tree::_DBItemNode* device(MainWindow& w, const QString& id)
{
    for (Tree::_ItemNode* child : w.mainTreeModel()->devicesRootNode()->children)
        if (auto* node = dynamic_cast<Tree::_DBItemNode*>(child); node && node->id == id)
            return node;
    return nullptr;
}

QStringList namesIn(const QString& path)
{
    return SqlProbe(path).column(QStringLiteral("select full_name from contact order by full_name"));
}

QJsonArray phoneContact(const QString& given, const QString& family)
{
    const auto text = [](const QString& t) { return QJsonObject { { "text", t } }; };
    return { QJsonObject { { "type", 1 }, { "fields", QJsonArray { "", text(given), "", text(family) } } } };
}

// An Android phone over WiFi, read into the window under `id`.
void connectWifi(MainWindow& w, CompanionSim& app, const QString& id, QJsonObject scenario)
{
    scenario["deviceId"] = id;
    app.start(scenario, { "wifi" });
    auto* connector = new AndroidWifiConnector;
    PAndroidConnector owner(connector);
    connector->initialize(app.address());
    w.androidDeviceIniLoad(id, owner);
}

// Picks `target` in the transfer's selection dialog; `meanwhile` runs first.
std::unique_ptr<ModalDialogAnswerer> picker(const QString& target, std::function<void()> meanwhile = {})
{
    auto answerer = std::make_unique<ModalDialogAnswerer>([target, meanwhile](QWidget* dialog) {
        if (meanwhile)
            meanwhile();
        auto* box = dialog->findChild<QComboBox*>("cbDevice");
        box->setCurrentIndex(box->findText(target));
        QTest::mousePress(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
    answerer->setMatch([](QWidget* dialog) { return dialog->inherits("DataSourceSelForm"); });
    return answerer;
}

class GateKeepingCheck : public IUpdateCheck {
public:
    void start(std::function<void()>) override {}
    void setReplyGate(Gate g) override { gate = std::move(g); }
    Gate gate;
};

void makeCurrent(MainWindow& w, const QString& text)
{
    w.form()->treeMain->setCurrentIndex(DataFolderFixture::findNode(w.mainTreeModel(), text));
}

} // namespace

class TestPhones : public QObject {
    Q_OBJECT
    std::unique_ptr<DataFolderFixture> data;
    std::unique_ptr<MessageBoxRecorder> boxes;

private slots:
    void initTestCase() { AdbConnector::setWaits({ 0, 0 }); }
    void init()
    {
        data = std::make_unique<DataFolderFixture>();
        boxes = std::make_unique<MessageBoxRecorder>();
    }
    void cleanup()
    {
        boxes.reset();
        data.reset();
    }

    void cacheFileNameStaysInItsFolder_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("file");
        QTest::newRow("iPhone udid") << kUdid << kUdid;
        QTest::newRow("parent path") << "../data/x" << "..%2Fdata%2Fx";
        QTest::newRow("empty") << "" << "%";
        QTest::newRow("dot") << "." << "%2E";
        QTest::newRow("dot dot") << ".." << "%2E%2E";
        QTest::newRow("space, slash, accent") << "R58M 41/é" << "R58M%2041%2F%C3%A9";
        QTest::newRow("percent") << "%2E" << "%252E";
    }
    void cacheFileNameStaysInItsFolder()
    {
        QFETCH(QString, id);
        const QFileInfo path(deviceCachePath(QStringLiteral("android_cache"), id));
        QTEST(path.fileName(), "file");
        QCOMPARE(path.absolutePath(), data->dataFolder().filePath("android_cache"));
    }

    void iphoneArrivesAndLeaves()
    {
        IPhoneSimulator sim({ { "name", "Kim's <iPhone>" },
                              { "records", QJsonObject { { "11", QJsonObject { { "last name", "Kim" },
                                  { "com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact" } } } } } });
        QVERIFY(sim.isReady());
        SimLayer layer;
        MainWindow w(&layer);
        QTRY_VERIFY_WITH_TIMEOUT(device(w, kUdid), 20000);
        QCOMPARE(device(w, kUdid)->name, QStringLiteral("Kim's <iPhone>"));
        const QString cache = data->dataFolder().filePath("ios_cache/" + kUdid);
        QCOMPARE(namesIn(cache), QStringList { "Kim" });
        QCOMPARE(w.mainTreeModel()->nodeOf(w.form()->treeMain->currentIndex()), device(w, kUdid));
        QVERIFY(sim.control("detach " + kUdid));
        QTRY_VERIFY(!device(w, kUdid));
        QVERIFY(QFile::exists(cache));
    }

    void androidUsbArrivesAndLeaves()
    {
        CompanionSim app;
        const quint16 appPort = app.start({ { "device", "Pixel" }, { "contacts", QJsonArray { phoneContact("Cy", "Wu") } } },
                                          { "backup" }).value(0);
        auto adbd = std::make_unique<FakeAdbd>(QJsonObject { { "auth", "none" },
                                                             { "tcp", QJsonObject { { "*", QString::number(appPort) } } } });
        SimLayer layer;
        layer.adbdPort = adbd->port();
        MainWindow w(&layer);
        const QString id = QStringLiteral("127.0.0.1:%1").arg(adbd->port());
        QTRY_VERIFY_WITH_TIMEOUT(device(w, id), 20000);
        QCOMPARE(device(w, id)->name, QStringLiteral("Pixel"));
        QCOMPARE(namesIn(device(w, id)->db->path()), QStringList { "Cy Wu" });
        adbd.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!device(w, id), 10000);
    }

    void authorisationIsAskedUntilGivenOrAborted_data()
    {
        QTest::addColumn<Auth>("auth");
        QTest::addColumn<Buttons>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("read");
        using A = UsbAuthorisation;
        QTest::newRow("authorised at once") << Auth { A::Authorised } << Buttons {} << 0 << true;
        QTest::newRow("two waits, Retry") << Auth { A::Waiting, A::Waiting, A::Authorised }
                                          << Buttons { QMessageBox::Retry, QMessageBox::Retry } << 2 << true;
        QTest::newRow("Abort") << Auth { A::Waiting } << Buttons { QMessageBox::Abort } << 1 << false;
        QTest::newRow("unplugged while asked") << Auth { A::Waiting, A::Gone } << Buttons { QMessageBox::Retry } << 1
                                               << false;
    }
    void authorisationIsAskedUntilGivenOrAborted()
    {
        SimLayer layer;
        layer.scripted = true;
        QFETCH(Auth, auth);
        layer.auth = auth;
        MainWindow w(&layer);
        const int before = boxes->count();
        QFETCH(Buttons, answers);
        for (auto answer : answers)
            boxes->answerNext(answer);
        w.androidDeviceConnected(QStringLiteral("usb:1"), PAdbUSBHandle());
        QTEST(int(boxes->count() - before), "questions");
        if (boxes->count() > before)
            QVERIFY(boxes->texts().constLast().contains("usb&lt;1&gt;"));
        QFETCH(bool, read);
        QCOMPARE(device(w, "usb<1>") != nullptr, read);
        QCOMPARE(QFile::exists(data->dataFolder().filePath("android_cache/usb%3C1%3E")), read);
    }

    // A hostile id from the phone names a file inside the cache folder only;
    // Disconnect Device removes a device node and nothing else.
    void wifiPhoneAndDisconnectDevice()
    {
        data->writeDb("data", "Home.db", { { "Ann Lee", "1", "", "" } });
        const QString address = QStringLiteral("127.0.0.61");
        CompanionSim app(address);
        app.start({ { "device", "Tab" }, { "deviceId", "../data/x" } }, { "wifi" });
        SimLayer layer;
        MainWindow w(&layer);
        ModalDialogAnswerer answer([&](QWidget* dialog) {
            dialog->findChild<QLineEdit*>("txtWifiSocket")->setText(address);
            QTest::mousePress(dialog->findChild<QPushButton*>("btnConnect"), Qt::LeftButton);
        });
        w.miToolsConnectViaWiFi();
        QVERIFY(answer.answered());
        QVERIFY(device(w, "../data/x"));
        QCOMPARE(device(w, "../data/x")->name, QStringLiteral("Tab"));
        QVERIFY(QFile::exists(data->dataFolder().filePath("android_cache/..%2Fdata%2Fx")));
        QVERIFY(!QFile::exists(data->dataFolder().filePath("data/x")));
        makeCurrent(w, "Home.db");
        w.miTreeUnmount();
        QVERIFY(DataFolderFixture::findNode(w.mainTreeModel(), "Home.db").isValid());
        makeCurrent(w, "Tab");
        w.miTreeUnmount();
        QVERIFY(!device(w, "../data/x"));
    }

    // The update check's reply and a device event that come while a box of
    // a road is open run after it, in the order they came.
    void eventsWaitForTheRoadInOrder()
    {
        GateKeepingCheck check;
        SimLayer layer;
        MainWindow w(&layer, &check);
        const int before = boxes->count();
        QStringList ran;
        boxes->setWhileOpen([&](QMessageBox&) {
            if (!ran.isEmpty())
                return;
            check.gate([&] { ran << "reply"; });
            w.androidDeviceConnectedFailed2("usb:2");
            ran << "box open";
        });
        w.androidDeviceConnectedFailed2("usb:1");
        QTRY_COMPARE(boxes->count() - before, 2);
        QCOMPARE(ran, QStringList({ "box open", "reply" }));
        QVERIFY(boxes->texts().constLast().contains("usb: usb:2"));
    }

    // A saved phone database is offered but never written: the road stops
    // with a clear error before any phone step and keeps the node.
    void savedDeviceIsNotConnected()
    {
        data->writeDb("data", "Home.db", { { "Ann Lee", "111", "", "" } });
        data->writeDb("ios_virtual", "src.db", { { "Bo Kim", "222", "", "" } });
        SimLayer layer;
        MainWindow w(&layer);
        const QSharedPointer<LocalDb> saved = device(w, "src.db")->db;
        makeCurrent(w, "Home.db");
        auto pick = picker("src");
        w.miTreeDB2I();
        QVERIFY(pick->answered());
        QVERIFY(boxes->texts().constLast().contains("is not connected"));
        QCOMPARE(device(w, "src.db")->db, saved);
        QCOMPARE(namesIn(saved->path()), QStringList { "Bo Kim" });
    }

    // A cancel keeps the batches the phone took before it; the phone is then
    // read again, so its database shows them.
    void cancelKeepsEarlierBatches()
    {
        QList<DataFolderFixture::Person> people;
        for (int i = 0; i < 25; ++i)
            people.append({ QStringLiteral("P%1 Ko").arg(i, 2, 10, QChar('0')), "", "", "" });
        data->writeDb("data", "Home.db", people);
        IPhoneSimulator sim({});
        SimLayer layer;
        MainWindow w(&layer);
        QTRY_VERIFY_WITH_TIMEOUT(device(w, kUdid), 20000);
        makeCurrent(w, "Home.db");
        auto pick = picker("Simulated iPhone");
        QTimer watch;
        ModalDialogAnswerer cancel([&](QWidget* form) {
            connect(&watch, &QTimer::timeout, form, [form, &watch] {
                if (form->findChild<QLabel*>("lbProgress")->text().contains(QRegularExpression("(1[1-9]|2[1-4])/25"))) {
                    watch.stop();
                    QMetaObject::invokeMethod(form, "cancel");
                }
            });
            watch.start(1);
        });
        cancel.setMatch([](QWidget* dialog) { return dialog->inherits("ProgressForm"); });
        boxes->answerNext(QMessageBox::Yes);
        w.miTreeDB2I();
        QVERIFY(cancel.answered());
        const int kept = int(namesIn(device(w, kUdid)->db->path()).size());
        QVERIFY2(kept % 10 == 0 && kept > 0 && kept < 25, qPrintable(QString::number(kept)));
    }

    // Every direction, from a local database or a saved phone database to a
    // simulated phone; a failing phone is read again and keeps what it had.
    void transfersReachThePhone_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("slot");
        QTest::addColumn<bool>("toIos");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QStringList>("arrived");
        const QStringList both { "Ann Lee", "Bo Kim" }, work { "Ann Lee" };
        QTest::newRow("DB2I") << "data" << "Home.db" << "miFileDB2I" << true << QJsonObject() << both;
        QTest::newRow("I2I group") << "ios_virtual" << "Work" << "miTreeI2I" << true << QJsonObject() << work;
        QTest::newRow("A2I selection") << "android_virtual" << "src" << "miContactA2I" << true << QJsonObject() << work;
        QTest::newRow("I2A") << "ios_virtual" << "src" << "miFileI2A" << false << QJsonObject() << both;
        QTest::newRow("A2A group") << "android_virtual" << "Work" << "miTreeA2A" << false << QJsonObject() << work;
        QTest::newRow("DB2A selection") << "data" << "Home.db" << "miFileDB2A" << false << QJsonObject() << work;
        QTest::newRow("iPhone fails")
            << "data" << "Home.db" << "miTreeDB2I" << true
            << QJsonObject { { "fault", QJsonObject { { "at", "SDMessageProcessChanges" }, { "kind", "drop" } } } }
            << QStringList();
        // The phone stored the contacts before it refused: the new read shows them.
        QTest::newRow("Android fails") << "data" << "Home.db" << "miTreeDB2A" << false
                                       << QJsonObject { { "faults", QJsonObject { { "restore:1", "error:Full" } } } }
                                       << both;
    }
    void transfersReachThePhone()
    {
        QFETCH(QString, folder);
        QFETCH(QString, source);
        QFETCH(QString, slot);
        QFETCH(bool, toIos);
        QFETCH(QJsonObject, fault);
        QFETCH(QStringList, arrived);
        data->writeDb(folder, folder == "data" ? "Home.db" : "src.db",
                      { { "Ann Lee", "111", "", "Work" }, { "Bo Kim", "222", "", "" } });
        QJsonObject iphoneScenario = fault;
        iphoneScenario["name"] = "Target iPhone";
        std::unique_ptr<IPhoneSimulator> iphone(toIos ? new IPhoneSimulator(iphoneScenario) : nullptr);
        SimLayer layer;
        MainWindow w(&layer);
        CompanionSim app(QStringLiteral("127.0.0.62"));
        const QString id = toIos ? kUdid : QStringLiteral("tab-1");
        if (toIos) {
            QTRY_VERIFY_WITH_TIMEOUT(device(w, kUdid), 20000);
        } else {
            QJsonObject scenario = fault;
            scenario["device"] = "Target";
            connectWifi(w, app, id, scenario);
        }
        const QSharedPointer<LocalDb> before = device(w, id)->db;
        // A group shows once its database node was current.
        makeCurrent(w, folder == "data" ? "Home.db" : "src");
        makeCurrent(w, source);
        if (slot.contains("Contact") || slot.contains("DB2A")) // the first row of the list selected
            w.form()->treeContacts->setCurrentIndex(w.contactsListModel()->index(0, 0));
        auto pick = picker(toIos ? "Target iPhone" : "Target");
        QVERIFY(QMetaObject::invokeMethod(&w, qPrintable(slot)));
        QVERIFY(pick->answered());
        QVERIFY(device(w, id));
        QCOMPARE(namesIn(device(w, id)->db->path()), arrived);
        QCOMPARE(device(w, id)->db != before, !fault.isEmpty()); // read again after the failure
        const QByteArray phone = toIos ? QJsonDocument(iphone->phoneRecords()).toJson() : QJsonDocument(app.dump(2)).toJson();
        for (const QString& name : { QStringLiteral("Lee"), QStringLiteral("Kim") })
            QCOMPARE(phone.contains(toIos ? name.toUtf8() : name.toUtf8().toBase64()), arrived.join(' ').contains(name));
    }

    // Phones that leave or come back while a road runs: the events wait for
    // its end, then run in order; databases stay whole.
    void devicesComingAndGoingDuringATransfer_data()
    {
        QTest::addColumn<QStringList>("meanwhile");
        QTest::addColumn<bool>("fromIphone");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QStringList>("arrived");
        QTest::newRow("target leaves") << QStringList { "detach" } << false << false << QStringList();
        QTest::newRow("target comes back") << QStringList { "detach", "attach" } << false << true
                                           << QStringList { "Ann Lee", "Kim" };
        QTest::newRow("source leaves") << QStringList { "detach" } << true << false << QStringList { "Kim" };
    }
    void devicesComingAndGoingDuringATransfer()
    {
        data->writeDb("data", "Home.db", { { "Ann Lee", "111", "", "" } });
        IPhoneSimulator sim({ { "records", QJsonObject { { "11", QJsonObject { { "last name", "Kim" },
                                  { "com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact" } } } } } });
        SimLayer layer;
        MainWindow w(&layer);
        QTRY_VERIFY_WITH_TIMEOUT(device(w, kUdid), 20000);
        QFETCH(bool, fromIphone);
        CompanionSim app(QStringLiteral("127.0.0.63"));
        if (fromIphone)
            connectWifi(w, app, "tab-2", { { "device", "Target" } });
        makeCurrent(w, fromIphone ? "Simulated iPhone" : "Home.db");
        QFETCH(QStringList, meanwhile);
        auto pick = picker(fromIphone ? "Target" : "Simulated iPhone", [&] {
            for (const QString& step : meanwhile) {
                QVERIFY(sim.control(step + ' ' + kUdid));
                QTest::qWait(200); // the event arrives and waits
            }
            QVERIFY(device(w, kUdid));
        });
        QVERIFY(QMetaObject::invokeMethod(&w, fromIphone ? "miTreeI2A" : "miTreeDB2I"));
        QVERIFY(pick->answered());
        QTest::qWait(500);
        QTRY_VERIFY(!w.roadRunning());
        QTEST(device(w, kUdid) != nullptr, "kept");
        QTEST(namesIn(fromIphone ? device(w, "tab-2")->db->path() : data->dataFolder().filePath("ios_cache/" + kUdid)),
              "arrived");
    }
};

QTEST_MAIN(TestPhones)
#include "tst_phones.moc"
