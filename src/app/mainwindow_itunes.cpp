// SPDX-License-Identifier: GPL-3.0-or-later
// The iTunes import road: chooser, password, target database, import.
#include "app/mainwindow.h"

#include "app/localdbselform.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/importcontactsfromitunesthread.h"
#include "itunesbackup/loaditunesbackupdlg.h"
#include "itunesbackup/passcodedlg.h"
#include "kit/progressform.h"
#include "kit/tips.h"
#include "model/data_path_util.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "ui_mainwindow.h"

#include <QFileInfo>

namespace {

// The local database the import goes into: one the user picks (merged
// into) or names (created from the template). *created tells whether the
// file was made here, so a failed import can take it away again.
ItemModelMainTree::_DBItemNode* pickImportTarget(MainWindow& window, const QString& proposedName, bool* created)
{
    *created = false;
    const QString name = LocalDbSelForm(&window, proposedName).execGetDbName();
    if (name.isEmpty())
        return nullptr;
    ItemModelMainTree* model = window.mainTreeModel();
    for (ItemModelMainTree::_ItemNode* child : model->localDbRootNode()->children) {
        if (child->name == name)
            return static_cast<ItemModelMainTree::_DBItemNode*>(child);
    }
    try {
        const QString path = LocalDb::dbDir().absoluteFilePath(name);
        auto db = QSharedPointer<LocalDb>::create(path, QSharedPointer<LocalDbCombineRule>::create());
        if (!QFileInfo::exists(path)) {
            db->create();
            *created = true;
        }
        ItemModelMainTree::_DBItemNode* node = model->addLocalDb(db, name);
        model->contentsUpdate();
        return node;
    } catch (const std::exception& e) {
        Tips::error(MainWindow::tr("IDS_CREATE_DB_FAIL_%1").arg(QString::fromUtf8(e.what())));
        return nullptr;
    }
}

} // namespace

void MainWindow::miFromiTunes()
{
    LoadItunesBackupDlg chooser(this);
    if (chooser.exec() != QDialog::Accepted)
        return;
    const QSharedPointer<BackupManifest> backup = chooser.selectedBackup;
    // Decrypted copies go to the user's own data folder, never into the backup.
    backup->setWorkFolder(g_dataSaveDir().absolutePath());
    if (backup->info().IsEncrypted) {
        PasscodeDlg passcode(backup.data(), this);
        if (passcode.exec() != QDialog::Accepted)
            return;
    }
    try {
        backup->parseInfo();
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }

    const QString deviceName = backup->info().DeviceName;
    const QString proposed = deviceName.isEmpty() ? tr("Unknown Device") : deviceName + QStringLiteral("-backup.db");
    bool created = false;
    ItemModelMainTree::_DBItemNode* node = pickImportTarget(*this, proposed, &created);
    if (!node)
        return;

    ProgressForm form(QString(), this);
    ImportContactsFromiTunesThread worker(*backup, node->db.data(), &form);
    worker.start(QThread::InheritPriority);
    const int result = form.exec();
    worker.wait();
    if (result == 1 && !form.isCancelled()) {
        treeModel->refreshDbNodeGroups(node);
        const QModelIndex index = treeModel->indexOfItemNode(node);
        ui->treeMain->expand(index);
        ui->treeMain->setCurrentIndex(index);
        return;
    }
    if (created) {
        node->db->removeDB();
        ItemModelMainTree::_ItemNode* root = treeModel->localDbRootNode();
        treeModel->removeChild(root, int(root->children.indexOf(node)));
    }
}
