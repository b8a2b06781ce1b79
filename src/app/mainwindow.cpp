// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainwindow.h"

#include "app/aboutusform.h"
#include "app/applog.h"
#include "contactui/contactdisplayer.h"
#include "model/data_path_util.h"
#include "app/devices/absandroidusbwatch.h"
#include "app/devices/absiosdevicewatch.h"
#include "app/devices/idevicelayer.h"
#include "app/devices/nulldevicelayer.h"
#include "app/filechooser.h"
#include "app/itemmodelcontacts.h"
#include "app/iupdatecheck.h"
#include "app/contactlistloader.h"
#include "model/localdb.h"
#include "kit/makerconfig.h"
#include "kit/productinfo.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_mainwindow.h"
#include "app/updatecheck.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QMenu>
#include <QResizeEvent>
#include <QSplitter>
#include <QStyle>
#include <QThreadPool>
#include <QTimer>

namespace {

const char kStyleSheetPath[] = ":/res/style.css";

QIcon iconOf(const char* resource)
{
    return QIcon(QString::fromLatin1(resource));
}

} // namespace

MainWindow::MainWindow(IDeviceLayer* devices, IUpdateCheck* updateCheck, QWidget* parent)
    : QMainWindow(parent), m_devices(devices), m_updateCheck(updateCheck)
{
    if (!m_devices) {
        m_ownDevices = std::make_unique<NullDeviceLayer>();
        m_devices = m_ownDevices.get();
    }
    setFileChooser(nullptr);
    adbPoll = m_devices->createAndroidUsbWatch(1000);
    deviceSubscribe = m_devices->createIosDeviceWatch();
    ui = std::make_unique<Ui_MainWindow>();
    treeModel = std::make_unique<ItemModelMainTree>();
    contactsModel = std::make_unique<ItemModelContacts>();

    ui->setupUi(this);
    // Below this the list and the card, which share what the tree leaves,
    // get too narrow to read a name or a number.
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setStyleSheet(getStyleSheet(QString::fromLatin1(kStyleSheetPath)));
    ui->treeMain->setModel(treeModel.get());
    ui->treeContacts->setModel(contactsModel.get());
    // Every row has the same height: the view then never measures rows.
    ui->treeContacts->setUniformRowHeights(true);
    m_listLoader = std::make_unique<ContactListLoader>();
    connect(m_listLoader.get(), &ContactListLoader::finished, this, &MainWindow::onListLoaded);
    contactsModel->setPhotoSource([this](unsigned long long id) {
        const ItemModelMainTree::_DBItemNode* db = currentNode().dbNode;
        try {
            const pim::_Contact contact = db && db->db ? db->db->contact(id) : pim::_Contact();
            const QList<pim::Entity> photos = contact.entities.value(pim::ENTITY_PHOTO);
            return photos.isEmpty() ? QByteArray() : photos.constFirst().fields.value(QStringLiteral("data15")).toByteArray();
        } catch (const std::exception&) {
            return QByteArray(); // the placeholder stands in; the card reports failures
        }
    });
    connect(ui->splitter, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = ui->splitter->sizes();
        if (sizes.size() == 3 && sizes[1] + sizes[2] > 0)
            m_listShare = double(sizes[1]) / double(sizes[1] + sizes[2]);
    });
    ui->lbDisplayKeyword->hide();
    updateWindowTitle();

    connect(ui->treeMain, &MyTreeView::onSelectionChanged, this, &MainWindow::onMainTreeItemSelected);
    connect(ui->treeMain, &MyTreeView::clicked, this, &MainWindow::onMainTreeItemClicked);
    connect(ui->treeMain, &MyTreeView::createContextMenu, this, &MainWindow::treeCreateContextMenu);
    connect(ui->treeContacts, &MyTreeView::createContextMenu, this, &MainWindow::contactCreateContextMenu);
    connect(ui->treeContacts, &MyTreeView::onSelectionChanged, this, &MainWindow::onContactsTreeItemSelected);
    connect(ui->treeContacts, &MyTreeView::doubleClicked, this, &MainWindow::onContactsTreeItemDoubleClicked);
    connect(ui->btnSearch, &QToolButton::pressed, this, &MainWindow::onBtnSearchPressed);
    connect(ui->txtKeyword, &QLineEdit::returnPressed, this, &MainWindow::onBtnSearchPressed);

    buildStatusBar();
    buildMenusAndToolBar();
    startDeviceWatches();

    ItemModelMainTree::_DBItemNode* lastDevice = addSavedDevices(QStringLiteral("ios_virtual"), ItemModelMainTree::KIND_IOS);
    if (adbPoll)
        adbPoll->start();
    if (auto* android = addSavedDevices(QStringLiteral("android_virtual"), ItemModelMainTree::KIND_ANDROID))
        lastDevice = android;
    addLocalDatabases();
    treeModel->contentsUpdate();
    ui->treeMain->expandAll();
    startUpdateCheckWhenDue();

    // Only the last saved device ends up current, so it is the only node
    // loaded at start, and it loads once the window is on screen.
    if (lastDevice) {
        QTimer::singleShot(0, this, [this, lastDevice] {
            // The node may be gone by then (a phone of the same id left).
            const QModelIndex index = treeModel->indexOfItemNode(lastDevice);
            if (index.isValid() && treeModel->nodeOf(index) == lastDevice)
                selectNode(lastDevice);
        });
    }
}

