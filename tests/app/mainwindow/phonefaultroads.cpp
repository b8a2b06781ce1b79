// SPDX-License-Identifier: GPL-3.0-or-later
#include "phonefaultroads.h"

#include "actionscene.h"
#include "android/adbconnector.h"
#include "android/androidwificonnector.h"
#include "app/itemmodelcontacts.h"
#include "app/itemmodelmaintree.h"
#include "app/mainwindow.h"
#include "common/sqlprobe.h"
#include "companionsim.h"
#include "fakeadbd.h"
#include "iphonesimulator.h"
#include "ios/mobiledevicesync.h"
#include "model/localdb.h"
#include "platform/adb/adbservices.h"
#include "support/guistallprobe.h"
#include "support/timebounds.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

namespace {

using Row = PhoneFaultRow;

// How long a stalled phone is given before the user cancels.
constexpr int kIphoneCancelAfterMs = 600;
constexpr int kAndroidCancelAfterMs = 300;
// How long an iPhone that keeps its answer is waited for, instead of the
// program's half minute: far longer than the simulated phone takes to answer.
constexpr int kIphoneAnswerWaitMs = 5000;

const QString kUdid = QString::fromLatin1(IPhoneSimulator::kUdid);
// The records of one phone contact, Cy Wu.
const QJsonArray kCyWu { QJsonObject { { "type", 1 }, { "fields", QJsonArray { "", "Q3k=", "", "V3U=" } } } };

QJsonObject iphoneFault(const char* at, const char* kind, int after = 0)
{
    QJsonObject fault { { "at", at }, { "kind", kind } };
    if (after > 0)
        fault["after"] = after;
    return QJsonObject { { "fault", fault } };
}

QJsonObject appFaults(const char* step, const char* fault)
{
    return QJsonObject { { "faults", QJsonObject { { step, fault } } } };
}

QJsonObject shell(const QJsonValue& entry)
{
    return QJsonObject { { "shell", QJsonObject { { "pm list packages -3", entry } } } };
}

ItemModelMainTree::_DBItemNode* iphoneNode(MainWindow& w)
{
    for (auto* child : w.mainTreeModel()->devicesRootNode()->children)
        if (auto* node = dynamic_cast<ItemModelMainTree::_DBItemNode*>(child); node && node->id == kUdid)
            return node;
    return nullptr;
}

bool iphoneShown(MainWindow& w)
{
    return iphoneNode(w) != nullptr;
}

// Picks `target` in the transfer's selection dialog.
std::unique_ptr<ModalDialogAnswerer> pick(const QString& target)
{
    return answerDialog("DataSourceSelForm", [target](QWidget* dialog) {
        auto* box = dialog->findChild<QComboBox*>("cbDevice");
        box->setCurrentIndex(box->findText(target));
        QTest::mousePress(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
    });
}

// Runs `start` and returns once the road it began has ended; false when it
// did not within the longest wait.
bool runRoad(const std::unique_ptr<MainWindow>& w, const std::function<void()>& start)
{
    bool seen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { seen = seen || (w && w->roadRunning()); });
    watch.start(2);
    start();
    return QTest::qWaitFor([&] { return seen && !w->roadRunning(); }, timebound::kWaitMs);
}

// Four contacts read one per batch; then Ann Lee written to the phone, added
// to it in the editor, or made of the first of them there.
PhoneFaultRun runIphoneRow(const Row& row, DataFolderFixture& data, MessageBoxRecorder& boxes)
{
    PhoneFaultRun run;
    QJsonObject scenario = row.phone;
    scenario["batch"] = 1;
    QJsonObject records;
    for (int i = 0; i < 4; ++i)
        records[QString::number(11 + i)] = QJsonObject { { "last name", QStringLiteral("Kim%1").arg(i) },
            { "com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact" } };
    scenario["records"] = records;
    const bool named = row.written == Row::AnnLee;
    data.writeDb("data", "Home.db",
        { { named ? row.writtenName() : QString(), row.writtenNumber(), "", "",
            row.written == Row::CompanyOnly ? row.writtenName() : QString() } });
    IPhoneSimulator sim(scenario);
    const int answerWait = mobiledevice_sync_client::defaultAnswerTimeoutMs();
    mobiledevice_sync_client::setDefaultAnswerTimeoutMs(kIphoneAnswerWaitMs);
    const auto restoreWait = qScopeGuard([answerWait] { mobiledevice_sync_client::setDefaultAnswerTimeoutMs(answerWait); });
    QElapsedTimer clock;
    qint64 cancelledAt = -1, closedAt = -1;
    bool measuring = false;
    GuiStallProbe probe;
    clock.start();
    const auto watchDialog = [&] {
        return answerWorkProgress([&](QWidget* dialog) {
            measuring = true;
            probe.reset();
            QObject::connect(static_cast<QDialog*>(dialog), &QDialog::finished, [&] { closedAt = clock.elapsed(); });
            if (row.cancel)
                QTimer::singleShot(kIphoneCancelAfterMs, dialog, [&, dialog] {
                    boxes.answerNext(QMessageBox::Yes);
                    cancelledAt = clock.elapsed();
                    QMetaObject::invokeMethod(dialog, "cancel");
                });
        });
    };
    SimulatedAdbLayer layer;
    std::unique_ptr<ModalDialogAnswerer> form;
    if (row.road == Row::IphoneRead)
        form = watchDialog();
    const int before = boxes.count();
    MainWindow w(&layer);
    if (row.writesIphone()) {
        if (!QTest::qWaitFor([&] { return iphoneShown(w); }, timebound::kWaitMs))
            return run.problem = QStringLiteral("the iPhone was not read on its arrival"), run;
        const bool toPhone = row.road == Row::IphoneWrite;
        if (!showNode(w, toPhone ? "Home.db" : "Simulated iPhone"))
            return run.problem = QStringLiteral("the road's node is not shown"), run;
        form = watchDialog();
        if (toPhone) {
            auto picker = pick("Simulated iPhone");
            w.miTreeDB2I();
        } else {
            auto editor = answerDialog("EditContactForm", [](QWidget* dialog) {
                dialog->findChild<QLineEdit*>("txtFirstName")->setText("Ann");
                dialog->findChild<QLineEdit*>("txtLastName")->setText("Lee");
                pressButton(dialog, "btnSave");
            });
            if (row.road == Row::IphoneAdd) {
                w.miNewContact();
            } else {
                w.form()->treeContacts->setCurrentIndex(w.contactsListModel()->indexOfPos(0));
                w.miContactEdit();
            }
        }
    }
    if (!QTest::qWaitFor([&] { return measuring && closedAt >= 0 && !w.roadRunning(); }, timebound::kWaitMs))
        return run.problem = QStringLiteral("the road did not end"), run;
    run.longestStallMs = probe.longestMs();
    run.cancelToCloseMs = cancelledAt >= 0 ? closedAt - cancelledAt : -1;
    run.boxes = boxes.texts().mid(before);
    run.iphoneShown = iphoneShown(w);
    if (row.writesIphone()) {
        if (!sim.waitForSessionsEnded())
            return run.problem = QStringLiteral("a session of the iPhone did not end"), run;
        run.iphoneRecords = sim.phoneRecords();
        if (auto* node = iphoneNode(w))
            run.iphoneClaimedIds = SqlProbe(node->db->path())
                                       .column("select src_id from contact union select src_id from data where src_id != ''");
    }
    return run;
}

// Cy Wu on an Android phone "Target"; Ann Lee in Home.db for a write.
PhoneFaultRun runAndroidRow(const Row& row, DataFolderFixture& data, MessageBoxRecorder& boxes)
{
    PhoneFaultRun run;
    data.writeDb("data", "Home.db", { { "Ann Lee", "1", "", "" } });
    QJsonObject phone = row.phone;
    if (!phone.contains("contacts"))
        phone["contacts"] = QJsonArray { kCyWu };
    phone["device"] = "Target";
    phone["deviceId"] = "tab-9";
    QJsonObject adbd = row.adbd;

    const bool usb = row.road == Row::AndroidUsb;
    // Over USB the forward leads to this computer's own address; over WiFi
    // the phone takes a free address of its own.
    CompanionSim app(usb ? QString::fromLatin1(CompanionSim::kLocalHost) : QStringLiteral("any"));
    std::unique_ptr<FakeAdbd> fakeAdbd;
    SimulatedAdbLayer layer;
    if (usb) {
        const quint16 appPort = app.start(phone, { "backup" }).value(0);
        if (!adbd.contains("auth"))
            adbd["auth"] = "none";
        adbd["tcp"] = QJsonObject { { "*", QString::number(appPort) } };
        fakeAdbd = std::make_unique<FakeAdbd>(adbd);
        layer.adbdPort = fakeAdbd->port();
    } else {
        app.start(phone, { row.listen + ":48888" });
    }
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<GuiStallProbe> probe;
    if (!usb) {
        w = std::make_unique<MainWindow>(&layer);
        if (row.road == Row::AndroidWrite) {
            auto* connector = new AndroidWifiConnector;
            PAndroidConnector owner(connector);
            connector->initialize(app.address());
            if (!runRoad(w, [&] { w->androidDeviceIniLoad("tab-9", owner); }))
                return run.problem = QStringLiteral("the phone was not read"), run;
            if (!showNode(*w, "Home.db"))
                return run.problem = QStringLiteral("Home.db is not shown"), run;
        }
    }
    const int before = boxes.count();
    std::unique_ptr<ModalDialogAnswerer> canceller;
    if (row.cancel) {
        boxes.answerNext(QMessageBox::Yes);
        canceller = answerWorkProgress([](QWidget* form) {
            QTimer::singleShot(kAndroidCancelAfterMs, form, [form] { QMetaObject::invokeMethod(form, "cancel"); });
        });
    }
    std::unique_ptr<ModalDialogAnswerer> wifiForm;
    std::unique_ptr<ModalDialogAnswerer> picker;
    probe = std::make_unique<GuiStallProbe>();
    bool ended = false;
    switch (row.road) {
    case Row::AndroidWifi:
        wifiForm = answerDialog("AndroidWIFIForm", [&app](QWidget* form) {
            form->findChild<QLineEdit*>("txtWifiSocket")->setText(app.address());
            QTest::mousePress(form->findChild<QPushButton*>("btnConnect"), Qt::LeftButton);
            if (form->isVisible())
                QTest::mousePress(form->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
        });
        ended = runRoad(w, [&] { w->miToolsConnectViaWiFi(); });
        break;
    case Row::AndroidRead:
        ended = runRoad(w, [&] {
            auto* connector = new AndroidWifiConnector;
            PAndroidConnector owner(connector);
            connector->initialize(app.address());
            probe->reset(); // the greeting above is the test's own
            w->androidDeviceIniLoad("tab-9", owner);
        });
        break;
    case Row::AndroidWrite:
        picker = pick("Target");
        ended = runRoad(w, [&] { w->miTreeDB2A(); });
        break;
    case Row::AndroidUsb:
        ended = runRoad(w, [&] {
            w = std::make_unique<MainWindow>(&layer);
            probe->reset(); // building the window is no phone's doing
        });
        break;
    default:
        break;
    }
    if (!ended)
        return run.problem = QStringLiteral("the road did not end within 30 s"), run;
    run.longestStallMs = probe->longestMs();
    run.boxes = boxes.texts().mid(before);
    return run;
}

} // namespace

QString PhoneFaultRow::writtenName() const
{
    switch (written) {
    case CompanyOnly: return QStringLiteral("Acme Ltd");
    case NumberOnly: return writtenNumber();
    case AnnLee: break;
    }
    return QStringLiteral("Ann Lee");
}

QString PhoneFaultRow::writtenNumber() const
{
    return written == NumberOnly ? QStringLiteral("+1 555 0100") : QStringLiteral("1");
}

std::unique_ptr<AbsAdbPoll> SimulatedAdbLayer::createAdbPoll(int)
{
    return std::make_unique<AdbEmuPoll>(50, nullptr, QStringLiteral("127.0.0.1"), adbdPort, adbdPort);
}

QList<PhoneFaultRow> iphoneFaultRows()
{
    const QJsonObject none;
    return {
        { "read", Row::IphoneRead, none, {}, {}, false, "node" },
        { "slow phone", Row::IphoneRead, QJsonObject { { "slow_ms", 300 } }, {}, {}, false, "node" },
        { "unplugged mid-read", Row::IphoneRead, iphoneFault("batch1", "drop"), {}, {}, false, "The iPhone was disconnected while" },
        { "garbage reply", Row::IphoneRead, iphoneFault("batch0", "garbage"), {}, {}, false, "could not be read while" },
        { "answer of a wrong type", Row::IphoneRead, iphoneFault("SDMessageSyncDataClassWithDevice", "wrongtype"), {}, {}, false,
          "message of the wrong form" },
        { "goodbye mid-read", Row::IphoneRead, iphoneFault("batch1", "disconnect"), {}, {}, false, "ended the sync session" },
        { "batch of a list", Row::IphoneRead, iphoneFault("batch0", "wrongslot"), {}, {}, false, "(\"SDMessageProcessChanges\")" },
        { "versions as text", Row::IphoneRead, QJsonObject { { "exchange", "wrongtypes" } }, {}, {}, false,
          "(\"DLMessageVersionExchange\")" },
        { "newer device link", Row::IphoneRead, QJsonObject { { "link_version", 301 } }, {}, {}, false,
          "speaks a newer version of the contact sync (301)" },
        { "locked", Row::IphoneRead, QJsonObject { { "locked", true } }, {}, {}, false, "locked with a passcode" },
        { "trust pending", Row::IphoneRead, QJsonObject { { "trust", "pending" } }, {}, {}, false, "asking whether to trust" },
        { "trust denied", Row::IphoneRead, QJsonObject { { "trust", "denied" } }, {}, {}, false, "was not trusted" },
        { "phone busy", Row::IphoneRead, QJsonObject { { "sync", "refuse" } }, {}, {}, false, "refused to sync" },
        { "phone cancels", Row::IphoneRead, QJsonObject { { "sync", "cancel" } }, {}, {}, false, "cancelled the sync" },
        { "batch stalls, cancel", Row::IphoneRead, iphoneFault("batch1", "stall"), {}, {}, true, "" },
        { "start stalls, cancel", Row::IphoneRead, iphoneFault("SDMessageSyncDataClassWithDevice", "stall"), {}, {}, true, "" },
        { "lockdown stalls, cancel", Row::IphoneRead, iphoneFault("StartService", "stall"), {}, {}, true, "" },
        { "name stalls, cancel", Row::IphoneRead, iphoneFault("GetValue", "stall"), {}, {}, true, "" },
        // A link that drops once a message went out whole may have dropped
        // before or after the phone stored it; one gone before the message
        // went out lost it, and only then is the user asked to try again.
        { "write: link drops", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "drop"), {}, {}, false,
          "disconnected while contacts were written to it. 1 contact was sent to the iPhone, which did not confirm it; it "
          "may be on the phone. Some details of \"Ann Lee\" were not written. The iPhone is read again to show what it "
          "holds." },
        { "write: link drops after the contact", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "drop", 1), {}, {},
          false, "1 contact was written to the iPhone and kept. Some details of \"Ann Lee\" were sent to the iPhone, which "
          "did not confirm them; they may be on the phone. The iPhone is read again to show what it holds." },
        { "write: contact stored, link drops", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "storedrop"), {}, {},
          false,
          "disconnected while contacts were written to it. 1 contact was sent to the iPhone, which did not confirm it; it "
          "may be on the phone. Some details of \"Ann Lee\" were not written. The iPhone is read again to show what it "
          "holds." },
        { "write: details stored, link drops", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "storedrop", 1), {},
          {}, false,
          "disconnected while contacts were written to it. 1 contact was written to the iPhone and kept. Some details of "
          "\"Ann Lee\" were sent to the iPhone, which did not confirm them; they may be on the phone. The iPhone is read "
          "again to show what it holds." },
        { "write: link gone before the details", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "deaf"), {}, {},
          false,
          "disconnected while contacts were written to it. 1 contact was written to the iPhone and kept. Some details of "
          "\"Ann Lee\" were not written. Keep the iPhone connected and unlocked, and try again." },
        { "edit: new contact stored, link drops", Row::IphoneAdd, iphoneFault("SDMessageProcessChanges", "storedrop"), {}, {},
          false,
          "The iPhone was disconnected while the change was sent to it. The new contact \"Ann Lee\" was sent to the "
          "iPhone, which did not confirm it; it may be on the phone. Its contacts are read again, so the list shows what "
          "it holds." },
        { "edit: changes stored, link drops", Row::IphoneEdit, iphoneFault("SDMessageProcessChanges", "storedrop"), {}, {},
          false,
          "The iPhone was disconnected while the change was sent to it. Changes to \"Ann Lee\" were sent to the iPhone, "
          "which did not confirm them; they may be on the phone. Its contacts are read again, so the list shows what it "
          "holds." },
        { "write: goodbye", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "disconnect"), {}, {}, false,
          "ended the sync session while contacts were written to it." },
        { "write: remap of a list", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "wrongslot"), {}, {}, false,
          "(\"SDMessageRemapRecordIdentifiers\")" },
        { "write: remap stalls, cancel", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "stall"), {}, {}, true, "" },
        // The phone stores what it was sent and does not confirm it: the user
        // is told that it may be on the phone, and is not asked to repeat.
        { "write: no ids for the new contact", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "noids"), {}, {}, false,
          "The iPhone answered without confirming 1 new contact; it may be on the phone. Some details of \"Ann Lee\" were "
          "not written. The iPhone is read again to show what it holds." },
        { "write: remap unreadable", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "badremap"), {}, {}, false,
          "could not be read while contacts were written to it. 1 contact was sent to the iPhone, which did not confirm it; "
          "it may be on the phone. Some details of \"Ann Lee\" were not written. The iPhone is read again to show what it "
          "holds." },
        { "write: remaps only at the end", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "late"), {}, {}, false,
          "The iPhone stopped answering while contacts were written to it. 1 contact was sent to the iPhone, which did not "
          "confirm it; it may be on the phone. Some details of \"Ann Lee\" were not written. The iPhone is read again to "
          "show what it holds." },
        { "write: answer to the details unreadable", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "badremap", 1), {},
          {}, false,
          "could not be read while contacts were written to it. 1 contact was written to the iPhone and kept. Some details of "
          "\"Ann Lee\" were sent to the iPhone, which did not confirm them; they may be on the phone. The iPhone is read "
          "again to show what it holds." },
        // A contact without a name is named by its company, else its number.
        { "write: a company's contact, link drops", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "storedrop"),
          {}, {}, false,
          "disconnected while contacts were written to it. 1 contact was sent to the iPhone, which did not confirm it; it "
          "may be on the phone. Some details of \"Acme Ltd\" were not written. The iPhone is read again to show what it "
          "holds.",
          Row::CompanyOnly },
        { "write: a company's contact, no ids for its details", Row::IphoneWrite,
          iphoneFault("SDMessageProcessChanges", "noids", 1), {}, {}, false,
          "1 contact was written to the iPhone and kept. The iPhone answered without confirming some details of \"Acme "
          "Ltd\"; they may be on the phone. The iPhone is read again to show what it holds.",
          Row::CompanyOnly },
        { "write: a number's contact, no ids for it", Row::IphoneWrite, iphoneFault("SDMessageProcessChanges", "noids"), {},
          {}, false,
          "The iPhone answered without confirming 1 new contact; it may be on the phone. Some details of \"+1 555 0100\" "
          "were not written. The iPhone is read again to show what it holds.",
          Row::NumberOnly },
        { "write: a number's contact, details stored, link drops", Row::IphoneWrite,
          iphoneFault("SDMessageProcessChanges", "storedrop", 1), {}, {}, false,
          "disconnected while contacts were written to it. 1 contact was written to the iPhone and kept. Some details of "
          "\"+1 555 0100\" were sent to the iPhone, which did not confirm them; they may be on the phone. The iPhone is "
          "read again to show what it holds.",
          Row::NumberOnly },
    };
}

