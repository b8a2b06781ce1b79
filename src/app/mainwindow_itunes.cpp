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
    ItemModelMainTree::_DBItemNode* node = selOrCreateLocalDb(proposed, &created);
    if (!node)
        return;

    ProgressForm form(QString(), this);
    ImportContactsFromiTunesThread worker(*backup, node->db.data(), &form);
    worker.start(QThread::InheritPriority);
    const int result = form.exec();
    worker.wait();
    if (result == 1 && !form.isCancelled()) {
        showStoredNode(node);
        return;
    }
    if (created)
        dropCreatedDb(node);
}