MainWindow::~MainWindow()
{
    stopDeviceWork();
}

void MainWindow::stopDeviceWork()
{
    if (m_deviceWorkStopped)
        return;
    m_deviceWorkStopped = true;
    if (adbPoll)
        adbPoll->stop();
    if (QThreadPool* pool = m_devices->adbThreadPool())
        pool->waitForDone(5000);
}

void MainWindow::exitProgram()
{
    stopDeviceWork();
    close();
    QCoreApplication::exit(0);
}

void MainWindow::updateWindowTitle()
{
    setWindowTitle(product::title());
}

void MainWindow::buildStatusBar()
{
    ui->statusBar->setStyleSheet(QStringLiteral("QStatusBar::item{border: 0px}"));
    // The note links to another product's page on the maker's site; while no
    // site is configured it would be a dead link, so the bar stays empty.
    const QString site = QString::fromUtf8(product::kMakerSite);
    if (site.isEmpty())
        return;
    auto* label = new QLabel(ui->statusBar);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a style=\"text-decoration:none;color:#ffffff;\" href=\"%1/message-keeper-mac.html\">%2</a>")
                       .arg(site.toHtmlEscaped(),
                            tr("Also from Quorvantile: keep your phone's messages safe with Message Keeper for Mac")
                                .toHtmlEscaped()));
    label->setOpenExternalLinks(true);
    ui->statusBar->addWidget(label, 0);
}

void MainWindow::buildMenusAndToolBar()
{
    const QString styleSheet = getStyleSheet(QString::fromLatin1(kStyleSheetPath));
    auto add = [this](QMenu* menu, const char* icon, const QString& text, void (MainWindow::*slot)(), bool enabled,
                      int index) {
        QAction* action = icon ? menu->addAction(iconOf(icon), text, this, slot) : menu->addAction(text, this, slot);
        action->setEnabled(enabled);
        if (index >= 0)
            toolBarActions[size_t(index)] = action;
        return action;
    };

    QMenu* file = ui->menuBar->addMenu(tr("File"));
    file->setStyleSheet(styleSheet);
    add(file, ":res/backup.png", tr("IDS_MI_BACKUP_CONTACTS"), &MainWindow::miFileBackup, false, TB_BACKUP);
    QMenu* phoneToPhone = file->addMenu(tr("IDS_MI_PHONE_TO_PHONE"));
    add(phoneToPhone, ":res/i2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS"), &MainWindow::miFileI2A, false, TB_I2A);
    add(phoneToPhone, ":res/a2i.png", tr("IDS_MI_TRANSFER_TO_IOS_FROM_ANDROID"), &MainWindow::miFileA2I, false, TB_A2I);
    add(phoneToPhone, ":res/i2i.png", tr("IDS_MI_TRANSFER_TO_OTHER_IOS_FROM_IOS"), &MainWindow::miFileI2I, false, TB_I2I);
    add(phoneToPhone, ":res/a2a.png", tr("IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID"), &MainWindow::miFileA2A,
        false, TB_A2A);
    add(file, ":res/db2i.png", tr("IDS_MI_TRANSFER_TO_IOS_FROM_LOCALDB"), &MainWindow::miFileDB2I, false, TB_DB2I);
    add(file, ":res/db2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB"), &MainWindow::miFileDB2A, false, TB_DB2A);
    file->addSeparator();
    add(file, ":res/export.png", tr("IDS_MI_EXPORT_CONTACTS"), &MainWindow::miFileExport, false, TB_EXPORT);
    add(file, ":res/print.png", tr("IDS_MI_PRINT_CONTACTS"), &MainWindow::miFilePrint, false, TB_PRINT);
    add(file, ":res/new_ct.png", tr("IDS_MI_NEW_CONTACT"), &MainWindow::miNewContact, false, TB_NEW_CONTACT)
        ->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    QMenu* import = file->addMenu(tr("IDS_MI_IMPORT"));
    add(import, ":res/import.png", tr("IDS_MI_IMPORT_FROM_FILE"), &MainWindow::miImport, true, TB_IMPORT);
    add(import, ":res/from_itunes.png", tr("IDS_MI_FROM_ITUNES"), &MainWindow::miFromiTunes, true, TB_FROM_ITUNES);
    add(file, ":res/del.png", tr("IDS_MI_DEL_CONTACTS"), &MainWindow::miFileDelete, false, TB_DELETE);
    file->addSeparator();
    add(file, ":res/open_db_folder.png", tr("IDS_MI_OPEN_LOCALDB_FOLDER"), &MainWindow::miOpenFolder, true, -1);
    file->addAction(iconOf(":res/exit.png"), tr("Exit"), this, &QWidget::close);

    QMenu* tools = ui->menuBar->addMenu(tr("Tools"));
    add(tools, nullptr, tr("IDS_MI_CHECK_FOR_UPDATE"), &MainWindow::miToolsCheckForUpdate, true, -1)
        ->setVisible(!maker::serverUrl().isEmpty());
    add(tools, nullptr, tr("IDS_MI_CONNECT_ANDROID_VIA_WIFI"), &MainWindow::miToolsConnectViaWiFi, true, -1);

    QMenu* help = ui->menuBar->addMenu(tr("Help"));
    // Entries that would open an unset address stay hidden rather than do
    // nothing when chosen.
    add(help, ":res/help.png", tr("IDS_MI_HELP"), &MainWindow::miHelpHelp, true, -1)
        ->setVisible(!maker::helpPage().isEmpty());
    add(help, nullptr, tr("IDS_MI_FEEDBACK"), &MainWindow::miHelpFeedback, true, -1)
        ->setVisible(!maker::feedbackPage().isEmpty());
    add(help, nullptr, tr("IDS_MI_ABOUT"), &MainWindow::miHelpAbout, true, -1);

    for (int index : { TB_BACKUP, TB_I2A, TB_A2I, TB_I2I, TB_A2A, TB_DB2I, TB_DB2A })
        ui->toolBar->addAction(toolBarActions[size_t(index)]);
    ui->toolBar->addSeparator();
    for (int index : { TB_EXPORT, TB_PRINT, TB_NEW_CONTACT, TB_IMPORT, TB_FROM_ITUNES, TB_DELETE })
        ui->toolBar->addAction(toolBarActions[size_t(index)]);
}

