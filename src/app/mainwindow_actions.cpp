// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's contact actions: backup into a local database, export,
// print, file import, and the local database folder.
#include "app/mainwindow.h"

#include "app/applog.h"
#include "app/backupcontactstolocalthread.h"
#include "app/contactpagesload.h"
#include "app/filechooser.h"
#include "app/localdbselform.h"
#include "app/mainwindow_roads_p.h"
#include "fileformats/print/contactsprinter.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/importcontactstolocalthread.h"
#include "fileformats/print/pdfexportthread.h"
#include "kit/progressform.h"
#include "kit/tips.h"
#include "model/contactpages.h"
#include "model/data_path_util.h"
#include "model/localdb.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>

#include <algorithm>

namespace {

using Tree = ItemModelMainTree;

// What one entry of the export dialog's filter list writes.
struct ExportFilter {
    const char* text;
    int format; // an ExportToFileThread::TYPE, or 0 for PDF
    const char* suffix;
};

// In the order the dialog lists them; the position picks the format.
const ExportFilter kExportFilters[] = {
    { QT_TRANSLATE_NOOP("MainWindow", "VCard Files(*.vcf)"), ExportToFileThread::TYPE_VCARD, ".vcf" },
    { QT_TRANSLATE_NOOP("MainWindow", "CSV Files(*.csv)"), ExportToFileThread::TYPE_CSV, ".csv" },
    { QT_TRANSLATE_NOOP("MainWindow", "Text Files(*.txt)"), ExportToFileThread::TYPE_TXT, ".txt" },
    { QT_TRANSLATE_NOOP("MainWindow", "HTML files(*.html)"), ExportToFileThread::TYPE_HTML, ".html" },
    // Word opens an HTML page saved under a ".doc" name.
    { QT_TRANSLATE_NOOP("MainWindow", "Word files(*.doc)"), ExportToFileThread::TYPE_HTML, ".doc" },
    { QT_TRANSLATE_NOOP("MainWindow", "PDF files(*.pdf)"), 0, ".pdf" },
};

struct ImportFilter {
    const char* text;
    ImportContactsToLocalThread::TYPE type;
};

const ImportFilter kImportFilters[] = {
    { QT_TRANSLATE_NOOP("MainWindow", "VCard Files(*.vcf)"), ImportContactsToLocalThread::TYPE_VCARD },
    { QT_TRANSLATE_NOOP("MainWindow", "CSV Files(*.csv)"), ImportContactsToLocalThread::TYPE_CSV },
};

QString translated(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString backupNameFor(const Tree::_DBItemNode* node)
{
    return QStringLiteral("%1-backup.db").arg(node->name);
}

} // namespace

void MainWindow::setFileChooser(IFileChooser* chooser)
{
    if (!chooser) {
        if (!m_ownFileChooser)
            m_ownFileChooser = std::make_unique<DialogFileChooser>();
        chooser = m_ownFileChooser.get();
    }
    m_fileChooser = chooser;
}

bool MainWindow::runWorker(ProgressForm& form, QThread& worker)
{
    return form.runWorker(worker);
}

bool MainWindow::isInTree(const Tree::_ItemNode* node) const
{
    // Compares pointers only: a node removed meanwhile is never touched.
    for (const Tree::_ItemNode* root : { treeModel->devicesRootNode(), treeModel->localDbRootNode() }) {
        for (const Tree::_ItemNode* child : root->children) {
            if (child == node)
                return true;
        }
    }
    return false;
}

void MainWindow::showStoredNode(Tree::_DBItemNode* node)
{
    treeModel->refreshDbNodeGroups(node);
    const QModelIndex index = treeModel->indexOfItemNode(node);
    ui->treeMain->expand(index);
    if (ui->treeMain->currentIndex() == index) {
        // No selection change follows, so the list would keep its old rows.
        reloadListKeepingSearch();
        return;
    }
    ui->treeMain->setCurrentIndex(index);
}

bool MainWindow::useContactVariant() const
{
    return !ui->treeContacts->selectionModel()->selectedRows(0).isEmpty();
}

std::shared_ptr<ContactPages> MainWindow::currentNodePages(const _CurrentNode& current) const
{
    if (!current.dbNode || !current.dbNode->db)
        return nullptr;
    return std::make_shared<LocalDbContactPages>(current.dbNode->db,
                                                 current.groupNode ? current.groupNode->group.id : 0);
}

bool MainWindow::readNodeContacts(const _CurrentNode& current, QList<pim::_Contact>& contacts)
{
    const std::shared_ptr<ContactPages> pages = currentNodePages(current);
    return pages && g_readContactsOnWorker(*pages, -1, contacts, nullptr, this);
}

std::shared_ptr<ContactPages> MainWindow::selectedPages() const
{
    const _CurrentNode current = currentNode();
    const QModelIndexList rows = ui->treeContacts->selectionModel()->selectedRows(0);
    std::vector<unsigned long long> ids;
    ids.reserve(size_t(rows.size()));
    for (const QModelIndex& row : rows) {
        const auto* contact = static_cast<const pim::_Contact*>(row.internalPointer());
        if (contact)
            ids.push_back(contact->id);
    }
    if (ids.empty())
        return nullptr;
    // Without a database behind the list, or with rows it never stored,
    // the rows are all there is.
    if (!current.dbNode || !current.dbNode->db || std::count(ids.cbegin(), ids.cend(), 0ULL) > 0)
        return std::make_shared<ContactListPages>(listedSelection());
    return std::make_shared<LocalDbContactPages>(current.dbNode->db, std::move(ids));
}

// ---------------------------------------------------------------------------
// Picking the target database.

Tree::_DBItemNode* MainWindow::selOrCreateLocalDb(QString proposedName, bool* created)
{
    if (created)
        *created = false;
    LocalDbSelForm form(this, proposedName);
    const QString name = form.execGetDbName();
    if (name.isEmpty())
        return nullptr;
    for (Tree::_ItemNode* child : treeModel->localDbRootNode()->children) {
        if (child->name == name)
            return static_cast<Tree::_DBItemNode*>(child);
    }
    const QString path = LocalDb::dbDir().absoluteFilePath(name);
    try {
        QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
        // A database file of that name is taken as it is; anything else in
        // its place (a folder) makes create() fail with a reason.
        const bool makeFile = !QFileInfo(path).isFile();
        if (makeFile)
            db->create();
        Tree::_DBItemNode* node = treeModel->addLocalDb(db, name);
        treeModel->contentsUpdate();
        // Only a file made here may be taken away again after a failed road.
        if (created)
            *created = makeFile;
        return node;
    } catch (const std::exception& e) {
        // File errors give the cause only; the user also needs to know where.
        QString reason = QString::fromUtf8(e.what());
        if (!reason.contains(path))
            reason = QStringLiteral("%1 (%2)").arg(reason, QDir::toNativeSeparators(path));
        Tips::error(BoxText::markup(tr("IDS_CREATE_DB_FAIL_%1")).arg(reason));
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Backup.

void MainWindow::backupContacts(QList<pim::_Contact> contacts, QString proposedName)
{
    backupContactPages(std::make_shared<ContactListPages>(std::move(contacts)), proposedName);
}

void MainWindow::backupContactPages(std::shared_ptr<ContactPages> pages, QString proposedName)
{
    Tree::_DBItemNode* node = selOrCreateLocalDb(proposedName);
    if (!node)
        return;
    // Held for the run: the worker writes through this pointer.
    const QSharedPointer<LocalDb> db = node->db;
    ProgressForm form(tr("IDS_STARTING_IMPORT_CONTACTS_FROM_DEVICE"));
    BackupContactsToLocalThread worker(std::move(pages), db.data(), &form, this);
    if (runWorker(form, worker) && isInTree(node))
        showStoredNode(node);
}

void MainWindow::miFileBackup()
{
    if (useContactVariant())
        miContactBackup();
    else
        miTreeBackup();
}

void MainWindow::miContactBackup()
{
    roads::guarded([this] {
        const _CurrentNode current = currentNode();
        if (!current.dbNode)
            return;
        if (std::shared_ptr<ContactPages> pages = selectedPages())
            backupContactPages(std::move(pages), backupNameFor(current.dbNode));
        else
            backupContacts({}, backupNameFor(current.dbNode));
    });
}

void MainWindow::miTreeBackup()
{
    roads::guarded([this] {
        const _CurrentNode current = currentNode();
        if (std::shared_ptr<ContactPages> pages = currentNodePages(current))
            backupContactPages(std::move(pages), backupNameFor(current.dbNode));
    });
}

// ---------------------------------------------------------------------------
// Export and print.

void MainWindow::exportContacts(const QList<pim::_Contact>& contacts)
{
    if (contacts.isEmpty()) {
        // Nothing to ask a file name for.
        Tips::info(ExportToFileThread::nothingToExport());
        return;
    }
    exportContactPages(std::make_shared<ContactListPages>(contacts));
}

void MainWindow::exportContactPages(std::shared_ptr<ContactPages> pages)
{
    QStringList filters, suffixes;
    for (const ExportFilter& filter : kExportFilters) {
        filters << translated(filter.text);
        suffixes << QLatin1String(filter.suffix);
    }
    const QString proposed = QDir(QDir::homePath())
                                 .absoluteFilePath(QStringLiteral("contacts(%1)")
                                                       .arg(QDateTime::currentDateTime().toString(
                                                           QStringLiteral("yyyyMMdd-hhmmss"))));
    QString selected;
    const QString chosen = m_fileChooser->saveFileName(this, proposed, filters, &selected);
    if (chosen.isEmpty())
        return;
    const SaveTarget target = saveTargetOf(chosen, suffixes, int(filters.indexOf(selected)));
    if (target.type < 0)
        return;
    const ExportFilter& filter = kExportFilters[target.type];
    const QString& path = target.path;

    ProgressForm form(tr("IDS_STARTING_EXPORT_CONTACTS_TO_FILE"));
    std::unique_ptr<QThread> worker;
    if (filter.format == 0)
        worker = std::make_unique<PdfExportThread>(std::move(pages), path, &form, this);
    else
        worker = std::make_unique<ExportToFileThread>(std::move(pages), ExportToFileThread::TYPE(filter.format),
                                                      path, &form, this);
    runWorker(form, *worker);
}

void MainWindow::printContacts(const QList<pim::_Contact>& contacts)
{
    ContactsPrinter printer(this);
    printer.printContacts(contacts);
}

void MainWindow::printContactPages(std::shared_ptr<ContactPages> pages)
{
    // The preview shows the first cards only; printing walks them all.
    QList<pim::_Contact> firstCards;
    qsizetype total = 0;
    if (!g_readContactsOnWorker(*pages, ContactsPrinter::kPreviewCards, firstCards, &total, this))
        return;
    ContactsPrinter printer(this);
    printer.printContacts(firstCards, total, std::move(pages));
}

void MainWindow::miFileExport()
{
    if (useContactVariant())
        miContactExport();
    else
        miTreeExport();
}

void MainWindow::miContactExport()
{
    roads::guarded([this] {
        if (std::shared_ptr<ContactPages> pages = selectedPages())
            exportContactPages(std::move(pages));
        else
            exportContacts({});
    });
}

void MainWindow::miTreeExport()
{
    roads::guarded([this] {
        const _CurrentNode current = currentNode();
        if (std::shared_ptr<ContactPages> pages = currentNodePages(current))
            exportContactPages(std::move(pages));
    });
}

void MainWindow::miFilePrint()
{
    if (useContactVariant())
        miContactPrint();
    else
        miTreePrint();
}

void MainWindow::miContactPrint()
{
    roads::guarded([this] {
        if (std::shared_ptr<ContactPages> pages = selectedPages())
            printContactPages(std::move(pages));
        else
            printContacts({});
    });
}

void MainWindow::miTreePrint()
{
    roads::guarded([this] {
        const _CurrentNode current = currentNode();
        if (std::shared_ptr<ContactPages> pages = currentNodePages(current))
            printContactPages(std::move(pages));
    });
}

// ---------------------------------------------------------------------------
// Import and the database folder.

void MainWindow::miImport()
{
    roads::guarded([this] {
        QStringList filters;
        for (const ImportFilter& filter : kImportFilters)
            filters << translated(filter.text);
        QString selected;
        const QString path = m_fileChooser->openFileName(this, QDir::homePath(), filters, &selected);
        if (path.isEmpty())
            return;
        // The file's content decides the format; the filter is a hint only.
        const qsizetype position = filters.indexOf(selected);
        const ImportContactsToLocalThread::TYPE hint
            = position < 0 ? ImportContactsToLocalThread::TYPE_VCARD : kImportFilters[position].type;
        bool created = false;
        Tree::_DBItemNode* node = selOrCreateLocalDb(QFileInfo(path).fileName(), &created);
        if (!node)
            return;
        const QSharedPointer<LocalDb> db = node->db;
        ProgressForm form(tr("IDS_STARTING_IMPORT_CONTACTS_FROM_FILE"));
        ImportContactsToLocalThread worker(path, hint, db.data(), &form, this);
        const bool succeeded = runWorker(form, worker);
        if (!isInTree(node))
            return;
        if (succeeded && worker.storedContacts() > 0)
            showStoredNode(node);
        else if (created && worker.storedContacts() == 0)
            dropCreatedDb(node);
    });
}

void MainWindow::dropCreatedDb(Tree::_DBItemNode* node)
{
    node->db->removeDB();
    Tree::_ItemNode* root = treeModel->localDbRootNode();
    treeModel->removeChild(root, int(root->children.indexOf(node)));
}

void MainWindow::miOpenFolder()
{
    const QString path = QDir::toNativeSeparators(LocalDb::dbDir().absolutePath());
    if (!g_openFileOrFolder(path))
        Tips::warning(BoxText::markup(tr("The database folder could not be opened. You will find it at:<br/><br/>%1"))
                          .arg(path));
}
