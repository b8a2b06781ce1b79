// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's contact list: read off the GUI thread, shown when
// complete, and the card fed one whole contact at a time.
#include "app/mainwindow.h"

#include "app/applog.h"
#include "app/itemmodelcontacts.h"
#include "contactui/contactdisplayer.h"
#include "kit/tips.h"
#include "model/databaseerrortext.h"
#include "model/localdb.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QScopedValueRollback>

#include <utility>

bool MainWindow::isListLoading() const
{
    return m_listLoader->isBusy();
}

void MainWindow::startListLoad(const _CurrentNode& current, const QString& keyword, bool search)
{
    ItemModelMainTree::_DBItemNode* db = current.dbNode;
    ++m_listLoadsStarted;
    emit contactListLoadStarted();
    if (!db->db) {
        showContacts({});
        emit contactListShown();
        return;
    }
    m_listNode = db;
    m_listKeyword = keyword;
    m_listIsSearch = search;
    const unsigned long long groupId = current.groupNode ? current.groupNode->group.id : 0;
    m_listTicket = m_listLoader->start(db->db, groupId, keyword);
    ui->treeContacts->setCursor(Qt::BusyCursor);
}

void MainWindow::onListLoaded(int ticket, std::shared_ptr<ItemModelContacts::PreparedRows> rows, QString error)
{
    if (ticket != m_listTicket)
        return;
    ui->treeContacts->unsetCursor();
    // The node may have left the tree (a phone unplugged) while it was read.
    if (currentNode().dbNode != m_listNode)
        return;
    if (!error.isEmpty()) {
        showLoadFailure(m_listNode, error);
        return;
    }
    if (m_listNode->unreadable) {
        m_listNode->unreadable = false;
        setNodeActionsEnabled(currentNode());
    }
    const int count = rows ? ItemModelContacts::countOf(*rows) : 0;
    contactsModel->loadPrepared(std::move(rows));
    ui->lbTotal->setText(tr("Total:%1").arg(count));
    // A reset list has no current contact until one is made current: the
    // card of a contact no longer listed must not stay.
    ui->wdContactInfo->clear();
    ui->treeContacts->setCurrentIndex(contactsModel->indexOfPos(0));
    measureContactColumns();
    fitContactColumns();
    const unsigned long long selectId = std::exchange(m_listSelectId, 0);
    if (m_listIsSearch) {
        // The first hit is selected and on the card.
        if (m_listKeyword.isEmpty()) {
            ui->lbDisplayKeyword->hide();
        } else {
            ui->lbDisplayKeyword->setText(tr("IDS_SEARCH_KEYWORKD_%1").arg(m_listKeyword));
            ui->lbDisplayKeyword->show();
        }
    } else {
        // A node load leaves row 0 current, nothing selected: commands act
        // on the whole node.
        ui->treeContacts->clearSelection();
        ui->wdContactInfo->clear();
    }
    if (selectId != 0)
        selectListedContact(selectId);
    emit contactListShown();
}

void MainWindow::showLoadFailure(ItemModelMainTree::_DBItemNode* db, const QString& technical)
{
    // A file that cannot be read keeps only the entries that need no
    // reading (its deletion); one that was merely busy keeps them all.
    if (db && !g_isDatabaseBusyText(technical)) {
        db->unreadable = true;
        if (currentNode().dbNode == db)
            setNodeActionsEnabled(currentNode());
    }
    // Clearing the tree's selection comes back to the node load; the node
    // stays current (and in the tree) so that the user can delete it.
    QScopedValueRollback<bool> loading(m_loadingNode, true);
    const QString path = db && db->db ? db->db->path() : QString();
    qCWarning(lcApp) << "cannot list" << path << ":" << technical;
    m_listLoader->cancel();
    m_listSelectId = 0;
    ui->treeContacts->unsetCursor();
    contactsModel->clear();
    ui->lbTotal->setText(tr("Total:0"));
    ui->wdContactInfo->clear();
    Tips::warning(g_databaseErrorText(path, technical));
    ui->treeMain->clearSelection();
    emit contactListShown();
}

void MainWindow::selectListedContact(unsigned long long contactId)
{
    for (int row = 0; row < contactsModel->count(); ++row) {
        if (contactsModel->contactAt(row)->id != contactId)
            continue;
        const QModelIndex index = contactsModel->indexOfPos(row);
        ui->treeContacts->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ui->treeContacts->scrollTo(index);
        return;
    }
}

void MainWindow::showListedContact(int row)
{
    const pim::_Contact* listed = contactsModel->contactAt(row);
    if (!listed) {
        ui->wdContactInfo->clear();
        return;
    }
    const ItemModelMainTree::_DBItemNode* db = currentNode().dbNode;
    if (contactsModel->isComplete(row) || !db || !db->db) {
        ui->wdContactInfo->showContact(listed);
        return;
    }
    try {
        const pim::_Contact whole = db->db->contact(listed->id);
        ui->wdContactInfo->showContact(&whole);
    } catch (const std::exception& e) {
        // An edit running elsewhere holds the database: the name is all
        // the card can show until the user picks the contact again.
        qCInfo(lcApp) << "card shows the listed part only:" << e.what();
        ui->wdContactInfo->showContact(listed);
    }
}

pim::_Contact* MainWindow::completeListedContact(int row)
{
    auto* listed = const_cast<pim::_Contact*>(contactsModel->contactAt(row));
    if (!listed || contactsModel->isComplete(row))
        return listed;
    const ItemModelMainTree::_DBItemNode* db = currentNode().dbNode;
    if (!db || !db->db)
        return nullptr;
    try {
        contactsModel->completeRow(row, db->db->contact(listed->id));
    } catch (const std::exception& e) {
        qCWarning(lcApp) << "cannot read contact" << listed->id << e.what();
        Tips::warning(g_databaseErrorText(db->db->path(), QString::fromUtf8(e.what())));
        return nullptr;
    }
    return listed;
}
