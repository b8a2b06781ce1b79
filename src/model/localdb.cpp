// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: file life cycle. The hold of one operation at a time, writes,
// the edit bracket and an import's edit are in localdb_edit.cpp, the keys
// of stored names and the lookups by name in localdb_names.cpp, entity rows
// and the small contact, group and source-id edits in localdb_rows.cpp, the
// merge in localdb_merge.cpp, the lists in localdb_lists.cpp.
#include "model/localdb.h"

#include "model/abscontactcombinerule.h"
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
