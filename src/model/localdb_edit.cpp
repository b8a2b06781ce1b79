// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the hold of one operation at a time, writes, the edit bracket
// and an import's edit (the indexes it drops and makes again), and adding
// and renaming a contact.
#include "model/localdb.h"

#include "model/localdblog.h"

namespace {

[[noreturn]] void throwText(const QString& text)
{
    throw Error(text);
}

long long id64(unsigned long long id)
{
    return static_cast<long long>(id);
}

// The template's indexes that a merge never reads while it writes: it finds
// contacts through the case-insensitive name index and loads their rows
// through index_data_contact, which therefore stay.
const char kImportIndexesSql[] =
    "select name, sql from sqlite_master where type='index' and sql is not null and name in"
    " ('index_contacts_src_id','index_contacts_full_name','index_data_data','index_data_src_id')"
    " order by rowid";

} // namespace

LocalDb::Hold::Hold(LocalDb& db)
    : m_db(db)
{
    std::unique_lock<std::mutex> lock(db.m_holdMutex);
    const auto me = std::this_thread::get_id();
    // A single call ends soon; an edit may last as long as its operation.
    db.m_released.wait(lock, [&] { return db.m_holds == 0 || db.m_holder == me || db.m_editHeld; });
    if (db.m_holds > 0 && db.m_holder != me) {
        throw DatabaseBusy(
            QStringLiteral("The database %1 is busy with another operation. Try again when it has finished.")
                .arg(db.m_path));
    }
    db.m_holder = me;
    ++db.m_holds;
}

LocalDb::Hold::~Hold()
{
    {
        std::lock_guard<std::mutex> lock(m_db.m_holdMutex);
        --m_db.m_holds;
    }
    m_db.m_released.notify_all();
}

void LocalDb::syncEditHold()
{
    const bool inEdit = m_db.isOpen() && m_db.tranDepth() > 0;
    std::lock_guard<std::mutex> lock(m_holdMutex);
    if (inEdit == m_editHeld)
        return;
    m_editHeld = inEdit;
    m_holds += inEdit ? 1 : -1;
}

void LocalDb::requireWritable(const char* operation) const
{
    if (m_access == ReadOnly)
        throwText(QStringLiteral("%1 failed: the database %2 is opened read-only and cannot be changed.")
                      .arg(QLatin1String(operation), m_path));
}

void LocalDb::write(const Sqlite3Sql& sql)
{
    requireWritable("write");
    connection().executeThrow(sql);
}

unsigned long long LocalDb::insert(const Sqlite3Sql& sql)
{
    write(sql);
    return static_cast<unsigned long long>(m_db.lastInsertId());
}

void LocalDb::beginEdit()
{
    const Hold hold(*this);
    requireWritable("beginEdit");
    connection().beginTran();
    syncEditHold();
}

void LocalDb::beginImport(qsizetype incomingContacts)
{
    const Hold hold(*this);
    requireWritable("beginImport");
    Sqlite3DB& db = connection();
    if (db.tranDepth() > 0)
        throwText(QStringLiteral("beginImport failed: an edit of %1 is already open").arg(m_path));
    db.beginTran();
    syncEditHold();
    m_wholeImport = true;
    m_importBroken = false;
    try {
        long long storedContacts = 0;
        {
            Sqlite3Cursor cur = db.queryThrow(Sqlite3Sql("select count(*) from contact"));
            storedContacts = cur.moveNext() ? cur.getInt64(0) : 0;
        }
        // Sorting every row once at the end beats keeping the indexes in
        // order row by row only when most of their rows are new.
        if (storedContacts * 2 <= incomingContacts)
            dropImportIndexes();
        // Reading every name once costs about as much as a few thousand
        // lookups through the index; a small import looks its names up.
        if (storedContacts <= incomingContacts * 4) {
            loadImportNames();
            qCDebug(lcDb) << "import of" << incomingContacts << "contacts into" << m_path << "reads the"
                          << storedContacts << "stored names at once";
        } else {
            qCDebug(lcDb) << "import of" << incomingContacts << "contacts into" << m_path << "looks names up among"
                          << storedContacts << "stored contacts";
            // That index orders text by its bytes in the file's encoding,
            // the order of the bounds and names compared here only where it
            // is UTF-8: a file of UTF-16 (another tool may make one of this
            // schema) is read through the case-insensitive index, whose
            // order is that of UTF-8 in either.
            Sqlite3Cursor cur = db.queryThrow(Sqlite3Sql("select count(*) from sqlite_master where type='index'"
                                                         " and name='index_contacts_full_name' and tbl_name='contact'"
                                                         " and (select * from pragma_encoding) = 'UTF-8'"));
            m_caseOrderNames = cur.moveNext() && cur.getInt64(0) > 0;
        }
    } catch (...) {
        db.rollbackTran();
        forgetEditState();
        syncEditHold();
        throw;
    }
}