void MainWindow::startDeviceWatches()
{
    if (deviceSubscribe) {
        connect(deviceSubscribe.get(), &AbsIosDeviceWatch::newDevice, this, &MainWindow::iosDeviceConnected);
        connect(deviceSubscribe.get(), &AbsIosDeviceWatch::kickDevice, this, &MainWindow::iosDeviceDisconnected);
        connect(deviceSubscribe.get(), &AbsIosDeviceWatch::started, this, &MainWindow::warnIfNoIphoneService);
        deviceSubscribe->start();
    }
    if (adbPoll) {
        // By signature: the handle's class belongs to the ADB library and is
        // incomplete here, which the typed connect cannot take.
        connect(adbPoll.get(), SIGNAL(newDevice(QString,PAdbUSBHandle)), this,
                SLOT(androidDeviceConnected(QString,PAdbUSBHandle)));
        connect(adbPoll.get(), SIGNAL(kickDevice(QString,PAdbUSBHandle)), this,
                SLOT(androidDeviceDisconnected(QString,PAdbUSBHandle)));
        connect(adbPoll.get(), &AbsAndroidUsbWatch::failedDevice, this, &MainWindow::androidDeviceConnectedFailed2);
    }
}

void MainWindow::warnIfNoIphoneService(bool subscribed)
{
    if (subscribed)
        return;
#ifdef Q_OS_MACOS
    Tips::warning(tr("Failed to detect iPhone. Please launch iTunes (Finder if MacOS 10.15 or above) first and "
                     "then re-connect your iPhone. Once your iPhone is visible in iTunes (Finder if MacOS "
                     "10.15 or above), please restart Quorvantile software."));
#else
    // Elsewhere iPhones are reached through the usbmuxd daemon, which is
    // what is missing or silent when the subscription fails.
    Tips::warning(tr("Failed to detect iPhone. The iPhone connection service usbmuxd cannot be reached. Please "
                     "install and start usbmuxd (on Debian: sudo apt install usbmuxd), then re-connect your "
                     "iPhone and restart Quorvantile software."));
#endif
}

