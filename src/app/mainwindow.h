// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"
#include "app/contactlistloader.h"
#include "app/itemmodelcontacts.h"
#include "app/itemmodelmaintree.h"
#include "app/nodeentries.h"
#include "platform/adb/padbusbhandle.h"

#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QModelIndex>

#include <array>
#include <functional>
#include <memory>

#include "model/contact.h"

enum class UsbAuthorisation;

class AbsAndroidUsbWatch;
class AbsIosDeviceWatch;
class ContactPages;
class IDeviceLayer;
class IFileChooser;
class ProgressForm;
struct DeviceChanges;
struct DeviceTarget;
class ItemModelContacts;
class IUpdateCheck;
class QAction;
class QMenu;
class QTimer;
class QThread;
class Ui_MainWindow;

// The one top-level window: the tree of devices and local databases, the
// contact list of the current node with its search line, and the card of
// the selected contact, with the menus and toolbar that start every road.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Which database node (and group) a command works on.
    struct _CurrentNode {
        ItemModelMainTree::_ItemNode* node = nullptr;
        ItemModelMainTree::_DBItemNode* dbNode = nullptr;
        ItemModelMainTree::_GroupItemNode* groupNode = nullptr;
    };

    // Indexes of the entries shared by the File menu, the toolbar and the
    // enabling rules.
    enum ToolBarIndex {
        TB_NEW_CONTACT = 0,
        TB_BACKUP = 1,
        TB_FROM_ITUNES = 2,
        TB_I2I = 3,
        TB_DB2I = 4,
        TB_I2A = 5,
        TB_A2I = 6,
        TB_A2A = 7,
        TB_DB2A = 8,
        TB_IMPORT = 9,
        TB_EXPORT = 10,
        TB_PRINT = 11,
        TB_DELETE = 12,
        TB_COUNT = 13,
    };

    // The tree pane's width; the resize rule gives the rest to the list and
    // the card in equal parts.
    static constexpr int kTreePaneWidth = 220;
    // The smallest window: the tree pane plus a list and a card of 280 each.
    static constexpr int kMinimumWidth = kTreePaneWidth + 2 * 280;
    static constexpr int kMinimumHeight = 480;

    // devices and updateCheck are not owned and must outlive the window;
    // null devices means no phone support, null updateCheck no automatic
    // check.
    explicit MainWindow(IDeviceLayer* devices, IUpdateCheck* updateCheck = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    void updateWindowTitle();
    // Leaves the program through the normal shutdown: pollers stopped, the
    // ADB pool drained, the window closed, the event loop ended.
    void exitProgram();

    _CurrentNode currentNode() const;
    // What decides the entries offered for that node.
    NodeFacts nodeFacts(const _CurrentNode& current) const;
    // Whether a transfer may write to this device node: a saved copy of a
    // phone stands for a phone that is not here.
    static bool isTransferTarget(const ItemModelMainTree::_ItemNode* node);
    // Whole contacts of the selected rows into `contacts`, in selection
    // order. Rows the list holds only in part are read from the node's
    // database: a few in place (throwing Error when one cannot be read),
    // more on a worker under a progress dialog. False, with `contacts`
    // untouched, after a cancel or a failed read (whose box was shown).
    bool contactsSelected(QList<pim::_Contact>& contacts);
    // The selected rows as the list holds them, in selection order.
    QList<pim::_Contact> listedSelection() const;
    void showContacts(const QList<pim::_Contact>& contacts);
    // The listed contact of a row made whole in the list itself, for roads
    // that change the listed object; null when the row is out of range or
    // cannot be read.
    pim::_Contact* completeListedContact(int row);
    // Whether the contact list is still being read for the current node or
    // search (the list then shows what it showed before).
    bool isListLoading() const;

    // Write contacts to a phone that the user picks among the device nodes
    // of that kind, other than the node named srcId.
    void transfer2IOS(const QList<pim::_Contact>& contacts, QString srcId);
    void transfer2Android(const QList<pim::_Contact>& contacts, QString srcId);
    // Read a phone afresh into its device cache database and show its node
    // when the read succeeds; the old node of that id goes first. Unlike the
    // device slots, these run at once even inside a road: the roads use them
    // to repair a phone after a failed write.
    void readIosPhone(const QString& devid);
    void readAndroidPhone(const QString& devId, PAndroidConnector connector);
    // Reads an Android phone again after a change it did not take (whose
    // error was shown already). The read goes into a fresh file that
    // replaces the node's database only when it succeeds; a phone that
    // cannot be read now keeps its node, without a second error box.
    void rereadAndroidPhone(const QString& devId, PAndroidConnector connector);
    // One wait of up to timeoutMs for a USB phone's debugging authorisation,
    // without holding the window still.
    UsbAuthorisation awaitUsbAuthorisation(const PAdbUSBHandle& handle, int timeoutMs);

    // While a road runs (a progress dialog, a dialog or a message box of a
    // command), device events wait: every road holds one, and when the last
    // one ends the waiting events run in the order they came. So no event
    // pulls a database out from under a road.
    class RoadGuard {
    public:
        explicit RoadGuard(MainWindow* window);
        ~RoadGuard() { end(); }
        RoadGuard(const RoadGuard&) = delete;
        RoadGuard& operator=(const RoadGuard&) = delete;
        void end();

    private:
        MainWindow* m_window;
    };
    bool roadRunning() const;

    QAction* toolBarAction(int index) const;
    // Fill the context menus for the current node or the selected contacts;
    // false (and the menu untouched) when there is to be no menu.
    bool fillTreeContextMenu(QMenu* menu);
    bool fillContactContextMenu(QMenu* menu);

    // The local database the user picks or names (proposedName stands in
    // the dialog), its file made from the template when missing; null when
    // the dialog was cancelled or the file could not be made (the error is
    // shown). `created` tells whether the file was made here.
    ItemModelMainTree::_DBItemNode* selOrCreateLocalDb(QString proposedName, bool* created = nullptr);
    void backupContacts(QList<pim::_Contact> contacts, QString proposedName);
    void exportContacts(const QList<pim::_Contact>& contacts);
    void printContacts(const QList<pim::_Contact>& contacts);
    // The same for a walk over a database: the file or target is asked for
    // first, then the contacts are read a page at a time off the GUI thread.
    void backupContactPages(std::shared_ptr<ContactPages> pages, QString proposedName);
    void exportContactPages(std::shared_ptr<ContactPages> pages);
    void printContactPages(std::shared_ptr<ContactPages> pages);
    // The add (id 0) or edit road of one contact; `listRow` is the contact
    // list's row that shows a stored contact, -1 for a new one.
    void editContact(pim::_Contact contact, int listRow = -1);
    // Deletes the contacts from the current node's database and its phone;
    // false when nothing was deleted or a failed phone step re-read the
    // phone (the node may be gone then).
    bool delContacts(const QList<pim::_Contact>& contacts);

    // Test seam: where file names are asked for; null restores the dialogs.
    // Not owned.
    void setFileChooser(IFileChooser* chooser);

    ItemModelMainTree* mainTreeModel() const { return treeModel.get(); }
    ItemModelContacts* contactsListModel() const { return contactsModel.get(); }
    Ui_MainWindow* form() const { return ui.get(); }

signals:
    // The list of a node load or a search is on screen (or its failure was
    // shown).
    void contactListShown();
    // A read of the list for a node or a search has begun.
    void contactListLoadStarted();

protected:
    void resizeEvent(QResizeEvent* event) override;

public slots:
    // Node selection, search and context menus.
    void onMainTreeItemSelected(QItemSelection selected, QItemSelection deselected);
    void onMainTreeItemClicked(QModelIndex index);
    void onContactsTreeItemSelected(QItemSelection selected, QItemSelection deselected);
    void onContactsTreeItemDoubleClicked(QModelIndex index);
    void onBtnSearchPressed();
    void treeCreateContextMenu();
    void contactCreateContextMenu();

    // Phones arriving and leaving.
    void iosDeviceConnected(QString devid);
    void iosDeviceDisconnected(QString devid);
    void androidDeviceConnected(QString path, PAdbUSBHandle handle);
    void androidDeviceDisconnected(QString path, PAdbUSBHandle h);
    void androidDeviceConnectedFailed2(QString path);
    void androidDeviceIniLoad(QString devId, PAndroidConnector connector);
    void miTreeUnmount();
    void miToolsConnectViaWiFi();

    // Contact actions.
    void miContactExport();
    void miContactPrint();
    void miContactBackup();
    void miOpenFolder();
    void miTreeExport();
    void miTreePrint();
    void miTreeBackup();
    void miFileBackup();
    void miImport();
    void miFileExport();
    void miFilePrint();
    void miFromiTunes();

    // Editing, deleting and grouping.
    void miNewContact();
    void miContactEdit();
    void miContactDel();
    void miContactSetGroup();
    void miTreeDel();
    void miFileDelete();

    // The six transfer directions, as File, tree and contact variants.
    void miFileI2I();
    void miTreeI2I();
    void miContactI2I();
    void miFileDB2I();
    void miTreeDB2I();
    void miContactDB2I();
    void miFileI2A();
    void miTreeI2A();
    void miContactI2A();
    void miFileA2I();
    void miTreeA2I();
    void miContactA2I();
    void miFileA2A();
    void miTreeA2A();
    void miContactA2A();
    void miFileDB2A();
    void miTreeDB2A();
    void miContactDB2A();

    // Update check and help.
    void miToolsCheckForUpdate();
    void miHelpHelp();
    void miHelpFeedback();
    void miHelpAbout();

private:
    void buildStatusBar();
    void buildMenusAndToolBar();
    void startDeviceWatches();
    // The iPhone watch's answer: a warning naming the service to start when
    // the device library could not be reached.
    void warnIfNoIphoneService(bool subscribed);
    // Adds the saved device databases of one folder of the data folder;
    // returns the last node added, null when none.
    ItemModelMainTree::_DBItemNode* addSavedDevices(const QString& folderName, int kind);
    void addLocalDatabases();
    void startUpdateCheckWhenDue();
    void selectNode(ItemModelMainTree::_ItemNode* node);
    void setNodeActionsEnabled(const _CurrentNode& current);
    void loadNode(const _CurrentNode& current, const QString& keyword = QString(), bool search = false);
    // Reads the current node's list again after a change; a search shown
    // for it is applied again, so the list and the keyword line agree.
    void reloadListKeepingSearch();
    void stopDeviceWork();
    // Keeps the event for later and returns true while a road runs.
    bool deferWhileRoadRuns(std::function<void()> event);
    void replayDeferredEvents();
    void removeFirstDevice(int kind, const QString& id);
    ItemModelMainTree::_DBItemNode* findDevice(const QString& id, const QSharedPointer<LocalDb>& db) const;
    void showReadDevice(const QSharedPointer<LocalDb>& db, const QString& name, const QString& id, int kind);
    bool hasSelectedContacts() const;
    void transferTreeNode(int kind, bool excludeSource);
    void transferSelection(int kind, bool excludeSource);
    // With `pages`, the phone's writer walks it instead of `contacts`.
    void transferToPhone(int kind, QList<pim::_Contact> contacts, const QString& srcId,
                         std::shared_ptr<ContactPages> pages = nullptr);
    void notYetAvailable(const char* road) const;
    // The contact list, read off the GUI thread (mainwindow_list.cpp).
    void startListLoad(const _CurrentNode& current, const QString& keyword, bool search);
    void onListLoaded(int ticket, std::shared_ptr<ItemModelContacts::PreparedRows> rows, QString error);
    void showLoadFailure(ItemModelMainTree::_DBItemNode* db, const QString& technical);
    void showListedContact(int row);
    // Makes the listed contact of that id current and selected (its card
    // shown); nothing when it is not listed.
    void selectListedContact(unsigned long long contactId);
    void applyPaneSizes(int windowWidth);
    // The widths the phone and e-mail texts of the listed rows need.
    void measureContactColumns();
    // Shares m_columnsWidth out among the list's columns.
    void fitContactColumns();

    // Contact actions and edits.
    bool useContactVariant() const;
    // The contacts of the node, walked later a page at a time; null when
    // the node has no database.
    std::shared_ptr<ContactPages> currentNodePages(const _CurrentNode& current) const;
    // All the contacts of the node (or its group), read on a worker under
    // a progress dialog; false after a cancel or a failed read (whose box
    // was shown), or when the node has no database.
    bool readNodeContacts(const _CurrentNode& current, QList<pim::_Contact>& contacts);
    // The contacts behind the selected rows, in selection order, read by id
    // a page at a time later; empty when no row is selected.
    std::shared_ptr<ContactPages> selectedPages() const;
    // Starts the worker, runs the dialog, waits; true on success only.
    static bool runWorker(ProgressForm& form, QThread& worker);
    // Refreshes the node's groups, expands it, makes it current and lists
    // its contacts (also when it was current already).
    void showStoredNode(ItemModelMainTree::_DBItemNode* node);
    bool isInTree(const ItemModelMainTree::_ItemNode* node) const;
    // Deletes a database that a road created for an import that then
    // stored nothing, and its node.
    void dropCreatedDb(ItemModelMainTree::_DBItemNode* node);
    // Warns and returns true when the node's database cannot be changed.
    bool refusesChanges(const ItemModelMainTree::_DBItemNode* node) const;
    // Sends a change to the node's phone; on failure or cancel the phone is
    // read again and false returned.
    bool runPhoneStep(const DeviceTarget& target, const DeviceChanges& changes);
    void rereadPhone(const DeviceTarget& target);

    // Members in the order the shutdown relies on: the poller first, so it
    // is destroyed last, after everything that may still receive from it.
    std::unique_ptr<AbsAndroidUsbWatch> adbPoll;
    std::unique_ptr<AbsIosDeviceWatch> deviceSubscribe;
    std::unique_ptr<Ui_MainWindow> ui;
    std::unique_ptr<ItemModelMainTree> treeModel;
    std::unique_ptr<ItemModelContacts> contactsModel;

    std::unique_ptr<IDeviceLayer> m_ownDevices;
    IDeviceLayer* m_devices = nullptr;
    IUpdateCheck* m_updateCheck = nullptr;
    std::unique_ptr<IFileChooser> m_ownFileChooser;
    IFileChooser* m_fileChooser = nullptr;
    // Per window rather than file-static, so that several windows (tests)
    // never share entries.
    std::array<QAction*, TB_COUNT> toolBarActions {};
    bool m_loadingNode = false;
    std::unique_ptr<ContactListLoader> m_listLoader;
    int m_listTicket = 0;
    // List reads begun so far; a road that may or may not have listed a
    // node itself tells by it whether the list still has to be read.
    int m_listLoadsStarted = 0;
    ItemModelMainTree::_DBItemNode* m_listNode = nullptr;
    QString m_listKeyword;
    bool m_listIsSearch = false;
    // The contact to make current and show once the list is read; 0 none.
    unsigned long long m_listSelectId = 0;
    // The list's share of the width the list and the card split; a drag of
    // the splitter changes it, a resize of the window keeps it.
    double m_listShare = 0.5;
    // The width the list's columns share, set at every resize; what the
    // listed phone and e-mail texts need, -1 when nothing is listed.
    int m_columnsWidth = 0;
    int m_phoneTextWidth = -1;
    int m_emailTextWidth = -1;
    bool m_deviceWorkStopped = false;
    int m_roadsRunning = 0;
    QTimer* m_replayTimer = nullptr;
    QList<std::function<void()>> m_deferredEvents;
};
