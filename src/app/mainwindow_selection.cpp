// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's node selection, search and context menus.
#include "app/mainwindow.h"

#include "contactui/contactdisplayer.h"
#include "app/contactpagesload.h"
#include "app/itemmodelcontacts.h"
#include "app/mainwindow_roads_p.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QTimer>

#include <exception>
#include <vector>

namespace {

using Tree = ItemModelMainTree;

// How soon a node whose database was busy is loaded again.
constexpr int kBusyRetryMs = 500;

// Selected rows the list holds in part that are read on the window's own
// thread; more are read on a worker under a progress dialog.
constexpr std::size_t kSelectionReadInPlace = 8;

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

QList<pim::_Contact> MainWindow::listedSelection() const
{
    QList<pim::_Contact> contacts;
    for (const QModelIndex& row : ui->treeContacts->selectionModel()->selectedRows(0)) {
        if (const auto* contact = static_cast<const pim::_Contact*>(row.internalPointer()))
            contacts.append(*contact);
    }
    return contacts;
}

bool MainWindow::contactsSelected(QList<pim::_Contact>& contacts)
{
    const QModelIndexList rows = ui->treeContacts->selectionModel()->selectedRows(0);
    const Tree::_DBItemNode* node = currentNode().dbNode;
    const QSharedPointer<LocalDb> db = node ? node->db : QSharedPointer<LocalDb>();
    QList<pim::_Contact> selected;
    // The rows the list holds in part, and their places in `selected`.
    std::vector<unsigned long long> partIds;
    std::vector<qsizetype> partAt;
    for (const QModelIndex& row : rows) {
        const auto* contact = static_cast<const pim::_Contact*>(row.internalPointer());
        if (!contact)
            continue;
        if (db && !contactsModel->isComplete(row.row())) {
            partIds.push_back(contact->id);
            partAt.push_back(selected.size());
        }
        selected.append(*contact);
    }
    if (partIds.size() <= kSelectionReadInPlace) {
        // As a double click reads the row it edits: too few to be worth a
        // dialog, and a failure throws for the road to show.
        for (std::size_t i = 0; i < partIds.size(); ++i)
            selected[partAt[i]] = db->contact(partIds[i]);
        contacts = std::move(selected);
        return true;
    }
    LocalDbContactPages pages(db, partIds);
    QList<pim::_Contact> whole;
    if (!g_readContactsOnWorker(pages, -1, whole, nullptr, this))
        return false;
    // The pages keep the order of the ids and leave out a contact removed
    // since the list was read: it is left out of the selection too.
    std::vector<bool> removed(std::size_t(selected.size()), false);
    qsizetype next = 0;
    for (std::size_t i = 0; i < partIds.size(); ++i) {
        if (next < whole.size() && whole.at(next).id == partIds[i])
            selected[partAt[i]] = std::move(whole[next++]);
        else
            removed[std::size_t(partAt[i])] = true;
    }
    contacts.clear();
    contacts.reserve(selected.size());
    for (qsizetype i = 0; i < selected.size(); ++i) {
        if (!removed[std::size_t(i)])
            contacts.append(std::move(selected[i]));
    }
    return true;
}

void MainWindow::showContacts(const QList<pim::_Contact>& contacts)
{
    m_listLoader->cancel();
    contactsModel->loadContacts(contacts);
    ui->lbTotal->setText(tr("Total:%1").arg(contacts.size()));
    ui->wdContactInfo->clear();
    ui->treeContacts->setCurrentIndex(contactsModel->indexOfPos(0));
}

bool MainWindow::isTransferTarget(const Tree::_ItemNode* node)
{
    if (!isDeviceNode(node))
        return false;
    const auto* device = static_cast<const Tree::_DBItemNode*>(node);
    return device->db && !device->db->isReadOnly();
}

NodeFacts MainWindow::nodeFacts(const _CurrentNode& current) const
{
    NodeFacts facts;
    const Tree::_DBItemNode* db = current.dbNode;
    if (!db)
        return facts;
    facts.type = db->type;
    facts.kind = db->kind;
    facts.group = current.groupNode != nullptr;
    facts.readOnly = !db->db || db->db->isReadOnly();
    facts.unreadable = db->unreadable;
    for (const Tree::_ItemNode* child : treeModel->devicesRootNode()->children) {
        if (child == db || !isTransferTarget(child))
            continue;
        if (child->kind == Tree::KIND_IOS)
            ++facts.iPhoneTargets;
        else if (child->kind == Tree::KIND_ANDROID)
            ++facts.androidTargets;
    }
    return facts;
}

void MainWindow::setNodeActionsEnabled(const _CurrentNode& current)
{
    const NodeEntries entries = g_nodeEntries(nodeFacts(current));
    toolBarActions[TB_BACKUP]->setEnabled(entries.backup);
    toolBarActions[TB_I2I]->setEnabled(entries.iPhoneToIPhone);
    toolBarActions[TB_DB2I]->setEnabled(entries.localToIPhone);
    toolBarActions[TB_I2A]->setEnabled(entries.iPhoneToAndroid);
    toolBarActions[TB_A2I]->setEnabled(entries.androidToIPhone);
    toolBarActions[TB_A2A]->setEnabled(entries.androidToAndroid);
    toolBarActions[TB_DB2A]->setEnabled(entries.localToAndroid);
    toolBarActions[TB_EXPORT]->setEnabled(entries.exportContacts);
    toolBarActions[TB_PRINT]->setEnabled(entries.printContacts);
    toolBarActions[TB_DELETE]->setEnabled(entries.deleteNode);
    toolBarActions[TB_NEW_CONTACT]->setEnabled(entries.addContact);
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
    m_listSelectId = 0;
    loadNode(current);
}

void MainWindow::reloadListKeepingSearch()
{
    const _CurrentNode current = currentNode();
    if (!current.dbNode)
        return;
    // A node load hides the keyword line: while it shows, the last list
    // read for this node was that search.
    const bool searching = m_listIsSearch && !ui->lbDisplayKeyword->isHidden() && m_listNode == current.dbNode;
    loadNode(current, searching ? m_listKeyword : QString(), searching);
}

void MainWindow::loadNode(const _CurrentNode& current, const QString& keyword, bool search)
{
    Tree::_DBItemNode* db = current.dbNode;
    try {
        if (db->children.isEmpty())
            treeModel->refreshDbNodeGroups(db);
        ui->treeMain->expand(treeModel->indexOfItemNode(db));
    } catch (const DatabaseBusy&) {
        // An operation of the database's own is running (its progress
        // dialog is up); load the node again once it is over.
        QTimer::singleShot(kBusyRetryMs, this, [this, db, keyword, search] {
            const _CurrentNode now = currentNode();
            if (now.dbNode == db)
                loadNode(now, keyword, search);
        });
        return;
    } catch (const std::exception& e) {
        showLoadFailure(db, exceptionText(e));
        return;
    }
    startListLoad(current, keyword, search);
}

void MainWindow::onMainTreeItemClicked(QModelIndex)
{
    ui->treeContacts->clearSelection();
}

void MainWindow::onContactsTreeItemSelected(QItemSelection selected, QItemSelection)
{
    const QModelIndexList indexes = selected.indexes();
    if (!indexes.isEmpty() && indexes.constFirst().internalPointer()) {
        showListedContact(indexes.constFirst().row());
        return;
    }
    // A change that only took rows away (a click on one row of many
    // selected) leaves the clicked, current row on the card while it is
    // still selected.
    const QModelIndex current = ui->treeContacts->currentIndex();
    if (current.isValid() && ui->treeContacts->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        showListedContact(current.row());
    else
        ui->wdContactInfo->clear();
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
    roads::guardedOn(current.dbNode->db ? current.dbNode->db->path() : QString(),
                     [this, &edited, row] { editContact(edited, row); });
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
    const NodeEntries entries = g_nodeEntries(nodeFacts(current));

    if (current.node->type == Tree::TYPE_LOCALDB_ROOT) {
        add(":res/open_db_folder.png", tr("IDS_MI_OPEN_LOCALDB_FOLDER"), &MainWindow::miOpenFolder);
        add(":res/from_itunes.png", tr("IDS_MI_FROM_ITUNES"), &MainWindow::miFromiTunes);
        add(":res/import.png", tr("IDS_MI_IMPORT_FROM_FILE"), &MainWindow::miImport);
        return true;
    }
    const Tree::_DBItemNode* db = current.dbNode;
    if (isLocalDbNode(db)) {
        add(":res/db2i.png", tr("IDS_MI_TRANSFER_TO_IOS_FROM_LOCALDB"), &MainWindow::miTreeDB2I, entries.localToIPhone);
        add(":res/db2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB"), &MainWindow::miTreeDB2A,
            entries.localToAndroid);
        menu->addSeparator();
        add(":res/export.png", tr("IDS_MI_EXPORT_CONTACTS"), &MainWindow::miTreeExport, entries.exportContacts);
        add(":res/print.png", tr("IDS_MI_PRINT_CONTACTS"), &MainWindow::miTreePrint, entries.printContacts);
        add(":res/new_ct.png", tr("IDS_MI_NEW_CONTACT"), &MainWindow::miNewContact, entries.addContact);
        add(":res/del.png", current.groupNode ? tr("IDS_MI_DEL_CONTACTS") : tr("IDS_MI_REMOVE_LOCAL_DB"),
            &MainWindow::miTreeDel, entries.deleteNode);
        return true;
    }
    if (isDeviceNode(db)) {
        add(":res/backup.png", tr("IDS_MI_BACKUP_CONTACTS"), &MainWindow::miTreeBackup, entries.backup);
        if (db->kind == Tree::KIND_IOS) {
            add(":res/i2i.png", tr("IDS_MI_TRANSFER_TO_OTHER_IOS_FROM_IOS"), &MainWindow::miTreeI2I,
                entries.iPhoneToIPhone);
            add(":res/i2a.png", tr("IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS"), &MainWindow::miTreeI2A,
                entries.iPhoneToAndroid);
        } else if (db->kind == Tree::KIND_ANDROID) {
            add(":res/a2i.png", tr("IDS_MI_TRANSFER_TO_IOS_FROM_ANDROID"), &MainWindow::miTreeA2I,
                entries.androidToIPhone);
            add(":res/a2a.png", tr("IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID"), &MainWindow::miTreeA2A,
                entries.androidToAndroid);
        }
        menu->addSeparator();
        add(":res/export.png", tr("IDS_MI_EXPORT_CONTACTS"), &MainWindow::miTreeExport, entries.exportContacts);
        add(":res/print.png", tr("IDS_MI_PRINT_CONTACTS"), &MainWindow::miTreePrint, entries.printContacts);
        add(":res/new_ct.png", tr("IDS_MI_NEW_CONTACT"), &MainWindow::miNewContact, entries.addContact);
        add(":res/del.png", tr("IDS_MI_DEL_CONTACTS"), &MainWindow::miTreeDel, entries.deleteNode);
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
    const NodeEntries entries = g_nodeEntries(nodeFacts(current));

    if (isDeviceNode(db)) {
        add(":res/backup.png", tr("IDS_MI_BACKUP_SELECTIONS"), &MainWindow::miContactBackup, entries.backup);
        if (db->kind == Tree::KIND_IOS) {
            add(":res/i2i.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_OTHER_IOS_FROM_IOS"), &MainWindow::miContactI2I,
                entries.iPhoneToIPhone);
            add(":res/i2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_IOS"), &MainWindow::miContactI2A,
                entries.iPhoneToAndroid);
        } else if (db->kind == Tree::KIND_ANDROID) {
            add(":res/a2i.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_IOS_FROM_ANDROID"), &MainWindow::miContactA2I,
                entries.androidToIPhone);
            add(":res/a2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_OTHER_ANDROID_FROM_ANDROID"),
                &MainWindow::miContactA2A, entries.androidToAndroid);
        }
    } else if (isLocalDbNode(db)) {
        add(":res/db2i.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_IOS_FROM_DB"), &MainWindow::miContactDB2I,
            entries.localToIPhone);
        add(":res/db2a.png", tr("IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_DB"), &MainWindow::miContactDB2A,
            entries.localToAndroid);
    }
    menu->addSeparator();
    add(":res/export.png", tr("IDS_MI_EXPORT_SELECTIONS"), &MainWindow::miContactExport, entries.exportContacts);
    add(":res/print.png", tr("IDS_MI_PRINT_SELECTIONS"), &MainWindow::miContactPrint, entries.printContacts);
    add(":res/edit.png", tr("IDS_MI_EDIT_CONTACT"), &MainWindow::miContactEdit,
        entries.changeContacts && selectedRows == 1);
    add(":res/group.png", tr("IDS_MI_SET_GROUP"), &MainWindow::miContactSetGroup, entries.changeContacts);
    add(":res/del.png", tr("IDS_MI_DEL_SELECTIONS"), &MainWindow::miContactDel, entries.changeContacts);
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