ItemModelMainTree::_DBItemNode* MainWindow::addSavedDevices(const QString& folderName, int kind)
{
    const QDir folder(g_dataSaveDir().filePath(folderName));
    if (!folder.exists())
        return nullptr;
    ItemModelMainTree::_DBItemNode* last = nullptr;
    const QFileInfoList files = folder.entryInfoList({ QStringLiteral("*.db") }, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString path = file.absoluteFilePath();
        QSharedPointer<LocalDb> db = kind == ItemModelMainTree::KIND_IOS ? m_devices->openSavedIosDb(path)
                                                                         : m_devices->openSavedAndroidDb(path);
        if (!db)
            continue;
        last = treeModel->addDevice(db, file.baseName(), file.fileName(), kind);
    }
    return last;
}

void MainWindow::addLocalDatabases()
{
    // The tree puts each in its place.
    const QFileInfoList files
        = LocalDb::dbDir().entryInfoList({ QStringLiteral("*.db") }, QDir::Files, QDir::NoSort);
    for (const QFileInfo& file : files) {
        treeModel->addLocalDb(LocalDb::openLocal(file.absoluteFilePath()), file.fileName());
    }
}

void MainWindow::startUpdateCheckWhenDue()
{
    if (!m_updateCheck)
        return;
    // Its question must not come up in the middle of a road, nor leave
    // the program under a running worker.
    m_updateCheck->setReplyGate([window = QPointer<MainWindow>(this)](std::function<void()> handling) {
        if (window && !window->deferWhileRoadRuns(handling))
            handling();
    });
    m_updateCheck->start([window = QPointer<MainWindow>(this)] {
        if (window)
            window->exitProgram();
    });
}

void MainWindow::selectNode(ItemModelMainTree::_ItemNode* node)
{
    const QModelIndex index = treeModel->indexOfItemNode(node);
    if (!index.isValid())
        return;
    ui->treeMain->expand(index);
    ui->treeMain->setCurrentIndex(index);
}

QAction* MainWindow::toolBarAction(int index) const
{
    if (index < 0 || index >= TB_COUNT)
        return nullptr;
    return toolBarActions[size_t(index)];
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    applyPaneSizes(event->size().width());
}

void MainWindow::applyPaneSizes(int windowWidth)
{
    // The tree pane goes back to its width at every resize; the list and
    // the card keep the shares the user last dragged them to (equal halves
    // before any drag).
    const double rest = windowWidth - kTreePaneWidth;
    const bool halves = m_listShare == 0.5;
    const int list = int(rest * m_listShare);
    const int card = halves ? list : int(rest) - list;
    ui->splitter->setSizes({ kTreePaneWidth, list, card });
    // Room is left for the vertical scroll bar.
    m_columnsWidth = int(rest * m_listShare - 23.0);
    fitContactColumns();
}

void MainWindow::measureContactColumns()
{
    // The view asks its rows for their width, which they leave to it: the
    // texts are measured here, of the first rows, which are on screen after
    // a load (a list may hold a hundred thousand).
    const MyTreeView* view = ui->treeContacts;
    const QFontMetrics metrics(view->font());
    const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    const int rows = qMin(contactsModel->rowCount(), 200);
    const auto widest = [&](int column) {
        int width = -1;
        for (int row = 0; row < rows; ++row)
            width = qMax(width,
                metrics.horizontalAdvance(contactsModel->index(row, column).data().toString()) + margins);
        return width;
    };
    m_phoneTextWidth = widest(ItemModelContacts::COLUMN_PHONE);
    m_emailTextWidth = widest(ItemModelContacts::COLUMN_EMAIL);
}

void MainWindow::fitContactColumns()
{
    // Each column takes its share of the width: name 40 %, the others 20 %.
    // A phone number or an e-mail address cut short cannot be used, and
    // they are short: their columns take up to a quarter each where their
    // texts need it, from name and address, which keep their 2:1.
    const int width = qMax(0, m_columnsWidth);
    const int phone = qBound(width / 5, m_phoneTextWidth, width / 4);
    const int email = qBound(width / 5, m_emailTextWidth, width / 4);
    const int name = (width - phone - email) * 2 / 3;
    QHeaderView* header = ui->treeContacts->header();
    header->resizeSection(ItemModelContacts::COLUMN_NAME, name);
    header->resizeSection(ItemModelContacts::COLUMN_PHONE, phone);
    header->resizeSection(ItemModelContacts::COLUMN_EMAIL, email);
    header->resizeSection(ItemModelContacts::COLUMN_ADDRESS, width - name - phone - email);
}


void MainWindow::miToolsCheckForUpdate()
{
    // g_openLink ignores an empty address, so with no server nothing opens.
    g_openLink(UpdateCheck::manualPageUrl(maker::serverUrl()).toString());
}

void MainWindow::miHelpHelp()
{
    g_openLink(maker::helpPage().toString());
}

void MainWindow::miHelpFeedback()
{
    g_openLink(maker::feedbackPage().toString());
}

void MainWindow::miHelpAbout()
{
    AboutUsForm about(nullptr);
    about.exec();
}
