// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: file life cycle, the edit bracket, and the small contact, group
// and source-id edits. Entity rows are in localdb_rows.cpp, the merge in
// localdb_merge.cpp, the lists in localdb_lists.cpp.
#include "model/localdb.h"

#include "model/abscontactcombinerule.h"
#include "model/contactmention.h"
#include "model/data_path_util.h"
#include "model/localdbcombinerule.h"
#include "model/localdblog.h"
#include "platform/files/safefilewriter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const char kTemplateResource[] = ":res/db.db";

// Journal files SQLite may leave beside a database. A hot journal found
// next to a freshly copied template would be replayed into it and bring
// the old contents back (or corrupt the new file).
const char* const kJournalSuffixes[] = {"-journal", "-wal", "-shm"};

[[noreturn]] void throwText(const QString& text)
{
    throw Error(text);
}

long long id64(unsigned long long id)
{
    return static_cast<long long>(id);
}

const char kCacheSizeSql[] = "PRAGMA cache_size=-65536";

// The template's indexes that a merge never reads while it writes: it finds
// contacts through the case-insensitive name index and loads their rows
// through index_data_contact, which therefore stay.
const char kImportIndexesSql[] =
    "select name, sql from sqlite_master where type='index' and sql is not null and name in"
    " ('index_contacts_src_id','index_contacts_full_name','index_data_data','index_data_src_id')"
    " order by rowid";

} // namespace

LocalDb::LocalDb(const QString& path, QSharedPointer<AbsContactCombineRule> rule, Access access)
    : m_rule(std::move(rule))
    , m_path(path)
    , m_access(access)
{
}

LocalDb::~LocalDb() = default;

QSharedPointer<LocalDb> LocalDb::openLocal(const QString& path, Access access)
{
    return QSharedPointer<LocalDb>::create(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule), access);
}

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

QDir LocalDb::dbDir()
{
    const QString path = g_dataSaveDir().filePath(QStringLiteral("data"));
    QDir dir(path);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return dir;
}

