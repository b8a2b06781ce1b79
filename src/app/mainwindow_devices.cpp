// SPDX-License-Identifier: GPL-3.0-or-later
// Phones arriving and leaving: each arrival (and each repair after a failed
// write) re-creates the phone's device cache database, reads the whole phone
// into it under the progress dialog and shows the node only when the read
// succeeded.
#include "app/mainwindow.h"

#include "app/applog.h"
#include "app/devices/devicecache.h"
#include "app/devices/idevicelayer.h"
#include "app/mainwindow_roads_p.h"
#include "kit/messagebox.h"
#include "kit/progressform.h"
#include "kit/reporterrelay.h"
#include "kit/tips.h"
#include "model/localdb.h"
#include "platform/adb/adbusbfailure.h"
#include "platform/error.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <memory>

using Tree = ItemModelMainTree;

MainWindow::RoadGuard::RoadGuard(MainWindow* window) : m_window(window)
{
    ++m_window->m_roadsRunning;
}

void MainWindow::RoadGuard::end()
{
    if (!m_window)
        return;
    if (--m_window->m_roadsRunning == 0 && !m_window->m_deferredEvents.isEmpty())
        QTimer::singleShot(0, m_window, &MainWindow::replayDeferredEvents);
    m_window = nullptr;
}

bool MainWindow::roadRunning() const
{
    // Any modal dialog or box counts: the command roads that hold no guard
    // of their own run their dialogs modally too.
    return m_roadsRunning > 0 || QApplication::activeModalWidget();
}

bool MainWindow::deferWhileRoadRuns(std::function<void()> event)
{
    if (!roadRunning())
        return false;
    m_deferredEvents.append(std::move(event));
    if (!m_replayTimer) {
        m_replayTimer = new QTimer(this);
        m_replayTimer->setInterval(50);
        connect(m_replayTimer, &QTimer::timeout, this, &MainWindow::replayDeferredEvents);
    }
    m_replayTimer->start();
    return true;
}

void MainWindow::replayDeferredEvents()
{
    // Each event runs its own road to its end; what arrives meanwhile is
    // appended and so keeps its place behind the older events.
    while (!roadRunning() && !m_deferredEvents.isEmpty())
        m_deferredEvents.takeFirst()();
    if (m_deferredEvents.isEmpty() && m_replayTimer)
        m_replayTimer->stop();
}

void MainWindow::removeFirstDevice(int kind, const QString& id)
{
    Tree::_ItemNode* root = treeModel->devicesRootNode();
    for (int row = 0; row < root->children.size(); ++row) {
        const auto* node = dynamic_cast<const Tree::_DBItemNode*>(root->children.at(row));
        if (node && node->kind == kind && node->id == id) {
            treeModel->removeChild(root, row);
            return;
        }
    }
}

Tree::_DBItemNode* MainWindow::findDevice(const QString& id, const QSharedPointer<LocalDb>& db) const
{
    for (Tree::_ItemNode* child : treeModel->devicesRootNode()->children) {
        auto* node = dynamic_cast<Tree::_DBItemNode*>(child);
        if (node && node->id == id && node->db == db)
            return node;
    }
    return nullptr;
}

void MainWindow::showReadDevice(const QSharedPointer<LocalDb>& db, const QString& name, const QString& id, int kind)
{
    Tree::_DBItemNode* node = treeModel->addDevice(db, name, id, kind);
    try {
        treeModel->refreshDbNodeGroups(node);
    } catch (const std::exception& e) {
        treeModel->contentsUpdate();
        roads::showError(e);
    }
    selectNode(node);
}

void MainWindow::iosDeviceConnected(QString devid)
{
    if (deferWhileRoadRuns([this, devid] { iosDeviceConnected(devid); }))
        return;
    qCInfo(lcApp) << "iPhone attached:" << devid;
    readIosPhone(devid);
}

namespace {

// Runs a phone read under its dialog. A cancel confirmed while the worker
// still waits for the phone returns at once: the worker is left to end on
// its own thread (it reads itself as cancelled and rolls its database back),
// cut off the dialog, and deletes itself when it has ended.
bool runLeavableRead(ProgressForm& form, std::unique_ptr<QThread>& worker, const std::shared_ptr<ReporterRelay>& relay)
{
    worker->start(QThread::InheritPriority);
    const int result = form.exec();
    if (result == 1 || !form.isCancelled()) {
        worker->wait();
        return result == 1 && !form.isCancelled();
    }
    relay->detach();
    QThread* left = worker.release();
    QObject::connect(left, &QThread::finished, left, &QObject::deleteLater);
    QObject::connect(left, &QObject::destroyed, [relay] { qCInfo(lcApp) << "a cancelled phone read has ended"; });
    if (left->isFinished())
        left->deleteLater();
    return false;
}

} // namespace

