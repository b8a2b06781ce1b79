// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/fakednamedb.h"

#include "devicebackup/devicebackuplog.h"

#include <QFileInfo>

namespace {

QDateTime fromSeconds(long long seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds);
}

} // namespace

FakeDNameDb::~FakeDNameDb()
{
    closeCommitted();
}

QString FakeDNameDb::prefixOf(const QString& f)
{
    return f.size() >= 32 ? f.left(2) : QString();
}

bool FakeDNameDb::open(const QString& path, QString* errorText)
{
    if (isOpen())
        return true;
    try {
        if (!QFileInfo::exists(path)) {
            openThrow(path, OpenReadWrite | OpenCreate);
            executeThrow("create table dname(f VARCHAR PRIMARY KEY, p VARCHAR, d VARCHAR, size INTEGER, "
                         "lastm INTEGER, incl INTEGER)");
            executeThrow("create index idx_dname on dname(p)");
        } else {
            openThrow(path, OpenReadWrite);
        }
        beginTran();
        return true;
    } catch (const std::exception& e) {
        // A half-made database must not count as open.
        close();
        if (errorText)
            *errorText = QString::fromUtf8(e.what());
        return false;
    }
}

void FakeDNameDb::closeCommitted()
{
    if (!isOpen())
        return;
    try {
        commitTran();
    } catch (const std::exception& e) {
        qCWarning(lcDeviceBackup) << "committing the file-name database failed:" << e.what();
    }
    close();
}

void FakeDNameDb::insert(const QString& f, const QString& d, bool incl, const QDateTime& lastm)
{
    if (!isOpen())
        return;
    try {
        executeThrow(Sqlite3Sql("replace into dname(f,p,d,size,lastm,incl) values(?,?,?,?,?,?)")
                         .addTextParam(f)
                         .addTextParam(prefixOf(f))
                         .addTextParam(d)
                         .addInt64Param(0)
                         .addInt64Param(lastm.toSecsSinceEpoch())
                         .addIntParam(incl ? 1 : 0));
        ++m_insertCount;
        if (m_insertCount % kCommitEvery == 0) {
            commitTran();
            beginTran();
        }
    } catch (const std::exception& e) {
        qCWarning(lcDeviceBackup) << "recording" << f << "failed:" << e.what();
    }
}

void FakeDNameDb::update(const QString& f, const QDateTime& lastm, long long size)
{
    if (!isOpen())
        return;
    try {
        executeThrow(Sqlite3Sql("update dname set size=?, lastm=? where f=?")
                         .addInt64Param(size)
                         .addInt64Param(lastm.toSecsSinceEpoch())
                         .addTextParam(f));
    } catch (const std::exception& e) {
        qCWarning(lcDeviceBackup) << "updating" << f << "failed:" << e.what();
    }
}

void FakeDNameDb::remove(const QString& f)
{
    if (!isOpen())
        return;
    try {
        executeThrow(Sqlite3Sql("delete from dname where f=?").addTextParam(f));
    } catch (const std::exception& e) {
        qCWarning(lcDeviceBackup) << "removing" << f << "failed:" << e.what();
    }
}

QString FakeDNameDb::getDName(const QString& f)
{
    if (!isOpen())
        return QString();
    try {
        Sqlite3Cursor rows = queryThrow(Sqlite3Sql("select d from dname where f=?").addTextParam(f));
        return rows.moveNext() ? rows.getText(QStringLiteral("d")) : QString();
    } catch (const std::exception& e) {
        qCWarning(lcDeviceBackup) << "looking up" << f << "failed:" << e.what();
        return QString();
    }
}

QList<Backup2ToolHook::DirItem> FakeDNameDb::items(const QString& p)
{
    QList<Backup2ToolHook::DirItem> result;
    if (!isOpen())
        return result;
    try {
        if (p.isEmpty()) {
            Sqlite3Cursor folders = queryThrow("select p, max(lastm) as lastm from dname group by p");
            while (folders.moveNext()) {
                const QString prefix = folders.getText(QStringLiteral("p"));
                if (!prefix.isEmpty())
                    result.append({ prefix, 2, 0, fromSeconds(folders.getInt64(QStringLiteral("lastm"))) });
            }
        }
        Sqlite3Cursor files = queryThrow(Sqlite3Sql("select * from dname where p=?").addTextParam(p));
        while (files.moveNext())
            result.append({ files.getText(QStringLiteral("f")), 1, files.getInt64(QStringLiteral("size")),
                fromSeconds(files.getInt64(QStringLiteral("lastm"))) });
    } catch (const std::exception& e) {
        qCWarning(lcDeviceBackup) << "listing" << p << "failed:" << e.what();
    }
    return result;
}