QList<PhoneFaultRow> androidFaultRows()
{
    const QJsonObject none;
    return {
        { "wifi: connection request dropped", Row::AndroidWifi, none, "synfull", none, true, "" },
        { "wifi: silent listener", Row::AndroidWifi, none, "silent", none, true, "" },
        { "wifi: app hangs up", Row::AndroidWifi, none, "refuse", none, false, "Lost the connection" },
        { "wifi: nothing listens", Row::AndroidWifi, none, "closed", none, false,
          "Quorvantile Contacts Sync is not open on the phone" },
        { "wifi: greeting stalls", Row::AndroidWifi, appFaults("1", "stall"), "wifi", none, true, "" },
        { "read: service silent", Row::AndroidRead, QJsonObject { { "service", "silent" } }, "wifi", none, true, "" },
        { "read: service hangs up", Row::AndroidRead, QJsonObject { { "service", "refuse" } }, "wifi", none, false,
          "Lost the connection" },
        { "read: stalls in a batch", Row::AndroidRead, appFaults("backup:5", "stall"), "wifi", none, true, "" },
        { "read: unreadable record", Row::AndroidRead, appFaults("backup:5", "line:$ent:1/x/2/3,YmFkIGlk"), "wifi", none, false,
          "could not be read" },
        { "read: line not understood", Row::AndroidRead, appFaults("backup:3", "line:$total:1"), "wifi", none, false,
          "One line from the companion app was not understood" },
        { "read: no contacts", Row::AndroidRead, QJsonObject { { "contacts", QJsonArray() } }, "wifi", none, false,
          "The phone sent no contacts" },
        { "read: app error", Row::AndroidRead, appFaults("backup:4", "error:Storage busy"), "wifi", none, false, "Storage busy" },
        { "read: link dropped", Row::AndroidRead, appFaults("backup:5", "close"), "wifi", none, false, "Lost the connection" },
        { "write: answer stalls", Row::AndroidWrite, appFaults("restore:1", "stall"), "wifi", none, true, "" },
        { "write: app says goodbye", Row::AndroidWrite, appFaults("restore:1", "bye"), "wifi", none, false,
          "The phone ended the session" },
        { "write: app refuses", Row::AndroidWrite, appFaults("restore:1", "error:Full"), "wifi", none, false, "Full" },
        { "usb: connection never answered", Row::AndroidUsb, none, "", QJsonObject { { "silent", "cnxn" } }, false, "" },
        { "usb: silent after its token", Row::AndroidUsb, none, "", QJsonObject { { "silent", "auth" }, { "auth", "accept" } },
          false, "" },
        { "usb: listing stalls", Row::AndroidUsb, none, "", shell(QJsonObject { { "stall", true } }), true, "" },
        { "usb: listing cut", Row::AndroidUsb, none, "",
          shell(QJsonObject { { "output", "package:a.b\npackage:c.d\n" }, { "close_after", 12 }, { "drop", true } }), false,
          "did not finish the command" },
        { "usb: listing floods", Row::AndroidUsb, none, "", shell(QJsonObject { { "flood", 64 } }), false,
          "without waiting for this computer" },
        { "usb: shell refused", Row::AndroidUsb, none, "", QJsonObject { { "refuse", QJsonArray { "shell:" } } }, false,
          "refused to open" },
    };
}

void preparePhoneFaultRoads()
{
    AdbConnector::setWaits({ 0, 0 });
    AndroidWifiConnector::setWaits({ 5000, 5000, 300 });
    AdbSettings settings = adbSettings();
    settings.ioTimeoutMs = 1500;
    adbSetSettings(settings);
}

PhoneFaultRun runPhoneFaultRow(const PhoneFaultRow& row, DataFolderFixture& data, MessageBoxRecorder& boxes)
{
    return row.isIphone() ? runIphoneRow(row, data, boxes) : runAndroidRow(row, data, boxes);
}
