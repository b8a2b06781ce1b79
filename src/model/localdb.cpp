// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: file life cycle, the edit bracket, and the small contact, group
// and source-id edits. Entity rows are in localdb_rows.cpp, the merge in
// localdb_merge.cpp, the lists in localdb_lists.cpp.
#include "model/localdb.h"

#include "model/abscontactcombinerule.h"
#include "model/data_path_util.h"
#include "model/localdblog.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace {

constexpr int kOpenReadWrite = 2; // never create: a missing file is an error

const char kTemplateResource[] = ":res/db.db";

// Journal files SQLite may leave beside a database. A hot journal found
// next to a freshly copied template would be replayed into it and bring
// the old contents back (or corrupt the new file).
const char* const kJournalSuffixes[] = {"-journal", "-wal", "-shm"};

[[noreturn]] void throwText(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

} // namespace

LocalDb::LocalDb(const QString& path, QSharedPointer<AbsContactCombineRule> rule)
    : m_rule(std::move(rule))
    , m_path(path)
{
}

LocalDb::~LocalDb() = default;

QDir LocalDb::dbDir()
{
    const QString path = g_dataSaveDir().filePath(QStringLiteral("data"));
    QDir dir(path);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return dir;
}

void LocalDb::create()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
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
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        throwText(out.errorString());
    if (out.write(bytes) != bytes.size()) {
        const QString err = out.errorString();
        out.cancelWriting();
        throwText(err);
    }
    for (const char* suffix : kJournalSuffixes) {
        const QString journal = m_path + QLatin1String(suffix);
        if (QFileInfo::exists(journal) && !QFile::remove(journal)) {
            out.cancelWriting();
            throwText(QStringLiteral("Cannot remove the old journal %1").arg(journal));
        }
    }
    if (!out.commit())
        throwText(out.errorString());
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    qCDebug(lcDb) << "created" << m_path;
}

void LocalDb::openLocked()
{
    if (m_db.isOpen())
        return;
    m_db.openThrow(m_path, kOpenReadWrite);
    m_nameIndexReady = false;
    // With the template's 1 KB pages SQLite's default 2 MB page cache spills
    // after a few thousand merged contacts, and a large import then spends
    // its time writing dirty pages out early and reading them back. 64 MB
    // (an upper bound, taken only as pages are used) holds the hot part of
    // a 100,000-contact edit; more measured no faster and costs memory for
    // every open database. A connection setting only: the file and its
    // journal are unchanged.
    try {
        m_db.executeThrow(Sqlite3Sql("PRAGMA cache_size=-65536"));
    } catch (...) {
        m_db.close();
        throw;
    }
}

void LocalDb::open_check()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
}

bool LocalDb::isOpen() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_db.isOpen();
}

void LocalDb::beginEdit()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    m_db.beginTran();
}

void LocalDb::endEdit(bool commit)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    if (!commit) {
        m_db.rollbackTran();
        m_nameIndexReady = false;
        return;
    }
    const int depth = m_db.tranDepth();
    try {
        m_db.commitTran();
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
        throw;
    }
}

void LocalDb::close()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_db.close();
    m_nameIndexReady = false;
}

bool LocalDb::removeDB()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_db.isOpen())
        close();
    return QFile::remove(m_path);
}

void LocalDb::ensureNameIndex()
{
    if (m_nameIndexReady)
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
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    // Nameless contacts (company-only, number-only) are distinct people.
    if (fullName.isEmpty())
        return 0;
    ensureNameIndex();
    // "=" with NOCASE folds A-Z like LIKE does but takes "%" and "_"
    // literally: "J_hn" must never find "John".
    Sqlite3Sql sql("select _id from contact where full_name=? collate nocase order by _id limit 1");
    sql.addTextParam(fullName);
    Sqlite3Cursor cur = m_db.queryThrow(sql);
    return cur.moveNext() ? static_cast<unsigned long long>(cur.getInt64(0)) : 0;
}

