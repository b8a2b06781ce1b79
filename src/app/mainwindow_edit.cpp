// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's edit, delete and group commands, and the phone step
// that carries a change on to the phone of a device node.
#include "app/mainwindow.h"

#include "app/applog.h"
#include "app/contactpagesload.h"
#include "app/devices/idevicelayer.h"
#include "app/groupchange.h"
#include "app/groupform.h"
#include "app/itemmodelcontacts.h"
#include "app/mainwindow_roads_p.h"
#include "contactui/contactdisplayer.h"
#include "contactui/editcontactform.h"
#include "kit/progressform.h"
#include "kit/tips.h"
#include "model/localdb.h"
#include "model/localdbedit.h"
#include "ui_mainwindow.h"

#include <QItemSelectionModel>

namespace {

using Tree = ItemModelMainTree;
using Change = _ChangeData;

bool isPhone(const Tree::_DBItemNode* node)
{
    return node->type == Tree::TYPE_DEVICE
        && (node->kind == Tree::KIND_IOS || node->kind == Tree::KIND_ANDROID);
}

// The file of the database a command on the current node works on.
QString databasePathOf(const MainWindow::_CurrentNode& current)
{
    return current.dbNode && current.dbNode->db ? current.dbNode->db->path() : QString();
}

DeviceTarget targetOf(const Tree::_DBItemNode* node)
{
    return DeviceTarget { node->kind, node->id, node->db };
}

// Ends an edit after a failure; a rollback that fails too must not hide
// the first error.
void rollBack(LocalDb& db)
{
    try {
        db.endEdit(false);
    } catch (const std::exception& e) {
        qCWarning(lcApp) << "rollback failed:" << e.what();
    }
}

// Stores an edit: a new contact first gets its row (named after the name
// the editor added), then the changes are applied in list order, each added
// entity receiving its row id. One transaction; throws after rolling back.
void storeEdit(LocalDb& db, pim::_Contact& contact, QList<Change>& changes)
{
    db.beginEdit();
    try {
        pim::_Contact copy = contact;
        if (contact.id == 0) {
            for (const Change& change : std::as_const(changes)) {
                if (change.type == pim::ENTITY_NAME && change.action == _ChangeData::ACTION_ADDED) {
                    contact.fullName = change.entity.fullName();
                    break;
                }
            }
            db.insertContactBase(contact);
            copy = contact;
        }
        for (Change& change : changes) {
            switch (change.action) {
            case _ChangeData::ACTION_ADDED:
                db.insertEntity(copy.id, change.type, change.entity);
                break;
            case _ChangeData::ACTION_UPDATED:
                db.updateEntity(change.type, change.entity);
                if (change.type == pim::ENTITY_NAME) {
                    copy.fullName = change.entity.fullName();
                    db.updateContactBase(copy);
                }
                break;
            case _ChangeData::ACTION_DELETED:
                db.removeEntity(change.entity.id);
                break;
            }
        }
        db.endEdit(true);
    } catch (...) {
        rollBack(db);
        throw;
    }
}

} // namespace

void roads::showDatabaseError(const QString& path, const std::exception& e)
{
    qCWarning(lcApp) << "database" << path << "failed:" << e.what();
    // A busy database says so in its own words, without the result code.
    const QString technical = dynamic_cast<const DatabaseBusy*>(&e) ? QStringLiteral("busy (code 5)")
                                                                     : QString::fromUtf8(e.what());
    Tips::warning(g_databaseErrorText(path, technical));
}

bool MainWindow::refusesChanges(const Tree::_DBItemNode* node) const
{
    if (!node->db || !node->db->isReadOnly())
        return false;
    Tips::warning(BoxText(tr("The contacts of %1 are a saved copy and cannot be changed. Connect the phone "
                             "to change its contacts."))
                      .arg(node->name));
    return true;
}

// ---------------------------------------------------------------------------
// The phone step.

bool MainWindow::runPhoneStep(const DeviceTarget& target, const DeviceChanges& changes)
{
    ProgressForm form(QString(), this);
    std::unique_ptr<QThread> worker = m_devices->createSendChangesWorker(target, changes, &form);
    if (!worker) {
        Tips::error(tr("Changes cannot be sent to this phone."));
        // Nothing of a group change was stored; edits and deletions were,
        // and the phone does not have them.
        if (changes.job != DeviceChanges::SetGroup)
            rereadPhone(target);
        return false;
    }
    worker->start(QThread::InheritPriority);
    const int result = form.exec();
    const bool cancelled = form.isCancelled();
    worker->wait();
    worker.reset();
    if (result == 1 && !cancelled)
        return true;
    rereadPhone(target);
    return false;
}

