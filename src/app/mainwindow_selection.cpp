// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's node selection, search and context menus.
#include "app/mainwindow.h"

#include "contactui/contactdisplayer.h"
#include "app/itemmodelcontacts.h"
#include "model/localdb.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QTimer>

#include <exception>

namespace {

using Tree = ItemModelMainTree;

// How soon a node whose database was busy is loaded again.
constexpr int kBusyRetryMs = 500;

bool isDeviceNode(const Tree::_ItemNode* node)
{
    return node && node->type == Tree::TYPE_DEVICE;
}

bool isLocalDbNode(const Tree::_ItemNode* node)
{
    return node && node->type == Tree::TYPE_LOCALDB;
}

QString exceptionText(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

void addMenuEntry(QMenu* menu, MainWindow* window, const char* icon, const QString& text,
                  void (MainWindow::*slot)(), bool enabled)
{
    QAction* action = menu->addAction(QIcon(QString::fromLatin1(icon)), text, window, slot);
    action->setEnabled(enabled);
}

// Resets a flag when a scope is left, whatever way.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

} // namespace

MainWindow::_CurrentNode MainWindow::currentNode() const
{
    _CurrentNode current;
    Tree::_ItemNode* node = treeModel->nodeOf(ui->treeMain->currentIndex());
    if (!node)
        return current;
    current.node = node;
    switch (node->type) {
    case Tree::TYPE_DEVICE:
    case Tree::TYPE_LOCALDB:
        current.dbNode = static_cast<Tree::_DBItemNode*>(node);
        break;
    case Tree::TYPE_GROUP:
        current.groupNode = static_cast<Tree::_GroupItemNode*>(node);
        if (node->parent && (node->parent->type == Tree::TYPE_DEVICE || node->parent->type == Tree::TYPE_LOCALDB))
            current.dbNode = static_cast<Tree::_DBItemNode*>(node->parent);
        break;
    default:
        break;
    }
    return current;
}

QList<pim::_Contact> MainWindow::contactsSelected() const
{
    QList<pim::_Contact> contacts;
    const QModelIndexList rows = ui->treeContacts->selectionModel()->selectedRows(0);
    const Tree::_DBItemNode* db = currentNode().dbNode;
    for (const QModelIndex& row : rows) {
        const auto* contact = static_cast<const pim::_Contact*>(row.internalPointer());
        if (!contact)
            continue;
        if (contactsModel->isComplete(row.row()) || !db || !db->db)
            contacts.append(*contact);
        else
            contacts.append(db->db->contact(contact->id));
    }
    return contacts;
}

void MainWindow::showContacts(const QList<pim::_Contact>& contacts)
{
    m_listLoader->cancel();
    contactsModel->loadContacts(contacts);
    ui->lbTotal->setText(tr("Total:%1").arg(contacts.size()));
    ui->wdContactInfo->clear();
    ui->treeContacts->setCurrentIndex(contactsModel->indexOfPos(0));
}

void MainWindow::setNodeActionsEnabled(const _CurrentNode& current)
{
    const Tree::_DBItemNode* db = current.dbNode;
    if (!db) {
        for (int index : { TB_BACKUP, TB_I2I, TB_DB2I, TB_I2A, TB_A2I, TB_A2A, TB_DB2A, TB_EXPORT, TB_PRINT,
                           TB_DELETE, TB_NEW_CONTACT })
            toolBarActions[size_t(index)]->setEnabled(false);
        return;
    }
    const int iPhones = treeModel->deviceCount(Tree::KIND_IOS);
    const int androids = treeModel->deviceCount(Tree::KIND_ANDROID);
    const bool device = isDeviceNode(db);
    const bool local = isLocalDbNode(db);
    const bool iPhone = device && db->kind == Tree::KIND_IOS;
    const bool android = device && db->kind == Tree::KIND_ANDROID;

    toolBarActions[TB_BACKUP]->setEnabled(device);
    toolBarActions[TB_I2I]->setEnabled(iPhone && iPhones >= 2);
    toolBarActions[TB_DB2I]->setEnabled(local && iPhones >= 1);
    toolBarActions[TB_I2A]->setEnabled(iPhone && androids >= 1);
    toolBarActions[TB_A2I]->setEnabled(android && iPhones >= 1);
    toolBarActions[TB_A2A]->setEnabled(android && androids >= 2);
    toolBarActions[TB_DB2A]->setEnabled(local && androids >= 1);
    toolBarActions[TB_EXPORT]->setEnabled(true);
    toolBarActions[TB_PRINT]->setEnabled(true);
    toolBarActions[TB_DELETE]->setEnabled(device || local);
    toolBarActions[TB_NEW_CONTACT]->setEnabled(device || local);
}

void MainWindow::onMainTreeItemSelected(QItemSelection, QItemSelection)
{
    // Showing a load error runs a modal loop, and clearing the tree's
    // selection afterwards comes back here: without this guard the same
    // failing node is loaded, and its error shown, a second time.
    if (m_loadingNode)
        return;
    FlagScope loading(m_loadingNode);

    const _CurrentNode current = currentNode();
    setNodeActionsEnabled(current);
    if (!current.dbNode) {
        contactsModel->clear();
        ui->lbTotal->setText(tr("Total:0"));
        ui->wdContactInfo->clear();
        return;
    }
    ui->txtKeyword->setText(QString());
    ui->lbDisplayKeyword->hide();
    loadNode(current);
}

void MainWindow::loadNode(const _CurrentNode& current)
{
    Tree::_DBItemNode* db = current.dbNode;
    try {
        if (db->children.isEmpty())
            treeModel->refreshDbNodeGroups(db);
        ui->treeMain->expand(treeModel->indexOfItemNode(db));
    } catch (const DatabaseBusy&) {
        // An operation of the database's own is running (its progress
        // dialog is up); load the node again once it is over.
        QTimer::singleShot(kBusyRetryMs, this, [this, db] {
            const _CurrentNode now = currentNode();
            if (now.dbNode == db)
                loadNode(now);
        });
        return;
    } catch (const std::exception& e) {
        showLoadFailure(db, exceptionText(e));
        return;
    }
    startListLoad(current, QString(), false);
}

void MainWindow::onMainTreeItemClicked(QModelIndex)
{
    ui->treeContacts->clearSelection();
}

void MainWindow::onContactsTreeItemSelected(QItemSelection selected, QItemSelection)
{
    const QModelIndexList indexes = selected.indexes();
    if (indexes.isEmpty() || !indexes.constFirst().internalPointer())
        ui->wdContactInfo->clear();
    else
        showListedContact(indexes.constFirst().row());
}

void MainWindow::onContactsTreeItemDoubleClicked(QModelIndex index)
{
    const _CurrentNode current = currentNode();
    if (!current.dbNode || !index.isValid())
        return;
    // The edit dialog needs the whole contact, which a long list does not
    // hold: the row is made whole first.
    const pim::_Contact* contact = completeListedContact(index.row());
    if (!contact)
        return;
    // A copy: the edit may reload the list under it.
    const pim::_Contact edited = *contact;
    const int row = index.row();
    try {
        editContact(edited, row);
    } catch (const std::exception& e) {
        Tips::error(exceptionText(e));
    }
}

void MainWindow::onBtnSearchPressed()
{
    const _CurrentNode current = currentNode();
    if (!current.dbNode || !current.dbNode->db)
        return;
    startListLoad(current, ui->txtKeyword->text().trimmed(), true);
}

bool MainWindow::fillTreeContextMenu(QMenu* menu)
{
    const _CurrentNode current = currentNode();
    if (!current.node)
        return false;
    auto add = [this, menu](const char* icon, const QString& text, void (MainWindow::*slot)(), bool enabled = true) {
        addMenuEntry(menu, this, icon, text, slot, enabled);
    };
    const int iPhones = treeModel->deviceCount(Tree::KIND_IOS);
    const int androids = treeModel->deviceCount(Tree::KIND_ANDROID);

    if (current.node->type == Tree::TYPE_LOCALDB_ROOT) {
        add(":res/open_db_folder.png", tr("IDS_MI_OPEN_LOCALDB_FOLDER"), &MainWindow::miOpenFolder);
        add(":res/from_itunes.png", tr("IDS_MI_FROM_ITUNES"), &MainWindow::miFromiTunes);
        add(":res/import.png", tr("IDS_MI_IMPORT_FROM_FILE"), &MainWindow::miImport);
        return true;
    }
    const Tree::_DBItemNode* db = current.dbNode;
    if (isLocalDbNode(db)) {
        add(":res/db2i.png", tr("IDS_MI_TRANSFER_TO_IOS_FROM_LOCALDB"), &MainWindow::miTreeDB2I, iPhones > 0);
        add(":res/db2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB"), &MainWindow::miTreeDB2A, androids > 0);
        menu->addSeparator();
        add(":res/export.png", tr("IDS_MI_EXPORT_CONTACTS"), &MainWindow::miTreeExport);
        add(":res/print.png", tr("IDS_MI_PRINT_CONTACTS"), &MainWindow::miTreePrint);
        add(":res/new_ct.png", tr("IDS_MI_NEW_CONTACT"), &MainWindow::miNewContact);
        add(":res/del.png", current.groupNode ? tr("IDS_MI_DEL_CONTACTS") : tr("IDS_MI_REMOVE_LOCAL_DB"),
            &MainWindow::miTreeDel);
        return true;
    }
    if (isDeviceNode(db)) {
        add(":res/backup.png", tr("IDS_MI_BACKUP_CONTACTS"), &MainWindow::miTreeBackup);
        if (db->kind == Tree::KIND_IOS) {
            add(":res/i2i.png", tr("IDS_MI_TRANSFER_TO_OTHER_IOS_FROM_IOS"), &MainWindow::miTreeI2I, iPhones >= 2);
            add(":res/i2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS"), &MainWindow::miTreeI2A, androids > 0);
        } else if (db->kind == Tree::KIND_ANDROID) {
            add(":res/a2i.png", tr("IDS_MI_TRANSFER_TO_IOS_FROM_ANDROID"), &MainWindow::miTreeA2I, iPhones > 0);
            add(":res/a2a.png", tr("IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID"), &MainWindow::miTreeA2A,
                androids >= 2);
        }
        menu->addSeparator();
        add(":res/export.png", tr("IDS_MI_EXPORT_CONTACTS"), &MainWindow::miTreeExport);
        add(":res/print.png", tr("IDS_MI_PRINT_CONTACTS"), &MainWindow::miTreePrint);
        add(":res/new_ct.png", tr("IDS_MI_NEW_CONTACT"), &MainWindow::miNewContact);
        add(":res/del.png", tr("IDS_MI_DEL_CONTACTS"), &MainWindow::miTreeDel);
        menu->addSeparator();
        if (!current.groupNode)
            add(":res/unmount.png", tr("IDS_MI_UNMOUNT_DEVICE"), &MainWindow::miTreeUnmount);
        return true;
    }
    // The Devices root has no menu.
    return false;
}