void MainWindow::readIosPhone(const QString& devid)
{
    RoadGuard road(this);
    Tips::info(BoxText::markup(tr("IDS_IPHONE_CONNECTIONS_CONTACTS_SYNC_TIPS")));
    QSharedPointer<LocalDb> db;
    try {
        db = m_devices->iosCacheDb(deviceCachePath(QStringLiteral("ios_cache"), devid));
        db->create();
    } catch (const std::exception& e) {
        roads::showError(e);
        return;
    }
    removeFirstDevice(Tree::KIND_IOS, devid);
    ProgressForm form(QString(), nullptr);
    auto relay = std::make_shared<ReporterRelay>(&form);
    PhoneRead read = m_devices->createIosRead(devid, db, relay.get());
    if (!read.thread || !runLeavableRead(form, read.thread, relay))
        return;
    // A layer whose read names the phone asks it there, off this thread.
    const QString name = read.deviceName ? read.deviceName() : m_devices->iosDeviceName(devid);
    showReadDevice(db, name, devid, Tree::KIND_IOS);
}

void MainWindow::iosDeviceDisconnected(QString devid)
{
    if (deferWhileRoadRuns([this, devid] { iosDeviceDisconnected(devid); }))
        return;
    qCInfo(lcApp) << "iPhone detached:" << devid;
    removeFirstDevice(Tree::KIND_IOS, devid);
}

void MainWindow::androidDeviceConnected(QString path, PAdbUSBHandle handle)
{
    if (deferWhileRoadRuns([this, path, handle] { androidDeviceConnected(path, handle); }))
        return;
    qCInfo(lcApp) << "Android phone attached:" << path;
    RoadGuard road(this);
    const QString id = m_devices->usbDeviceId(handle);
    for (;;) {
        const UsbAuthorisation state = awaitUsbAuthorisation(handle, 500);
        if (state == UsbAuthorisation::Authorised)
            break;
        // A phone unplugged while the question is open would otherwise ask
        // again and again; its departure follows. One that never answers
        // goes offline on its own and is logged there.
        if (state == UsbAuthorisation::Gone) {
            qCInfo(lcApp) << "Android phone gone or not answering:" << id;
            return;
        }
        // No prompt is on a phone that has not answered yet.
        if (state == UsbAuthorisation::Connecting)
            continue;
        const QString text = QStringLiteral(
            "Can't connect to your Android Phone: %1.<br/><br/>If you are presented with the pop up to allow "
            "debugging with the computer on your Android device screen. Please simply check \"Always allow from this "
            "computer\" and then click \"OK\" to finish.<br/><br/><img src=\":res/trust-android.png\"/>");
        if (g_showMessageBox(QMessageBox::Warning, BoxText::markup(text).arg(id),
                             QMessageBox::Retry | QMessageBox::Abort, true)
            == QMessageBox::Abort)
            return;
    }
    PAndroidConnector connector = m_devices->usbConnector(handle);
    road.end();
    if (connector)
        readAndroidPhone(id, connector);
}

UsbAuthorisation MainWindow::awaitUsbAuthorisation(const PAdbUSBHandle& handle, int timeoutMs)
{
    // In short waits with the window drawing between them; user input waits
    // (the road's guard holds device events back meanwhile).
    constexpr int kSliceMs = 20;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const UsbAuthorisation state = m_devices->waitForUsbAuthorisation(handle, kSliceMs);
        if (state != UsbAuthorisation::Connecting || clock.elapsed() >= timeoutMs)
            return state;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kSliceMs);
    }
}

void MainWindow::androidDeviceDisconnected(QString path, PAdbUSBHandle h)
{
    if (deferWhileRoadRuns([this, path, h] { androidDeviceDisconnected(path, h); }))
        return;
    qCInfo(lcApp) << "Android phone detached:" << path;
    treeModel->removeDevice(m_devices->usbDeviceId(h));
}

void MainWindow::androidDeviceConnectedFailed2(QString path)
{
    if (deferWhileRoadRuns([this, path] { androidDeviceConnectedFailed2(path); }))
        return;
    RoadGuard road(this);
    if (adbUsbAccessDenied(path)) {
        Tips::error(BoxText::markup(QStringLiteral("Failed to connect your Android Phone.<br/>usb: %1<br/><br/>This computer does not "
                                   "allow Quorvantile software to open your phone. Please install the Android udev "
                                   "rules (on Debian: sudo apt install android-sdk-platform-tools-common), make sure "
                                   "your user is in the plugdev group (sudo usermod -aG plugdev $USER, then log out "
                                   "and in again), and then unplug and reconnect your phone."))
                        .arg(path));
        return;
    }
    Tips::error(BoxText::markup(QStringLiteral("Failed to connect your Android Phone.<br/>usb: %1<br/><br/>Please "
                                               "exit any other Android Manager program on your computer first and "
                                               "then reconnect your phone to try again."))
                    .arg(path));
}