void MainWindow::rereadPhone(const DeviceTarget& target)
{
    qCInfo(lcApp) << "reading the phone again after a failed change:" << target.id;
    if (target.db)
        target.db->close();
    const int loadsBefore = m_listLoadsStarted;
    if (target.kind == Tree::KIND_IOS)
        readIosPhone(target.id);
    else if (target.kind == Tree::KIND_ANDROID)
        rereadAndroidPhone(target.id, m_devices->androidConnectorOf(target.db));
    // The old node may be gone; list whatever is current now, unless the
    // read has done so already (a new node shown, or the old one kept):
    // a second read would only drop the first.
    if (m_listLoadsStarted == loadsBefore)
        onMainTreeItemSelected(QItemSelection(), QItemSelection());
}

// ---------------------------------------------------------------------------
// Add and edit.

void MainWindow::editContact(pim::_Contact contact, int listRow)
{
    const _CurrentNode current = currentNode();
    Tree::_DBItemNode* node = current.dbNode;
    if (!node || !node->db || refusesChanges(node))
        return;
    const QSharedPointer<LocalDb> db = node->db;
    const bool isNew = contact.id == 0;
    QList<Change> changes;
    {
        EditContactForm form(&contact, isNew ? db : QSharedPointer<LocalDb>());
        if (form.exec() != QDialog::Accepted)
            return;
        changes = form.getChanges(db->rule().data(), contact);
    }
    if (changes.isEmpty())
        return;
    try {
        storeEdit(*db, contact, changes);
    } catch (const std::exception& e) {
        roads::showDatabaseError(db->path(), e);
        return;
    }
    if (isPhone(node)) {
        DeviceChanges send;
        send.job = DeviceChanges::EditContact;
        send.contact = db->contact(contact.id);
        send.changes = changes;
        if (!runPhoneStep(targetOf(node), send))
            return;
        if (!isInTree(node))
            return;
    }
    // Read back: the phone step may have written source ids.
    const pim::_Contact stored = db->contact(contact.id);
    if (isNew) {
        // Read again so that the new contact stands in its sorted place;
        // it becomes current once the list is on screen.
        m_listSelectId = stored.id;
        reloadListKeepingSearch();
        return;
    } else if (const pim::_Contact* row = contactsModel->contactAt(listRow); row && row->id == stored.id) {
        // The list may have been reloaded while the dialogs were open.
        contactsModel->updateContact(listRow, stored);
    }
    ui->wdContactInfo->showContact(&stored);
}

void MainWindow::miNewContact()
{
    roads::guardedOn(databasePathOf(currentNode()), [this] { editContact(pim::_Contact()); });
}

void MainWindow::miContactEdit()
{
    if (ui->treeContacts->selectionModel()->selectedRows(0).size() != 1)
        return;
    onContactsTreeItemDoubleClicked(ui->treeContacts->currentIndex());
}

// ---------------------------------------------------------------------------
// Delete.

bool MainWindow::delContacts(const QList<pim::_Contact>& contacts)
{
    const _CurrentNode current = currentNode();
    Tree::_DBItemNode* node = current.dbNode;
    if (!node || !node->db || refusesChanges(node))
        return false;
    const QSharedPointer<LocalDb> db = node->db;
    try {
        const bool stored = g_writeContactsOnWorker(
            tr("Deleting contacts..."), contacts.size(), this, [&](const std::function<void(qsizetype)>& step) {
                LocalDbEdit edit(*db, lcApp(), "rollback of a deletion");
                for (qsizetype i = 0; i < contacts.size(); ++i) {
                    step(i);
                    db->removeContact(contacts.at(i).id);
                }
                edit.commit();
            });
        if (!stored)
            return false;
    } catch (const std::exception& e) {
        roads::showDatabaseError(db->path(), e);
        return false;
    }
    if (isPhone(node) && !contacts.isEmpty()) {
        DeviceChanges send;
        send.job = DeviceChanges::DeleteContacts;
        send.contacts = contacts;
        if (!runPhoneStep(targetOf(node), send) || !isInTree(node))
            return false;
    }
    // The list is read again off the GUI thread, as for any node load: a
    // large database must not freeze the window after a deletion.
    reloadListKeepingSearch();
    Tips::info(tr("IDS_SUC_DEL_CONTACTS"));
    return true;
}