void LocalDb::insertContactBase(pim::_Contact& contact)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("insert into contact(src_id,full_name) values(?,?)");
    sql.addTextParam(contact.srcId).addTextParam(contact.fullName);
    m_db.executeThrow(sql);
    contact.id = static_cast<unsigned long long>(m_db.lastInsertId());
}

void LocalDb::updateContactBase(const pim::_Contact& contact)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("update contact set src_id=?, full_name=? where _id=?");
    sql.addTextParam(contact.srcId).addTextParam(contact.fullName).addInt64Param(static_cast<long long>(contact.id));
    m_db.executeThrow(sql);
}

unsigned long long LocalDb::getGroupIdOrAdd(const QString& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql find("select _id from contact_group where name=? collate nocase order by _id limit 1");
    find.addTextParam(name);
    {
        Sqlite3Cursor cur = m_db.queryThrow(find);
        if (cur.moveNext())
            return static_cast<unsigned long long>(cur.getInt64(0));
    }
    Sqlite3Sql add("insert into contact_group(name) values(?)");
    add.addTextParam(name);
    m_db.executeThrow(add);
    return static_cast<unsigned long long>(m_db.lastInsertId());
}

pim::Entity LocalDb::setGroup(unsigned long long contactId, unsigned long long groupId, const QString& groupName)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    ungroup(contactId);
    const QString groupText = QString::number(groupId);
    Sqlite3Sql sql("insert into data(type,contact_id,data1,data2) values(?,?,?,?)");
    sql.addIntParam(pim::ENTITY_GROUP)
        .addInt64Param(static_cast<long long>(contactId))
        .addTextParam(groupText)
        .addTextParam(groupName);
    m_db.executeThrow(sql);
    pim::Entity membership(static_cast<unsigned long long>(m_db.lastInsertId()), QString());
    membership.fields.insert(QStringLiteral("data1"), groupText);
    membership.fields.insert(QStringLiteral("data2"), groupName);
    return membership;
}

void LocalDb::ungroup(unsigned long long contactId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("delete from data where type=? and contact_id=?");
    sql.addIntParam(pim::ENTITY_GROUP).addInt64Param(static_cast<long long>(contactId));
    m_db.executeThrow(sql);
}

void LocalDb::removeEntity(unsigned long long entityId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("delete from data where _id=?");
    sql.addInt64Param(static_cast<long long>(entityId));
    m_db.executeThrow(sql);
}

void LocalDb::removeContact(unsigned long long contactId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql rows("delete from data where contact_id=?");
    rows.addInt64Param(static_cast<long long>(contactId));
    m_db.executeThrow(rows);
    Sqlite3Sql base("delete from contact where _id=?");
    base.addInt64Param(static_cast<long long>(contactId));
    m_db.executeThrow(base);
}

void LocalDb::removeGroupOnly(unsigned long long groupId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("delete from contact_group where _id=?");
    sql.addInt64Param(static_cast<long long>(groupId));
    m_db.executeThrow(sql);
}

void LocalDb::updateContactBaseSrcId(unsigned long long contactId, const QString& srcId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("update contact set src_id=? where _id=?");
    sql.addTextParam(srcId).addInt64Param(static_cast<long long>(contactId));
    m_db.executeThrow(sql);
}

void LocalDb::updateContactBaseSrcId(const QString& oldSrcId, const QString& newSrcId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("update contact set src_id=? where src_id=?");
    sql.addTextParam(newSrcId).addTextParam(oldSrcId);
    m_db.executeThrow(sql);
}

void LocalDb::updateEntitySrcId(unsigned long long entityId, const QString& srcId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("update data set src_id=? where _id=?");
    sql.addTextParam(srcId).addInt64Param(static_cast<long long>(entityId));
    m_db.executeThrow(sql);
}

void LocalDb::updateEntitySrcId(const QString& oldSrcId, const QString& newSrcId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    openLocked();
    Sqlite3Sql sql("update data set src_id=? where src_id=?");
    sql.addTextParam(newSrcId).addTextParam(oldSrcId);
    m_db.executeThrow(sql);
}