void LocalDb::dropImportIndexes()
{
    QList<std::pair<QString, QString>> indexes;
    {
        Sqlite3Cursor cur = m_db.queryThrow(Sqlite3Sql(kImportIndexesSql));
        while (cur.moveNext())
            indexes.append({cur.getText(0), cur.getText(1)});
    }
    for (const auto& [name, sql] : indexes) {
        // Noted before the drop: whatever is dropped is made again.
        m_droppedIndexes.append(sql);
        m_db.executeThrow(Sqlite3Sql(QStringLiteral("DROP INDEX \"%1\"").arg(name)));
    }
    qCDebug(lcDb) << "import into" << m_path << "rebuilds" << m_droppedIndexes.size() << "indexes at its end";
}

void LocalDb::restoreImportIndexes()
{
    if (m_droppedIndexes.isEmpty())
        return;
    // SQLite sorts an index in memory up to the page cache's size, on top of
    // the cache itself; a smaller bound while sorting keeps the import's
    // peak memory where maintaining the indexes row by row had it.
    m_db.executeThrow(Sqlite3Sql("PRAGMA cache_size=-2048"));
    try {
        // Their own text, so the file's schema reads exactly as before.
        while (!m_droppedIndexes.isEmpty()) {
            m_db.executeThrow(Sqlite3Sql(m_droppedIndexes.first()));
            m_droppedIndexes.removeFirst();
        }
    } catch (...) {
        try {
            m_db.executeThrow(Sqlite3Sql(kCacheSizeSql));
        } catch (const std::exception& e) {
            qCWarning(lcDb) << "page cache size not restored:" << e.what();
        }
        throw;
    }
    m_db.executeThrow(Sqlite3Sql(kCacheSizeSql));
}

void LocalDb::forgetEditState()
{
    m_wholeImport = false;
    m_caseOrderNames = false;
    m_importBroken = false;
    m_droppedIndexes.clear();
    m_mergeTargets.clear();
    forgetImportNames();
}

void LocalDb::forgetImportNames()
{
    m_importNames.clear();
    m_importNamesLoaded = false;
    m_wordNames.clear();
    m_runNames.clear();
    m_namesAsked.clear();
    m_partsToAsk.clear();
    m_partsAsked.clear();
    m_partsKeys.clear();
    m_emptyNames.clear();
}

void LocalDb::endEdit(bool commit)
{
    const Hold hold(*this);
    connection();
    const int depth = m_db.tranDepth();
    if (commit && depth == 1 && m_importBroken) {
        m_db.rollbackTran();
        m_nameIndexReady = false;
        forgetEditState();
        syncEditHold();
        throwText(QStringLiteral("The import into %1 was rolled back: a contact could not be stored.").arg(m_path));
    }
    if (!commit) {
        m_db.rollbackTran();
        m_nameIndexReady = false;
        if (m_db.tranDepth() == 0)
            forgetEditState();
        syncEditHold();
        return;
    }
    try {
        if (depth == 1)
            restoreImportIndexes();
        m_db.commitTran();
        if (m_db.tranDepth() == 0)
            forgetEditState();
        syncEditHold();
    } catch (...) {
        m_nameIndexReady = false;
        // The wrapper rolls a failed outermost commit back itself; an inner
        // level that could not be released is undone here so the depth the
        // caller sees stays right.
        if (m_db.tranDepth() == depth) {
            try {
                m_db.rollbackTran();
            } catch (const std::exception& e) {
                qCWarning(lcDb) << "rollback after failed commit:" << e.what();
            }
        }
        if (m_db.tranDepth() == 0)
            forgetEditState();
        syncEditHold();
        throw;
    }
}

void LocalDb::ensureNameIndex()
{
    // A read-only file still answers lookups, only slower.
    if (m_nameIndexReady || m_access == ReadOnly)
        return;
    // The template's own full-name index is case-sensitive and cannot serve
    // a case-insensitive lookup; older files gain this one on first use.
    try {
        m_db.executeThrow(Sqlite3Sql("CREATE INDEX IF NOT EXISTS index_contacts_full_name_nocase"
                                     " ON contact(full_name COLLATE NOCASE)"));
        m_nameIndexReady = true;
    } catch (const std::exception& e) {
        // A read-only file still answers lookups, only slower.
        qCWarning(lcDb) << "no case-insensitive name index for" << m_path << ":" << e.what();
    }
}

void LocalDb::insertContactBase(pim::_Contact& contact)
{
    const Hold hold(*this);
    requireWritable("insertContactBase");
    if (!m_insertContact.isValid())
        m_insertContact = connection().prepareThrow(QStringLiteral("insert into contact(src_id,full_name) values(?,?)"));
    m_insertContact.bindText(1, contact.srcId).bindText(2, contact.fullName).execute();
    contact.id = static_cast<unsigned long long>(m_db.lastInsertId());
    addImportName(contact.id, contact.fullName, nullptr);
}

void LocalDb::updateContactBase(const pim::_Contact& contact)
{
    const Hold hold(*this);
    forgetImportNames();
    write(Sqlite3Sql("update contact set src_id=?, full_name=? where _id=?")
              .addTextParam(contact.srcId)
              .addTextParam(contact.fullName)
              .addInt64Param(id64(contact.id)));
}