void MainWindow::miFileDelete()
{
    if (useContactVariant())
        miContactDel();
    else
        miTreeDel();
}

void MainWindow::miContactDel()
{
    roads::guardedOn(databasePathOf(currentNode()), [this] {
        QList<pim::_Contact> contacts;
        if (Tips::question(tr("IDS_CONFIRM_DEL_SELECTIONS")) && contactsSelected(contacts))
            delContacts(contacts);
    });
}

void MainWindow::miTreeDel()
{
    roads::guardedOn(databasePathOf(currentNode()), [this] {
        const _CurrentNode current = currentNode();
        Tree::_ItemNode* node = current.node;
        if (!node)
            return;
        if (current.groupNode && current.dbNode) {
            if (!Tips::question(tr("IDS_CONFIRM_DEL_GROUP")))
                return;
            Tree::_DBItemNode* parent = current.dbNode;
            const QSharedPointer<LocalDb> db = parent->db;
            const unsigned long long groupId = current.groupNode->group.id;
            // Deleting a group deletes the contacts in it.
            QList<pim::_Contact> members;
            if (!readNodeContacts(current, members) || !delContacts(members))
                return;
            db->removeGroupOnly(groupId);
            showStoredNode(parent);
        } else if (node->type == Tree::TYPE_LOCALDB) {
            if (!Tips::question(tr("IDS_CONFIRM_DEL_LOCALDB")))
                return;
            auto* dbNode = static_cast<Tree::_DBItemNode*>(node);
            if (!dbNode->db || !dbNode->db->removeDB()) {
                Tips::error(tr("IDS_DELETE_LOCALDB_ERROR"));
                return;
            }
            Tree::_ItemNode* root = treeModel->localDbRootNode();
            treeModel->removeChild(root, int(root->children.indexOf(node)));
            Tips::info(tr("IDS_DELETE_LOCALDB_SUC"));
        } else if (node->type == Tree::TYPE_DEVICE && current.dbNode->db) {
            const bool android = node->kind == Tree::KIND_ANDROID;
            if (!android && node->kind != Tree::KIND_IOS)
                return;
            if (!Tips::question(android ? tr("IDS_CONFIRM_CLEAR_ANDROID_CONTACTS")
                                        : tr("IDS_CONFIRM_CLEAR_IOS_CONTACTS")))
                return;
            QList<pim::_Contact> all;
            if (readNodeContacts(current, all))
                delContacts(all);
        }
    });
}

// ---------------------------------------------------------------------------
// Groups.

void MainWindow::miContactSetGroup()
{
    roads::guardedOn(databasePathOf(currentNode()), [this] {
        const _CurrentNode current = currentNode();
        Tree::_DBItemNode* node = current.dbNode;
        if (!node || !node->db || refusesChanges(node))
            return;
        const QSharedPointer<LocalDb> db = node->db;
        GroupForm form(db, this);
        if (form.exec() != QDialog::Accepted)
            return;
        QList<pim::_Contact> contacts;
        if (!contactsSelected(contacts))
            return;
        if (node->type == Tree::TYPE_DEVICE && node->kind == Tree::KIND_ANDROID) {
            // The phone's worker stores the change itself, once the phone
            // has taken it.
            DeviceChanges send;
            send.job = DeviceChanges::SetGroup;
            send.contacts = contacts;
            send.groupId = form.groupId;
            send.groupName = form.groupName;
            if (!runPhoneStep(targetOf(node), send) || !isInTree(node))
                return;
        } else {
            // An iPhone keeps groups in its device database only.
            const bool stored = g_writeContactsOnWorker(
                tr("Setting the group..."), contacts.size(), this, [&](const std::function<void(qsizetype)>& step) {
                    LocalDbEdit edit(*db, lcApp(), "rollback of a group change");
                    applyGroupChange(*db, contacts, form.groupId, form.groupName, step);
                    edit.commit();
                });
            if (!stored)
                return;
        }
        showStoredNode(node);
        Tips::info(tr("IDS_UPDATE_GROUP_SUC"));
    });
}
