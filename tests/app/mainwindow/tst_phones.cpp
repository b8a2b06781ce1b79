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
#include "actionscene.h"
#include "common/sqlprobe.h"
#include "companionsim.h"
#include "fakeadbd.h"
#include "iphonesimulator.h"
#include "model/localdb.h"
#include "phonefaultroads.h"
#include "support/guistallprobe.h"
#include "support/timebounds.h"
#include "support/recordingreporter.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <optional>

using Auth = QList<UsbAuthorisation>;
using Buttons = QList<QMessageBox::StandardButton>;
using A = UsbAuthorisation;

namespace {

const QString kUdid = QString::fromLatin1(IPhoneSimulator::kUdid);
// The records of one phone contact, Cy Wu.
const QJsonArray kCyWu { QJsonObject { { "type", 1 }, { "fields", QJsonArray { "", "Q3k=", "", "V3U=" } } } };
const QJsonObject kKim { { "records", QJsonObject { { "11", QJsonObject { { "last name", "Kim" },
    { "com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact" } } } } } };

// The real layer; its USB poller looks at a simulated adbd. With a script
// the authorisation answers come from it, and the road stops where it would
// reach the phone's companion app.
class SimLayer : public PhoneDeviceLayer {
public:
    quint16 adbdPort = 1;
    std::optional<Auth> auth;
    UsbAuthorisation waitForUsbAuthorisation(const PAdbUSBHandle& h, int ms) override
    {
        return !auth ? PhoneDeviceLayer::waitForUsbAuthorisation(h, ms) : auth->isEmpty() ? A::Gone : auth->takeFirst();
    }
    QString usbDeviceId(const PAdbUSBHandle& h) override { return auth ? "usb<1>" : PhoneDeviceLayer::usbDeviceId(h); }
    PAndroidConnector usbConnector(const PAdbUSBHandle& h) override
    {
        reached = true;
        return auth ? nullptr : PhoneDeviceLayer::usbConnector(h);
    }
    bool reached = false;
    // The iPhone watch the window was given.
    AbsIosDeviceWatch* iosWatch = nullptr;
    std::unique_ptr<AbsIosDeviceWatch> createIosDeviceWatch() override
    {
        auto watch = PhoneDeviceLayer::createIosDeviceWatch();
        iosWatch = watch.get();
        return watch;
    }

protected:
    std::unique_ptr<AbsAdbPoll> createAdbPoll(int) override
    {
        return std::make_unique<AdbEmuPoll>(50, nullptr, QStringLiteral("127.0.0.1"), adbdPort, adbdPort);
    }
};

class GateKeepingCheck : public IUpdateCheck {
public:
    void start(std::function<void()>) override {}
    void setReplyGate(Gate g) override { gate = std::move(g); }
    Gate gate;
};

ItemModelMainTree::_DBItemNode* device(MainWindow& w, const QString& id)
{
    for (auto* child : w.mainTreeModel()->devicesRootNode()->children)
        if (auto* node = dynamic_cast<ItemModelMainTree::_DBItemNode*>(child); node && node->id == id)
            return node;
    return nullptr;
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

// Whether the simulated phone holds a record of `kind` whose texts contain
// `text`.
bool phoneHolds(const QJsonObject& records, const char* kind, const QString& text)
{
    for (const QJsonValue& record : records) {
        const QJsonObject fields = record.toObject();
        if (fields["com.apple.syncservices.RecordEntityName"].toString() != QLatin1String("com.apple.contacts.") + kind)
            continue;
        for (const QJsonValue& value : fields)
            if (value.toString().contains(text))
                return true;
    }
    return false;
}

// The number of contact records the simulated phone holds.
int contactRecords(const QJsonObject& records)
{
    return int(std::count_if(records.begin(), records.end(), [](const QJsonValue& record) {
        return record.toObject()["com.apple.syncservices.RecordEntityName"].toString() == "com.apple.contacts.Contact";
    }));
}

// The words of a failed write against what the phone holds of the contact
// written (Ann Lee, or one without a name, new beside the phone's four):
// nothing it holds is called not written, nothing it lacks kept; what it
// holds unconfirmed is said to be maybe on it, and then nothing advises a
// repeat, which could write it twice. No contact is named "".
void checkWordsAgainstPhone(const PhoneFaultRow& row, const QString& ending, const QJsonObject& records)
{
    const bool contact = row.road == PhoneFaultRow::IphoneEdit ? phoneHolds(records, "Contact", "Lee")
                                                               : contactRecords(records) > 4;
    const bool number = phoneHolds(records, "Phone Number", row.writtenNumber());
    const bool unsure = ending.contains("may be on the phone");
    QVERIFY2(!ending.contains("\"\""), qPrintable(ending));
    QVERIFY2(!contact || !ending.contains("No contact was written"), qPrintable(ending));
    QVERIFY2(!number || !ending.contains("\"" + row.writtenName() + "\" were not written"), qPrintable(ending));
    QVERIFY2(contact || !ending.contains("written to the iPhone and kept"), qPrintable(ending));
    QVERIFY2(!(contact || number) || unsure || ending.contains("kept"), qPrintable(ending));
    QVERIFY2(!unsure || (ending.contains("read again") && !ending.contains("try again") && !ending.contains("repeat")),
             qPrintable(ending));
}

// Picks `target` in the transfer's selection dialog once `meanwhile` ran.
std::unique_ptr<ModalDialogAnswerer> picker(const QString& target, std::function<void()> meanwhile = [] {})
{
    return answerDialog("DataSourceSelForm", [target, meanwhile](QWidget* dialog) {
        meanwhile();
        QCOMPARE(dialog->windowTitle(), dialog->findChild<QLabel*>("lbSelDevice")->text());
        QVERIFY2(!dialog->windowTitle().isEmpty() && dialog->windowTitle() != "Dialog", qPrintable(dialog->windowTitle()));
        auto* box = dialog->findChild<QComboBox*>("cbDevice");
        box->setCurrentIndex(box->findText(target));
        QTest::mousePress(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
}

} // namespace

class TestPhones : public QObject {
    Q_OBJECT
    std::unique_ptr<DataFolderFixture> data;
    std::unique_ptr<MessageBoxRecorder> boxes;

private slots:
    void initTestCase()
    {
        AdbConnector::setWaits({ 0, 0 });
        // The simulated app opens a port as soon as it is asked to: the
        // program's three seconds for a phone's app to start are needless.
        AndroidWifiConnector::Waits waits;
        waits.afterStartMs = 300;
        AndroidWifiConnector::setWaits(waits);
    }
    void init()
    {
        data = std::make_unique<DataFolderFixture>();
        boxes = std::make_unique<MessageBoxRecorder>();
    }
    void cleanup() { boxes.reset(), data.reset(); }

    void cacheFileNameStaysInItsFolder()
    {
        const QList<QStringList> rows { { kUdid, kUdid }, { "../data/x", "..%2Fdata%2Fx" }, { "", "%" },
                                        { "..", "%2E%2E" }, { "R5 4/é%", "R5%204%2F%C3%A9%25" } };
        for (const QStringList& row : rows) {
            const QFileInfo path(deviceCachePath(QStringLiteral("android_cache"), row[0]));
            QCOMPARE(path.fileName(), row[1]);
            QCOMPARE(path.absolutePath(), data->dataFolder().filePath("android_cache"));
        }
    }

    void androidUsbArrivesAndLeaves()
    {
        CompanionSim app(CompanionSim::kLocalHost); // where the forward leads
        const quint16 appPort = app.start({ { "device", "Pixel" }, { "contacts", QJsonArray { kCyWu } } }, { "backup" })[0];
        auto adbd = std::make_unique<FakeAdbd>(
            QJsonObject { { "auth", "none" }, { "tcp", QJsonObject { { "*", QString::number(appPort) } } } });
        SimLayer layer;
        layer.adbdPort = adbd->port();
        MainWindow w(&layer);
        const QString id = QStringLiteral("127.0.0.1:%1").arg(adbd->port());
        QTRY_VERIFY_WITH_TIMEOUT(device(w, id), timebound::kWaitMs);
        QCOMPARE(device(w, id)->name, QStringLiteral("Pixel"));
        QCOMPARE(ActionScene::stored(device(w, id)->db->path()), QStringList { "Cy Wu" });
        adbd.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!device(w, id), timebound::kWaitMs);
    }

    void iPhoneWarningOnlyWithoutMultiplexer_data()
    {
        QTest::addColumn<bool>("daemon");
        QTest::newRow("multiplexer answers") << true;
        QTest::newRow("stale socket, no daemon") << false;
    }

    void iPhoneWarningOnlyWithoutMultiplexer()
    {
        QFETCH(bool, daemon);
        std::unique_ptr<IPhoneSimulator> sim(daemon ? new IPhoneSimulator({ { "devices", QJsonArray {} } }) : nullptr);
        std::unique_ptr<DeadMultiplexer> dead(daemon ? nullptr : new DeadMultiplexer);
        SimLayer layer;
        MainWindow w(&layer);
        // The answer comes queued, after the window has been built.
        QSignalSpy answered(layer.iosWatch, &AbsIosDeviceWatch::started);
        QVERIFY(answered.wait(timebound::kWaitMs));
        const QStringList warnings = boxes->texts().filter(QRegularExpression("^Failed to detect iPhone\\."));
        QCOMPARE(warnings.size(), daemon ? 0 : 1);
#ifndef Q_OS_MACOS
        // The warning names what to do on this system.
        if (!daemon)
            QVERIFY(warnings.constFirst().contains("usbmuxd"));
#endif
    }

    void authorisationIsAskedUntilGivenOrAborted_data()
    {
        QTest::addColumn<Auth>("auth");
        QTest::addColumn<Buttons>("answers");
        QTest::addColumn<bool>("reached");
        QTest::newRow("authorised at once") << Auth { A::Authorised } << Buttons {} << true;
        QTest::newRow("two waits, Retry") << Auth { A::Waiting, A::Waiting, A::Authorised }
                                          << Buttons { QMessageBox::Retry, QMessageBox::Retry } << true;
        QTest::newRow("Abort") << Auth { A::Waiting } << Buttons { QMessageBox::Abort } << false;
        QTest::newRow("unplugged while asked") << Auth { A::Waiting, A::Gone } << Buttons { QMessageBox::Retry } << false;
    }
    void authorisationIsAskedUntilGivenOrAborted()
    {
        QFETCH(Auth, auth);
        QFETCH(Buttons, answers);
        SimLayer layer;
        layer.auth = auth;
        MainWindow w(&layer);
        const int before = boxes->count();
        for (auto button : answers)
            boxes->answerNext(button);
        w.androidDeviceConnected(QStringLiteral("usb:1"), PAdbUSBHandle());
        QCOMPARE(boxes->count() - before, int(answers.size()));
        QVERIFY(answers.isEmpty() || boxes->texts().constLast().contains("usb&lt;1&gt;"));
        QTEST(layer.reached, "reached");
    }

    // A hostile id from the phone names a file inside the cache folder only.
    // A saved phone is no transfer target: the picker leaves it out and it
    // is not written; the update check's reply waits for the road.
    // Disconnect Device removes a device node and nothing else.
    void wifiPhoneSavedTargetAndDisconnect()
    {
        data->writeDb("data", "Home.db", { { "Ann Lee", "1", "", "" } });
        data->writeDb("ios_virtual", "src.db", { { "Bo Kim", "2", "", "" } });
        CompanionSim app;
        app.start({ { "device", "Tab" }, { "deviceId", "../data/x" } }, { "wifi" });
        GateKeepingCheck check;
        SimLayer layer;
        MainWindow w(&layer, &check);
        auto dialog = answerDialog("AndroidWIFIForm", [&app](QWidget* form) {
            form->findChild<QLineEdit*>("txtWifiSocket")->setText(app.address());
            QTest::mousePress(form->findChild<QPushButton*>("btnConnect"), Qt::LeftButton);
        });
        w.miToolsConnectViaWiFi();
        QCOMPARE(device(w, "../data/x")->name, QStringLiteral("Tab"));
        QVERIFY(QFile::exists(data->dataFolder().filePath("android_cache/..%2Fdata%2Fx")));
        QVERIFY(!QFile::exists(data->dataFolder().filePath("data/x")));

        const QSharedPointer<LocalDb> saved = device(w, "src.db")->db;
        QVERIFY(showNode(w, "Home.db"));
        bool replied = false;
        QStringList offered { "?" };
        auto pick = answerDialog("DataSourceSelForm", [&](QWidget* dialog) {
            check.gate([&] { replied = true; });
            auto* box = dialog->findChild<QComboBox*>("cbDevice");
            offered.clear();
            for (int i = 0; i < box->count(); ++i)
                offered << box->itemText(i);
            QTest::mousePress(dialog->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
        });
        w.miTreeDB2I();
        QVERIFY(offered.isEmpty() && !replied);
        QCOMPARE(device(w, "src.db")->db, saved);
        QCOMPARE(ActionScene::stored(saved->path()), QStringList { "Bo Kim" });
        QTRY_VERIFY(replied);

        for (const char* node : { "Home.db", "Tab" })
            showNode(w, node), w.miTreeUnmount();
        QVERIFY(DataFolderFixture::findNode(w.mainTreeModel(), "Home.db").isValid());
        QVERIFY(!device(w, "../data/x"));
    }

    // A cancel keeps the batches the phone took before it; the phone is then
    // read again, so its database shows them.
    void cancelKeepsEarlierBatches()
    {
        QList<DataFolderFixture::Person> people;
        for (int i = 0; i < 25; ++i)
            people.append({ QStringLiteral("P%1 Ko").arg(i, 2, 10, QChar('0')), "", "", "" });
        data->writeDb("data", "Home.db", people);
        // Slow enough that a loaded machine still cancels before the phone
        // takes the last batch.
        IPhoneSimulator sim({ { "slow_ms", 1000 } });
        SimLayer layer;
        MainWindow w(&layer);
        QTRY_VERIFY_WITH_TIMEOUT(device(w, kUdid), timebound::kWaitMs);
        QVERIFY(showNode(w, "Home.db"));
        auto pick = picker("Simulated iPhone");
        QTimer watch; // cancels within the second or third batch
        auto cancel = answerWorkProgress([&watch](QWidget* form) {
            QObject::connect(&watch, &QTimer::timeout, form, [form, &watch] {
                if (form->findChild<QLabel*>("lbProgress")->text().contains(QRegularExpression("(1[1-9]|2[0-4])/25")))
                    watch.stop(), QMetaObject::invokeMethod(form, "cancel");
            });
            watch.start(1);
        });
        boxes->answerNext(QMessageBox::Yes);
        w.miTreeDB2I();
        const int kept = int(ActionScene::stored(device(w, kUdid)->db->path()).size());
        QVERIFY2(kept % 10 == 0 && kept > 0 && kept < 25, qPrintable(QString::number(kept)));
    }

    // Every fault of the simulated iPhone, met on its arrival read or while
    // contacts are written to it: the window's own thread never freezes while
    // the road runs (how long it paused is printed here and by
    // bench_phone_stalls), a confirmed cancel closes the dialog at once, and
    // a failure reads as a sentence without library codes. After a write the
    // phone is read again: its database claims the records the phone holds,
    // and the ending's words match them.
    void iphoneFaultsNeverHoldTheWindow_data()
    {
        QTest::addColumn<int>("row");
        const QList<PhoneFaultRow> rows = iphoneFaultRows();
        for (int i = 0; i < rows.size(); ++i)
            QTest::newRow(rows[i].name) << i;
    }
    void iphoneFaultsNeverHoldTheWindow()
    {
        QFETCH(int, row);
        const PhoneFaultRow fault = iphoneFaultRows().at(row);
        const PhoneFaultRun run = runPhoneFaultRow(fault, *data, *boxes);
        QVERIFY2(run.problem.isEmpty(), qPrintable(run.problem));
        qInfo("longest pause of the window's thread: %lld ms", run.longestStallMs);
        QVERIFY2(run.longestStallMs < timebound::kFreezeMs, qPrintable(QString::number(run.longestStallMs)));
        if (fault.cancel) {
            qInfo("the dialog closed %lld ms after the cancel", run.cancelToCloseMs);
            QVERIFY2(run.cancelToCloseMs >= 0 && run.cancelToCloseMs < timebound::kFreezeMs,
                     qPrintable(QString::number(run.cancelToCloseMs)));
            if (fault.road == PhoneFaultRow::IphoneRead)
                QVERIFY(!run.iphoneShown);
        } else if (fault.ending == "node") {
            QVERIFY(run.iphoneShown);
        } else {
            const QStringList texts = run.boxes.filter("An Error Occurred");
            const QString text = texts.value(0);
            QVERIFY2(texts.size() == 1 && text.contains(fault.ending) && !text.contains("return") && !text.contains("mobilesync"),
                     qPrintable(texts.join('|')));
            QCOMPARE(run.iphoneShown, fault.writesIphone()); // a failed write reads the phone again
            if (fault.writesIphone())
                checkWordsAgainstPhone(fault, text, run.iphoneRecords);
        }
        if (fault.writesIphone()) {
            QStringList claimed = run.iphoneClaimedIds;
            claimed.sort();
            QCOMPARE(claimed, run.iphoneRecords.keys());
        }
    }

    // An edit of an iPhone contact through the real device layer: stored
    // first, as the window does, then sent; the phone holds the new job title
    // and phone number, and the number's phone id is written back. A link
    // that drops reads as a sentence that says what may be on the phone, and
    // names a contact without a name by its company, else its number (the
    // editor takes no such contact; the phone and other files hold them).
    void iphoneEditReachesThePhone_data()
    {
        QTest::addColumn<QString>("contact"); // the phone's Kim, or its contact of "company" or "number"; or "new ..."
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("error");
        const QJsonObject drop { { "at", "SDMessageProcessChanges" }, { "kind", "drop" } };
        const QString dropped = "The iPhone was disconnected while the change was sent to it. ";
        const QString reread = " Its contacts are read again, so the list shows what it holds.";
        const auto changes = [&](const QString& name) {
            return dropped + "Changes to " + name + " were sent to the iPhone, which did not confirm them; they may be on "
                   "the phone. Some details of " + name + " were not written." + reread;
        };
        QTest::newRow("taken") << "Kim" << QJsonObject() << "";
        // The job title went out with the contact record, which the phone
        // may have stored before the link dropped; the number never went out.
        QTest::newRow("link drops") << "Kim" << drop << changes("\"Kim\"");
        QTest::newRow("link drops, a contact of a company only") << "company" << drop << changes("\"Acme\"");
        QTest::newRow("link drops, a contact of a number only") << "number" << drop << changes("\"+1 555 0100\"");
        QTest::newRow("link drops, a new contact of a company only")
            << "new company" << drop
            << dropped + "The new contact \"Acme Ltd\" was sent to the iPhone, which did not confirm it; it may be on the "
                         "phone. Some details of \"Acme Ltd\" were not written." + reread;
        QTest::newRow("no id for a new contact of a number only")
            << "new number" << QJsonObject { { "at", "SDMessageProcessChanges" }, { "kind", "noids" } }
            << "The iPhone answered without confirming the new contact \"+82 2 1234\"; it may be on the phone. Some "
               "details of \"+82 2 1234\" were not written." + reread;
    }
    void iphoneEditReachesThePhone()
    {
        QFETCH(QString, contact);
        QFETCH(QJsonObject, fault);
        QFETCH(QString, error);
        QJsonObject scenario = kKim;
        const auto entry = [](const char* kind, QJsonObject fields) {
            fields["com.apple.syncservices.RecordEntityName"] = QLatin1String("com.apple.contacts.") + kind;
            return fields;
        };
        if (contact == "company")
            scenario["records"] = QJsonObject { { "11", entry("Contact", { { "company name", "Acme" } }) } };
        if (contact == "number")
            scenario["records"] = QJsonObject { { "11", entry("Contact", {}) },
                { "3/11/21", entry("Phone Number", { { "value", "+1 555 0100" }, { "contact", QJsonArray { "11" } } }) } };
        if (!fault.isEmpty())
            scenario["fault"] = fault;
        IPhoneSimulator sim(scenario);
        SimLayer layer;
        MainWindow w(&layer);
        QTRY_VERIFY_WITH_TIMEOUT(device(w, kUdid), timebound::kWaitMs);
        const QSharedPointer<LocalDb> db = device(w, kUdid)->db;
        pim::_Contact edited = db->contact(1);
        if (contact.startsWith("new")) {
            edited = pim::_Contact();
            db->insertContactBase(edited);
        }
        QCOMPARE(edited.fullName.isEmpty(), contact != "Kim");
        DeviceChanges change;
        pim::Entity org(0, QString()), phone(0, QString());
        org.fields = { { "data4", "Chemist" }, { "data2", 1 } };
        if (contact == "new company")
            org.fields["data1"] = "Acme Ltd";
        phone.fields = { { "data1", "+82 2 1234" }, { "data2", 2 } };
        if (contact != "new number") {
            db->insertEntity(edited.id, pim::ENTITY_ORG, org);
            change.changes << _ChangeData(pim::ENTITY_ORG, _ChangeData::ACTION_ADDED, org);
        }
        db->insertEntity(edited.id, pim::ENTITY_PHONE, phone);
        change.changes << _ChangeData(pim::ENTITY_PHONE, _ChangeData::ACTION_ADDED, phone);
        change.contact = db->contact(edited.id);
        RecordingReporter reporter;
        auto worker = layer.createSendChangesWorker({ 1, kUdid, db }, change, &reporter);
        QVERIFY(worker);
        worker->start();
        QVERIFY(worker->wait(timebound::kWaitMs));
        QCOMPARE(reporter.errors(), error.isEmpty() ? QStringList() : QStringList { error });
        if (!error.isEmpty())
            return;
        const QJsonObject onPhone = sim.phoneRecords();
        QCOMPARE(onPhone["11"].toObject()["job title"].toString(), QStringLiteral("Chemist"));
        QCOMPARE(onPhone["3/1001"].toObject()["value"].toString(), QStringLiteral("+82 2 1234"));
        QCOMPARE(SqlProbe(db->path()).column("select src_id from data where type = 3"), QStringList { "3/1001" });
    }

    // A group change goes to an Android phone in the worker's own edit,
    // kept only when the phone takes it (a refusing phone is read again).
    void groupChangeIsKeptOnlyWhenThePhoneTakesIt_data()
    {
        QTest::addColumn<QJsonObject>("faults");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("taken") << QJsonObject() << "ok Work";
        QTest::newRow("refused") << QJsonObject { { "restore:1", "error:No" } } << "error:No";
    }
    void groupChangeIsKeptOnlyWhenThePhoneTakesIt()
    {
        QFETCH(QJsonObject, faults);
        SimLayer layer;
        MainWindow w(&layer);
        CompanionSim app;
        connectWifi(w, app, "tab-3", { { "contacts", QJsonArray { kCyWu } }, { "faults", faults } });
        const QSharedPointer<LocalDb> db = device(w, "tab-3")->db;
        const DeviceChanges change { DeviceChanges::SetGroup, {}, {}, { db->contact(1) }, 0, "Work" };
        RecordingReporter reporter;
        auto worker = layer.createSendChangesWorker({ 2, "tab-3", db }, change, &reporter);
        worker->start();
        QVERIFY(worker->wait(timebound::kWaitMs));
        const QStringList groups = SqlProbe(db->path()).column("select name from contact_group");
        QTEST(reporter.errors().isEmpty() ? (QStringList { "ok" } + groups).join(' ') : "error:" + reporter.errors().join('|'),
              "outcome");
        QVERIFY(QJsonDocument(app.dump()).toJson().contains("V29yaw==")); // "Work" reached the phone
    }

    // Every direction, from a local database or a saved phone database to a
    // simulated phone; a failing phone is read again.
    void transfersReachThePhone_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QStringList>("arrived");
        const QStringList both { "Ann Lee", "Bo Kim" }, work { "Ann Lee" };
        QTest::newRow("DB2I") << "data" << "Home.db" << "miFileDB2I" << QJsonObject() << both;
        QTest::newRow("I2I group") << "ios_virtual" << "Work" << "miTreeI2I" << QJsonObject() << work;
        QTest::newRow("A2I selection") << "android_virtual" << "src" << "miContactA2I" << QJsonObject() << work;
        QTest::newRow("I2A") << "ios_virtual" << "src" << "miFileI2A" << QJsonObject() << both;
        QTest::newRow("A2A group") << "android_virtual" << "Work" << "miTreeA2A" << QJsonObject() << work;
        QTest::newRow("DB2A selection") << "data" << "Home.db" << "miFileDB2A" << QJsonObject() << work;
        QTest::newRow("iPhone fails") << "data" << "Home.db" << "miTreeDB2I"
            << QJsonObject { { "fault", QJsonObject { { "at", "SDMessageProcessChanges" }, { "kind", "drop" } } } }
            << QStringList();
        // The phone stored the contacts before it refused: the new read shows them.
        QTest::newRow("Android fails") << "data" << "Home.db" << "miTreeDB2A"
            << QJsonObject { { "faults", QJsonObject { { "restore:1", "error:Full" } } } } << both;
    }
    void transfersReachThePhone()
    {
        QFETCH(QString, folder);
        QFETCH(QString, source);
        QFETCH(QString, slot);
        QFETCH(QJsonObject, fault);
        QFETCH(QStringList, arrived);
        const bool toIos = slot.endsWith('I');
        data->writeDb(folder, folder == "data" ? "Home.db" : "src.db", { { "Ann Lee", "1", "", "Work" }, { "Bo Kim", "2", "", "" } });
        QJsonObject scenario = fault;
        scenario[toIos ? "name" : "device"] = "Target";
        std::unique_ptr<IPhoneSimulator> iphone(toIos ? new IPhoneSimulator(scenario) : nullptr);
        SimLayer layer;
        MainWindow w(&layer);
        CompanionSim app;
        const QString id = toIos ? kUdid : QStringLiteral("tab-1");
        if (!toIos)
            connectWifi(w, app, id, scenario);
        QTRY_VERIFY_WITH_TIMEOUT(device(w, id), timebound::kWaitMs);
        const QSharedPointer<LocalDb> before = device(w, id)->db;
        const QString root = folder == "data" ? "Home.db" : "src"; // its groups show once it was current
        QVERIFY(showNode(w, source == root ? root : root + '/' + source));
        if (slot.contains("Contact") || slot.contains("DB2A"))
            w.form()->treeContacts->setCurrentIndex(w.contactsListModel()->index(0, 0));
        auto pick = picker("Target");
        QVERIFY(QMetaObject::invokeMethod(&w, qPrintable(slot)));
        QCOMPARE(ActionScene::stored(device(w, id)->db->path()), arrived);
        QCOMPARE(device(w, id)->db != before, !fault.isEmpty());
        const QByteArray phone = QJsonDocument(toIos ? iphone->phoneRecords() : app.dump()).toJson();
        for (const QByteArray& name : { QByteArray("Lee"), QByteArray("Kim") })
            QCOMPARE(phone.contains(toIos ? name : name.toBase64()), arrived.join(' ').contains(name));
    }

    // A change sent to an Android phone whose app has stopped: one error, and
    // the phone's node stays with what the phone last gave, since it cannot
    // be read again.
    void failedChangeToAStoppedAppShowsOneError()
    {
        data->writeDb("data", "Home.db", { { "Ann Lee", "1", "", "" } });
        SimLayer layer;
        MainWindow w(&layer);
        auto app = std::make_unique<CompanionSim>();
        connectWifi(w, *app, "tab-5", { { "device", "Target" }, { "contacts", QJsonArray { kCyWu } } });
        QVERIFY(device(w, "tab-5"));
        const QString address = app->address();
        app.reset(); // the app stops: nothing listens on the phone any more
        QVERIFY(showNode(w, "Home.db"));
        const int before = boxes->count();
        auto pick = picker("Target");
        w.miTreeDB2A();
        QCOMPARE(boxes->count() - before, 1);
        QVERIFY2(boxes->texts().constLast().contains(address), qPrintable(boxes->texts().constLast()));
        QVERIFY(device(w, "tab-5"));
        QCOMPARE(ActionScene::stored(device(w, "tab-5")->db->path()), QStringList { "Cy Wu" });
        QVERIFY(!QFile::exists(device(w, "tab-5")->db->path() + ".reread"));
    }

    // A deletion an Android phone refuses after it has applied it: one error,
    // the phone is read again into a new node that holds what the phone
    // holds, and its list is read once.
    void refusedChangeRereadsThePhoneAndListsItOnce()
    {
        const QJsonArray annLee { QJsonObject { { "type", 1 }, { "fields", QJsonArray { "", "QW5u", "", "TGVl" } } } };
        SimLayer layer;
        MainWindow w(&layer);
        CompanionSim app;
        connectWifi(w, app, "tab-6",
                    { { "device", "Target" }, { "contacts", QJsonArray { kCyWu, annLee } },
                      { "faults", QJsonObject { { "restore:1", "error:No" } } } });
        QVERIFY(device(w, "tab-6"));
        QCOMPARE(w.currentNode().dbNode, device(w, "tab-6"));
        QTRY_VERIFY(!w.isListLoading());
        const QSharedPointer<LocalDb> before = device(w, "tab-6")->db;
        const int boxesBefore = boxes->count();
        QSignalSpy loads(&w, &MainWindow::contactListLoadStarted);
        QVERIFY(!w.delContacts({ before->contact(before->isContactBaseExist("Cy Wu")) }));
        QCOMPARE(loads.count(), 1);
        QCOMPARE(boxes->count() - boxesBefore, 1);
        QVERIFY(boxes->texts().constLast().contains("No"));
        QVERIFY(device(w, "tab-6") && device(w, "tab-6")->db != before);
        QCOMPARE(ActionScene::stored(device(w, "tab-6")->db->path()), QStringList { "Ann Lee" });
        QTRY_COMPARE(w.contactsListModel()->rowCount(), 1);
        QCOMPARE(loads.count(), 1);
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
        QFETCH(bool, fromIphone);
        QFETCH(QStringList, meanwhile);
        data->writeDb("data", "Home.db", { { "Ann Lee", "111", "", "" } });
        QJsonObject scenario = kKim;
        scenario["name"] = "Kim's <iPhone>";
        IPhoneSimulator sim(scenario);
        SimLayer layer;
        MainWindow w(&layer);
        QTRY_VERIFY_WITH_TIMEOUT(device(w, kUdid), timebound::kWaitMs); // arrival: read, shown, current
        QCOMPARE(w.mainTreeModel()->nodeOf(w.form()->treeMain->currentIndex()), device(w, kUdid));
        const QString cache = data->dataFolder().filePath("ios_cache/" + kUdid);
        QCOMPARE(ActionScene::stored(cache), QStringList { "Kim" });
        CompanionSim app;
        if (fromIphone)
            connectWifi(w, app, "tab-2", { { "device", "Target" } });
        QVERIFY(showNode(w, fromIphone ? "Kim's <iPhone>" : "Home.db"));
        auto pick = picker(fromIphone ? "Target" : "Kim's <iPhone>", [&] {
            for (const QString& step : meanwhile) {
                QVERIFY(sim.control(step + ' ' + kUdid));
                QTest::qWait(200); // the event arrives and waits
            }
            QVERIFY(device(w, kUdid));
        });
        QVERIFY(QMetaObject::invokeMethod(&w, fromIphone ? "miTreeI2A" : "miTreeDB2I"));
        QTest::qWait(500);
        QTRY_VERIFY_WITH_TIMEOUT(!w.roadRunning(), timebound::kWaitMs);
        QTEST(device(w, kUdid) != nullptr, "kept");
        QTEST(ActionScene::stored(fromIphone ? device(w, "tab-2")->db->path() : cache), "arrived");
        QVERIFY(sim.control("detach " + kUdid)); // departure: the node goes, the file stays
        QTRY_VERIFY_WITH_TIMEOUT(!device(w, kUdid), timebound::kWaitMs);
        QVERIFY(QFile::exists(cache));
    }

    // A daemon that takes the connection and never answers: the window is
    // built and stays responsive while it is asked, warns once, and closes
    // without waiting for it.
    void iPhoneWarningWithoutStallWhenTheMultiplexerHangs()
    {
        DeadMultiplexer hung(true);
        SimLayer layer;
        QElapsedTimer clock;
        clock.start();
        std::optional<MainWindow> w(std::in_place, &layer);
        const qint64 built = clock.elapsed();
        GuiStallProbe probe;
        QSignalSpy answered(layer.iosWatch, &AbsIosDeviceWatch::started);
        QVERIFY(answered.wait(timebound::kWaitMs));
        QCOMPARE(answered.constFirst().constFirst().toBool(), false);
        QTest::qWait(100);
        const qint64 longest = probe.longestMs();
        qInfo("window built in %lld ms, answer after %lld ms, longest pause of its thread since: %lld ms", built,
              clock.elapsed(), longest);
        // Asking the daemon on the window's thread would hold it for the
        // question's two seconds.
        QVERIFY2(built < timebound::kFreezeMs, qPrintable(QString::number(built)));
        QVERIFY2(longest < timebound::kFreezeMs, qPrintable(QString::number(longest)));
        QCOMPARE(boxes->texts().filter(QRegularExpression("^Failed to detect iPhone\\.")).size(), 1);
        clock.restart();
        w.reset();
        QVERIFY2(clock.elapsed() < timebound::kFreezeMs, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_MAIN(TestPhones)
#include "tst_phones.moc"