void MainWindow::androidDeviceIniLoad(QString devId, PAndroidConnector connector)
{
    if (deferWhileRoadRuns([this, devId, connector] { androidDeviceIniLoad(devId, connector); }))
        return;
    readAndroidPhone(devId, connector);
}

void MainWindow::readAndroidPhone(const QString& devId, PAndroidConnector connector)
{
    RoadGuard road(this);
    QSharedPointer<LocalDb> db;
    try {
        db = m_devices->androidCacheDb(deviceCachePath(QStringLiteral("android_cache"), devId), connector);
        db->create();
    } catch (const std::exception& e) {
        roads::showError(e);
        return;
    }
    treeModel->removeDevice(devId);
    ProgressForm form(QString(), nullptr);
    PhoneRead read = m_devices->createAndroidRead(db, portAlloc(), &form);
    if (read.thread && runWorker(form, *read.thread))
        showReadDevice(db, read.deviceName ? read.deviceName() : QString(), devId, Tree::KIND_ANDROID);
}

namespace {

// Passes a read's reports to its dialog, except a failure: that only ends
// the dialog, and the caller decides what to tell.
class QuietFailureReporter : public IWorkerReporter {
public:
    explicit QuietFailureReporter(ProgressForm& form)
        : m_form(form)
    {
    }
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        return m_form.invokeUpdateProgress(status, curProgress, progressText);
    }
    bool invokeErrorOccurred(QString err) override
    {
        qCInfo(lcApp).noquote() << "the phone could not be read again:" << err;
        // The form may have closed on a cancel by then; the call dies with it.
        return QMetaObject::invokeMethod(&m_form, [form = &m_form] { form->done(0); });
    }
    bool invokeSucceed(QString tipsStr) override { return m_form.invokeSucceed(tipsStr); }
    bool invokeTipsWait(QString info) override { return m_form.invokeTipsWait(info); }
    bool invokeSetCancelBtnText(const QString& text) override { return m_form.invokeSetCancelBtnText(text); }
    bool isCancelled() const override { return m_form.isCancelled(); }
    bool isTipsWaiting() const override { return m_form.isTipsWaiting(); }

private:
    ProgressForm& m_form;
};

} // namespace

void MainWindow::rereadAndroidPhone(const QString& devId, PAndroidConnector connector)
{
    RoadGuard road(this);
    const QString path = deviceCachePath(QStringLiteral("android_cache"), devId);
    const QString fresh = path + QStringLiteral(".reread");
    QSharedPointer<LocalDb> db;
    try {
        db = m_devices->androidCacheDb(fresh, connector);
        db->create();
    } catch (const std::exception& e) {
        qCWarning(lcApp) << "no database to read the phone again into:" << e.what();
        return;
    }
    ProgressForm form(QString(), nullptr);
    QuietFailureReporter reporter(form);
    PhoneRead read = m_devices->createAndroidRead(db, portAlloc(), &reporter);
    const bool succeeded = read.thread && runWorker(form, *read.thread);
    const QString name = succeeded && read.deviceName ? read.deviceName() : QString();
    read = PhoneRead();
    db->close();
    db.reset();
    if (!succeeded) {
        QFile::remove(fresh);
        // The old node stays with what the phone last gave.
        onMainTreeItemSelected(QItemSelection(), QItemSelection());
        return;
    }
    treeModel->removeDevice(devId);
    QFile::remove(path);
    if (!QFile::rename(fresh, path)) {
        roads::showError(Error(tr("The contacts read from the phone could not be stored in %1.").arg(path)));
        return;
    }
    try {
        showReadDevice(m_devices->androidCacheDb(path, connector), name, devId, Tree::KIND_ANDROID);
    } catch (const std::exception& e) {
        roads::showError(e);
    }
}

void MainWindow::miTreeUnmount()
{
    Tree::_ItemNode* node = currentNode().node;
    if (node && node->type == Tree::TYPE_GROUP)
        node = node->parent;
    // Only a device node: removing by id alone would take a device whose id
    // is empty when the current node is a local database.
    if (!node || node->type != Tree::TYPE_DEVICE || !node->parent)
        return;
    Tree::_ItemNode* root = node->parent;
    treeModel->removeChild(root, int(root->children.indexOf(node)));
}

void MainWindow::miToolsConnectViaWiFi()
{
    RoadGuard road(this);
    QString id;
    PAndroidConnector connector = m_devices->connectViaWifi(this, &id);
    road.end();
    if (connector)
        readAndroidPhone(id, connector);
}