bool MainWindow::fillContactContextMenu(QMenu* menu)
{
    const _CurrentNode current = currentNode();
    const Tree::_DBItemNode* db = current.dbNode;
    const int selectedRows = ui->treeContacts->selectionModel()->selectedRows(0).size();
    if (!db || selectedRows == 0)
        return false;
    auto add = [this, menu](const char* icon, const QString& text, void (MainWindow::*slot)(), bool enabled = true) {
        addMenuEntry(menu, this, icon, text, slot, enabled);
    };
    const int iPhones = treeModel->deviceCount(Tree::KIND_IOS);
    const int androids = treeModel->deviceCount(Tree::KIND_ANDROID);

    if (isDeviceNode(db)) {
        add(":res/backup.png", tr("IDS_MI_BACKUP_SELECTIONS"), &MainWindow::miContactBackup);
        if (db->kind == Tree::KIND_IOS) {
            add(":res/i2i.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_OTHER_IOS_FROM_IOS"), &MainWindow::miContactI2I,
                iPhones >= 2);
            add(":res/i2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_IOS"), &MainWindow::miContactI2A,
                androids > 0);
        } else if (db->kind == Tree::KIND_ANDROID) {
            add(":res/a2i.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_IOS_FROM_ANDROID"), &MainWindow::miContactA2I,
                iPhones > 0);
            add(":res/a2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_OTHER_ANDROID_FROM_ANDROID"),
                &MainWindow::miContactA2A, androids >= 2);
        }
    } else if (isLocalDbNode(db)) {
        add(":res/db2i.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_IOS_FROM_DB"), &MainWindow::miContactDB2I, iPhones > 0);
        add(":res/db2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_DB"), &MainWindow::miContactDB2A,
            androids > 0);
    }
    menu->addSeparator();
    add(":res/export.png", tr("IDS_MI_EXPORT_SELECTIONS"), &MainWindow::miContactExport);
    add(":res/print.png", tr("IDS_MI_PRINT_SELECTIONS"), &MainWindow::miContactPrint);
    add(":res/edit.png", tr("IDS_MI_EDIT_CONTACT"), &MainWindow::miContactEdit, selectedRows == 1);
    add(":res/group.png", tr("IDS_MI_SET_GROUP"), &MainWindow::miContactSetGroup);
    add(":res/del.png", tr("IDS_MI_DEL_SELECTIONS"), &MainWindow::miContactDel);
    return true;
}

void MainWindow::treeCreateContextMenu()
{
    QMenu menu;
    menu.setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")));
    if (fillTreeContextMenu(&menu))
        menu.exec(QCursor::pos());
}

void MainWindow::contactCreateContextMenu()
{
    QMenu menu;
    menu.setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")));
    if (fillContactContextMenu(&menu))
        menu.exec(QCursor::pos());
}
