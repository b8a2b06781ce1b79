// SPDX-License-Identifier: GPL-3.0-or-later
// The transfer roads: contacts of a database node, a group or the contact
// list's selection are written to a phone that the user picks, and a phone
// whose write failed or was cancelled is read again from scratch.
#include "app/mainwindow.h"

#include "app/contactpagesload.h"
#include "app/datasourceselform.h"
#include "app/devices/devicecache.h"
#include "app/devices/idevicelayer.h"
#include "app/mainwindow_roads_p.h"
#include "kit/progressform.h"
#include "kit/tips.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "ui_mainwindow.h"

#include <QItemSelectionModel>

using Tree = ItemModelMainTree;

bool MainWindow::hasSelectedContacts() const
{
    const QItemSelectionModel* selection = ui->treeContacts->selectionModel();
    return selection && !selection->selectedRows(0).isEmpty();
}

void MainWindow::transferSelection(int kind, bool excludeSource)
{
    QString srcId;
    if (excludeSource) {
        const _CurrentNode current = currentNode();
        if (!current.dbNode)
            return;
        srcId = current.dbNode->id;
    }
    // Read off the GUI thread once the phone is chosen, as for a node.
    transferToPhone(kind, {}, srcId, selectedPages());
}

void MainWindow::transferTreeNode(int kind, bool excludeSource)
{
    const _CurrentNode current = currentNode();
    std::shared_ptr<ContactPages> pages = currentNodePages(current);
    if (!pages)
        return;
    transferToPhone(kind, {}, excludeSource ? current.dbNode->id : QString(), std::move(pages));
}

void MainWindow::transfer2IOS(const QList<pim::_Contact>& contacts, QString srcId)
{
    transferToPhone(Tree::KIND_IOS, contacts, srcId);
}

void MainWindow::transfer2Android(const QList<pim::_Contact>& contacts, QString srcId)
{
    transferToPhone(Tree::KIND_ANDROID, contacts, srcId);
}

void MainWindow::transferToPhone(int kind, QList<pim::_Contact> contacts, const QString& srcId,
                                 std::shared_ptr<ContactPages> pages)
{
    const bool ios = kind == Tree::KIND_IOS;
    QList<DataSourceSelForm::_SelItem> items;
    for (Tree::_ItemNode* child : treeModel->devicesRootNode()->children) {
        if (child->kind == kind && isTransferTarget(child) && static_cast<Tree::_DBItemNode*>(child)->id != srcId)
            items << DataSourceSelForm::_SelItem(ios ? QStringLiteral(":res/iphone.png")
                                                     : QStringLiteral(":res/icon_android.png"),
                                                 child->name, child);
    }
    RoadGuard road(this);
    DataSourceSelForm selection(this);
    auto* target = static_cast<Tree::_DBItemNode*>(
        selection.execSel(ios ? tr("IDS_SELECT_IOS_TO_TRANSFER") : tr("IDS_SELECT_ANDROID_TO_TRANSFER"), items));
    if (!target)
        return;
    // The road keeps the database and finds the node again by id: the node
    // itself belongs to the tree.
    const QSharedPointer<LocalDb> db = target->db;
    const QString id = target->id;
    const QString name = target->name;
    const PAndroidConnector connector = ios ? nullptr : m_devices->androidConnectorOf(db);
    // A saved device database stands for a phone that is not here; it is
    // opened read-only and never written.
    const bool writable = db && !db->isReadOnly();
    // The phone's write thread walks the source a page at a time. A source
    // file is opened and counted first, off the GUI thread (no contact is
    // read): one that cannot be read is named before the phone is reached,
    // and the phone is not read again for nothing.
    if (!pages) {
        pages = std::make_shared<ContactListPages>(std::move(contacts));
    } else if (writable) {
        QList<pim::_Contact> none;
        if (!g_readContactsOnWorker(*pages, 0, none, nullptr, this))
            return;
    }
    ProgressForm form(QString(), this);
    std::unique_ptr<QThread> thread;
    if (writable)
        thread = ios ? m_devices->createIosWrite(id, db, pages, &form)
                     : m_devices->createAndroidWrite(db, portAlloc(), pages, &form);
    if (!thread) {
        Tips::error(BoxText(tr("The device \"%1\" is not connected. Connect it and try again.")).arg(name));
        return;
    }
    const bool succeeded = runWorker(form, *thread);
    thread.reset();
    if (succeeded) {
        if (Tree::_DBItemNode* node = findDevice(id, db)) {
            try {
                treeModel->refreshDbNodeGroups(node);
            } catch (const std::exception& e) {
                roads::showDatabaseError(db->path(), e);
            }
            selectNode(node);
        }
        return;
    }
    db->close();
    road.end();
    if (ios)
        readIosPhone(id);
    else
        rereadAndroidPhone(id, connector);
}

void MainWindow::miFileI2I() { hasSelectedContacts() ? miContactI2I() : miTreeI2I(); }
void MainWindow::miTreeI2I() { transferTreeNode(Tree::KIND_IOS, true); }
void MainWindow::miContactI2I() { transferSelection(Tree::KIND_IOS, true); }
void MainWindow::miFileDB2I() { hasSelectedContacts() ? miContactDB2I() : miTreeDB2I(); }
void MainWindow::miTreeDB2I() { transferTreeNode(Tree::KIND_IOS, false); }
void MainWindow::miContactDB2I() { transferSelection(Tree::KIND_IOS, false); }
void MainWindow::miFileA2I() { hasSelectedContacts() ? miContactA2I() : miTreeA2I(); }
void MainWindow::miTreeA2I() { transferTreeNode(Tree::KIND_IOS, false); }
void MainWindow::miContactA2I() { transferSelection(Tree::KIND_IOS, false); }
void MainWindow::miFileI2A() { hasSelectedContacts() ? miContactI2A() : miTreeI2A(); }
void MainWindow::miTreeI2A() { transferTreeNode(Tree::KIND_ANDROID, false); }
void MainWindow::miContactI2A() { transferSelection(Tree::KIND_ANDROID, false); }
void MainWindow::miFileA2A() { hasSelectedContacts() ? miContactA2A() : miTreeA2A(); }
void MainWindow::miTreeA2A() { transferTreeNode(Tree::KIND_ANDROID, true); }
void MainWindow::miContactA2A() { transferSelection(Tree::KIND_ANDROID, true); }
void MainWindow::miFileDB2A() { hasSelectedContacts() ? miContactDB2A() : miTreeDB2A(); }
void MainWindow::miTreeDB2A() { transferTreeNode(Tree::KIND_ANDROID, false); }
void MainWindow::miContactDB2A() { transferSelection(Tree::KIND_ANDROID, false); }
