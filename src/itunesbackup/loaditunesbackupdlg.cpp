// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/loaditunesbackupdlg.h"

#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/itemmodelloadbk.h"
#include "itunesbackup/itunesbackuplog.h"
#include "kit/stylesheet.h"
#include "kit/messagebox.h"
#include "kit/messagetext.h"
#include "kit/tips.h"
#include "ui_loaditunesbackupdlg.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTimer>

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_LoadItunesBackupDlg)
    , m_movable(this)
    , m_model(new ItemModelLoadBk(this))
{
    ui->setupUi(this);
    connect(ui->lbAddOther, &QLabel::linkActivated, this, &LoadItunesBackupDlg::btnAddOtherClicked);
    connect(ui->btnLoad, &QPushButton::pressed, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(ui->listBackups, &QTreeView::doubleClicked, this, &LoadItunesBackupDlg::btnLoadClicked);

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")));
    ui->listBackups->setModel(m_model);
    // The three columns share the width by fixed parts (resizeEvent).
    ui->listBackups->header()->setStretchLastSection(false);

    for (const QDir& location : BackupManifest::iTunesBackupDirs()) {
        const QFileInfoList folders = location.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
        for (const QFileInfo& folder : folders) {
            const QDir dir(folder.absoluteFilePath());
            const bool hasList = dir.exists(QStringLiteral("Manifest.mbdb")) || dir.exists(QStringLiteral("Manifest.db"));
            if (hasList && dir.exists(QStringLiteral("Manifest.plist")))
                addFolder(folder.absoluteFilePath(), false);
        }
    }
    ui->listBackups->setCurrentIndex(QModelIndex());

    if (m_model->rowCount() == 0 && !g_showLinkedMessageBox(QMessageBox::Warning, noBackupText()).isEmpty()) {
        // Once the dialog runs, so that the folder goes into its list.
        QTimer::singleShot(0, this, [this] { btnAddOtherClicked(QString()); });
    }
}

BoxText LoadItunesBackupDlg::noBackupText()
{
    const BoxText here = BoxText::markup(QStringLiteral("<a href=\"#add\">%1</a>")).arg(tr("HERE"));
#ifdef Q_OS_MACOS
    return BoxText(tr("Can't find any backups. If you are using MacOS 10.14 or above, allow this program to read the "
                      "backup folder under System Preferences > Security & Privacy > Privacy > Full Disk Access. To "
                      "load a backup from another folder, please click %1."))
        .arg(here);
#else
    QStringList folders;
    for (const QDir& location : BackupManifest::iTunesBackupDirs())
        folders << QDir::toNativeSeparators(location.absolutePath());
    return BoxText(tr("Can't find any backups in %1. The folder must exist and you must be allowed to read it. To "
                      "load a backup from another folder, please click %2."))
        .arg(folders.join(QStringLiteral(", ")))
        .arg(here);
#endif
}

LoadItunesBackupDlg::~LoadItunesBackupDlg()
{
    delete ui;
}

void LoadItunesBackupDlg::addFolder(const QString& path, bool makeCurrent)
{
    try {
        auto backup = QSharedPointer<BackupManifest>::create(QDir(path));
        backup->readManifestInfo();
        ItemModelLoadBk::_BKItemNode* node = m_model->addBackup(backup);
        if (makeCurrent)
            ui->listBackups->setCurrentIndex(m_model->indexOfItemNode(node));
    } catch (const std::exception& e) {
        qCWarning(lcBackup, "%s", e.what());
        Tips::error(BoxText("load %1 error. %2").arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what())));
    }
}

QString LoadItunesBackupDlg::askForFolder()
{
    return QFileDialog::getExistingDirectory(nullptr, QString(), QDir::homePath(), QFileDialog::ShowDirsOnly);
}

void LoadItunesBackupDlg::btnAddOtherClicked(QString)
{
    const QString path = askForFolder();
    if (path.isEmpty())
        return;
    const QString md5 = BackupManifest(QDir(path)).dirPathMd5();
    for (const ItemModelLoadBk::_BKItemNode* node : m_model->backupNodes()) {
        if (node->backup->dirPathMd5() == md5) {
            Tips::warning(tr("IDS_LOAD_BK_EXISTS"));
            return;
        }
    }
    addFolder(path, true);
}

void LoadItunesBackupDlg::btnLoadClicked()
{
    const ItemModelLoadBk::_BKItemNode* node = m_model->backupNode(ui->listBackups->currentIndex());
    if (!node) {
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    selectedBackup = node->backup;
    accept();
}

void LoadItunesBackupDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const double room = width() - 80;
    QHeaderView* header = ui->listBackups->header();
    header->resizeSection(0, int(room * 0.4));
    header->resizeSection(1, int(room * 0.25));
    header->resizeSection(2, int(room * 0.35));
}