bool LocalDb::listsBefore(const QString& name, const QString& other)
{
    const int folded = QString::compare(name, other, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : name < other;
}

void LocalDb::create()
{
    const Hold hold(*this);
    requireWritable("create");
    // A connection left open would keep writing into the replaced file.
    if (m_db.isOpen())
        close();

    QFile tpl(QString::fromLatin1(kTemplateResource));
    if (!tpl.open(QIODevice::ReadOnly))
        throwText(tpl.errorString());
    const QByteArray bytes = tpl.readAll();

    // Written to a temporary name in the same folder and renamed over the
    // target, so the path never holds a half-written database and a failed
    // copy leaves no file at all.
    SafeFileWriter out(m_path);
    if (!out.open() || !out.write(bytes))
        throwText(out.errorString());
    for (const char* suffix : kJournalSuffixes) {
        const QString journal = m_path + QLatin1String(suffix);
        if (QFileInfo::exists(journal) && !QFile::remove(journal)) {
            out.cancel();
            throwText(QStringLiteral("Cannot remove the old journal %1").arg(journal));
        }
    }
    if (!out.commit())
        throwText(out.errorString());
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    qCDebug(lcDb) << "created" << m_path;
}

Sqlite3DB& LocalDb::connection()
{
    if (m_db.isOpen())
        return m_db;
    // Never created here: a missing file is an error.
    if (m_access == ReadWrite) {
        m_db.openThrow(m_path, Sqlite3DB::OpenReadWrite);
    } else {
        // A journal left by a write that never finished makes SQLite roll
        // the file back before its first read, which a read-only connection
        // cannot do (SQLITE_READONLY_ROLLBACK).
        try {
            m_db.openThrow(m_path, Sqlite3DB::OpenReadOnly);
            m_db.queryThrow(Sqlite3Sql("select count(*) from sqlite_master")).moveNext();
        } catch (const Error& e) {
            m_db.close();
            if (!e.text().contains(QLatin1String("(code 776)")))
                throw;
            openRolledBackCopy(e);
        }
    }
    m_open = true;
    m_nameIndexReady = false;
    // With the template's 1 KB pages SQLite's default 2 MB page cache spills
    // after a few thousand merged contacts, and a large import then spends
    // its time writing dirty pages out early and reading them back. 64 MB
    // (an upper bound, taken only as pages are used) holds the hot part of
    // a 100,000-contact edit; more measured no faster and costs memory for
    // every open database. A connection setting only: the file and its
    // journal are unchanged.
    try {
        m_db.executeThrow(Sqlite3Sql(kCacheSizeSql));
    } catch (...) {
        m_db.close();
        m_open = false;
        throw;
    }
    return m_db;
}

void LocalDb::open_check()
{
    const Hold hold(*this);
    connection();
}

bool LocalDb::isOpen() const
{
    return m_open;
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
        // The names are compared as the file readers store them, which the
        // index cannot: read once, at about the cost of a few thousand
        // lookups through it.
        loadImportNames();
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

QByteArray LocalDb::nameKey(QByteArray utf8)
{
    // In place: the blanks dropped only shorten what is written.
    qsizetype out = 0;
    bool blank = false;
    for (const char c : std::as_const(utf8)) {
        if (c == ' ' || c == '\t') {
            blank = out > 0;
            continue;
        }
        if (blank) {
            utf8[out++] = ' ';
            blank = false;
        }
        utf8[out++] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    utf8.truncate(out);
    return utf8;
}

void LocalDb::loadImportNames()
{
    m_importNames.clear();
    // Only text equals a bound name; a NULL or a blob never does.
    Sqlite3Statement names = m_db.prepareThrow(
        QStringLiteral("select _id, full_name from contact where typeof(full_name)='text' order by _id"));
    names.forEachRow([this](const Sqlite3Statement::Row& row) {
        QByteArray key = nameKey(row.text(1).toByteArray());
        if (!key.isEmpty() && !m_importNames.contains(key))
            m_importNames.insert(std::move(key), static_cast<unsigned long long>(row.int64(0)));
        return true;
    });
    m_importNamesLoaded = true;
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
    m_importBroken = false;
    m_droppedIndexes.clear();
    m_mergeTargets.clear();
    forgetImportNames();
}

void LocalDb::forgetImportNames()
{
    m_importNames.clear();
    m_importNamesLoaded = false;
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

QString LocalDb::readPath()
{
    // A writable file never needs the copy, and is not held here: an edit
    // on another thread must not make its readers wait.
    if (m_access == ReadWrite)
        return m_path;
    const Hold hold(*this);
    connection();
    return m_rolledBack ? m_rolledBack->filePath(QStringLiteral("copy.db")) : m_path;
}

void LocalDb::openRolledBackCopy(const Error& cause)
{
    qCInfo(lcDb) << m_path << "has a leftover journal, read from a rolled-back copy:" << cause.text();
    const QString name = QFileInfo(m_path).fileName();
    const auto failed = [&](const QString& why) {
        m_rolledBack.reset();
        throwText(QObject::tr("%1 was being written when the program stopped, and what it last saved cannot be "
                              "read: %2")
                      .arg(name, why));
    };
    m_rolledBack = std::make_unique<QTemporaryDir>();
    if (!m_rolledBack->isValid())
        failed(m_rolledBack->errorString());
    const QString copy = m_rolledBack->filePath(QStringLiteral("copy.db"));
    for (const char* suffix : { "", "-journal" }) {
        QFile from(m_path + QLatin1String(suffix));
        if (!from.copy(copy + QLatin1String(suffix)))
            failed(QStringLiteral("%1: %2").arg(from.fileName(), from.errorString()));
    }
    try {
        m_db.openThrow(copy, Sqlite3DB::OpenReadWrite);
        m_db.queryThrow(Sqlite3Sql("select count(*) from sqlite_master")).moveNext();
    } catch (const Error& e) {
        m_db.close();
        failed(e.text());
    }
}

void LocalDb::close()
{
    const Hold hold(*this);
    m_db.close();
    m_rolledBack.reset();
    m_open = false;
    m_nameIndexReady = false;
    forgetEditState();
    syncEditHold();
}

bool LocalDb::removeDB()
{
    const Hold hold(*this);
    if (m_db.isOpen())
        close();
    return QFile::remove(m_path);
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

unsigned long long LocalDb::isContactBaseExist(const QString& fullName)
{
    const Hold hold(*this);
    connection();
    // Nameless contacts (company-only, number-only) are distinct people.
    if (fullName.isEmpty())
        return 0;
    ensureNameIndex();
    if (m_importNamesLoaded) {
        const QByteArray key = nameKey(fullName.toUtf8());
        return key.isEmpty() ? 0 : m_importNames.value(key, 0);
    }
    // "=" with NOCASE folds A-Z like LIKE does but takes "%" and "_"
    // literally: "J_hn" must never find "John".
    // Prepared once: a large import looks up every contact.
    if (!m_findName.isValid())
        m_findName = m_db.prepareThrow(QStringLiteral("select _id from contact where full_name=? collate nocase order by _id limit 1"));
    return static_cast<unsigned long long>(m_findName.bindText(1, fullName).firstInt64(0));
}

void LocalDb::insertContactBase(pim::_Contact& contact)
{
    const Hold hold(*this);
    requireWritable("insertContactBase");
    if (!m_insertContact.isValid())
        m_insertContact = connection().prepareThrow(QStringLiteral("insert into contact(src_id,full_name) values(?,?)"));
    m_insertContact.bindText(1, contact.srcId).bindText(2, contact.fullName).execute();
    contact.id = static_cast<unsigned long long>(m_db.lastInsertId());
    if (m_importNamesLoaded && !contact.fullName.isEmpty()) {
        // A new contact has the highest id: an older one of its name stays first.
        QByteArray key = nameKey(contact.fullName.toUtf8());
        if (!key.isEmpty() && !m_importNames.contains(key))
            m_importNames.insert(std::move(key), contact.id);
    }
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

unsigned long long LocalDb::getGroupIdOrAdd(const QString& name)
{
    const Hold hold(*this);
    {
        Sqlite3Cursor cur = connection().queryThrow(
            Sqlite3Sql("select _id from contact_group where name=? collate nocase order by _id limit 1").addTextParam(name));
        if (cur.moveNext())
            return static_cast<unsigned long long>(cur.getInt64(0));
    }
    return insert(Sqlite3Sql("insert into contact_group(name) values(?)").addTextParam(name));
}

pim::Entity LocalDb::setGroup(unsigned long long contactId, unsigned long long groupId, const QString& groupName)
{
    const Hold hold(*this);
    ungroup(contactId);
    const QString groupText = QString::number(groupId);
    pim::Entity membership(insert(Sqlite3Sql("insert into data(type,contact_id,data1,data2) values(?,?,?,?)")
                                      .addIntParam(pim::ENTITY_GROUP)
                                      .addInt64Param(id64(contactId))
                                      .addTextParam(groupText)
                                      .addTextParam(groupName)),
                           QString());
    membership.fields.insert(QStringLiteral("data1"), groupText);
    membership.fields.insert(QStringLiteral("data2"), groupName);
    return membership;
}

void LocalDb::ungroup(unsigned long long contactId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("delete from data where type=? and contact_id=?").addIntParam(pim::ENTITY_GROUP).addInt64Param(id64(contactId)));
}

void LocalDb::removeEntity(unsigned long long entityId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("delete from data where _id=?").addInt64Param(id64(entityId)));
}

void LocalDb::removeContact(unsigned long long contactId)
{
    const Hold hold(*this);
    forgetImportNames();
    write(Sqlite3Sql("delete from data where contact_id=?").addInt64Param(id64(contactId)));
    write(Sqlite3Sql("delete from contact where _id=?").addInt64Param(id64(contactId)));
}

void LocalDb::removeGroupOnly(unsigned long long groupId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("delete from contact_group where _id=?").addInt64Param(id64(groupId)));
}

void LocalDb::updateContactBaseSrcId(unsigned long long contactId, const QString& srcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update contact set src_id=? where _id=?").addTextParam(srcId).addInt64Param(id64(contactId)));
}

void LocalDb::updateContactBaseSrcId(const QString& oldSrcId, const QString& newSrcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update contact set src_id=? where src_id=?").addTextParam(newSrcId).addTextParam(oldSrcId));
}

void LocalDb::updateEntitySrcId(unsigned long long entityId, const QString& srcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update data set src_id=? where _id=?").addTextParam(srcId).addInt64Param(id64(entityId)));
}

void LocalDb::updateEntitySrcId(const QString& oldSrcId, const QString& newSrcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update data set src_id=? where src_id=?").addTextParam(newSrcId).addTextParam(oldSrcId));
}

QString LocalDb::leftOutEntriesText(const QString& name, qsizetype leftOut)
{
    // A phone may send a contact whose name record names no one.
    return QObject::tr("%1: only the first %2 entries were kept; %3 more were left out.")
        .arg(name.trimmed().isEmpty() ? pim::mention(QString(), pim::Mention::ContactAtStart) : name)
        .arg(kMaxEntitiesPerContact)
        .arg(leftOut);
}

void ContactRowLimit::addContact(unsigned long long contactId, const QString& name)
{
    Rows rows;
    rows.known.fullName = name;
    m_rows.insert(contactId, rows);
}

bool ContactRowLimit::take(unsigned long long contactId, int type, const pim::Entity& entity)
{
    const auto found = m_rows.find(contactId);
    if (found == m_rows.end())
        return true;
    Rows& rows = found.value();
    if (rows.stored < LocalDb::kMaxEntitiesPerContact) {
        ++rows.stored;
        // A phone sends the name record first, then the contact's other
        // rows: one without a name is known by the first company, number
        // or e-mail address it keeps, one of each kind held.
        if ((type == pim::ENTITY_ORG || type == pim::ENTITY_PHONE || type == pim::ENTITY_EMAIL)
            && rows.known.fullName.trimmed().isEmpty()) {
            QList<pim::Entity>& held = rows.known.entities[type];
            if (held.isEmpty() || pim::fieldText(held.first().fields.value(QStringLiteral("data1"))).trimmed().isEmpty())
                held = { entity };
        }
        return true;
    }
    if (rows.leftOut++ == 0)
        m_full.append(contactId);
    ++m_leftOut;
    return false;
}

QString ContactRowLimit::summary(qsizetype named) const
{
    QStringList texts;
    for (qsizetype i = 0; i < m_full.size() && i < named; ++i) {
        const Rows& rows = m_rows.value(m_full.at(i));
        texts << LocalDb::leftOutEntriesText(pim::shownName(rows.known), rows.leftOut);
    }
    if (m_full.size() > named)
        texts << QObject::tr("and %1 more").arg(m_full.size() - named);
    return texts.join(QLatin1Char('\n'));
}
