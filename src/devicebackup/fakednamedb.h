// SPDX-License-Identifier: GPL-3.0-or-later
// FakeDNameDb: the record of every file a phone sent during partial
// backups, "dname.sqlite" in the phone's backup folder. One row per file
// name (the last path component): the two-character prefix folder it lives
// in, the phone's own name of it, its size once complete, when the row was
// last written and whether the file was stored on disk.
//
// Writes run inside one long transaction, committed after every 10000th
// insert and when the object goes. After the open, statement failures are
// logged and swallowed: a row may then be missing, which the listing and
// the lookup treat as a file never sent. Every call but open() does
// nothing (or gives an empty result) while the database is closed.
#pragma once

#include "devicebackup/backup2toolhook.h"
#include "platform/sqlite/sqlite3db.h"

#include <QDateTime>
#include <QList>
#include <QString>

class FakeDNameDb : public Sqlite3DB {
public:
    static constexpr quint64 kCommitEvery = 10000;

    FakeDNameDb() = default;
    ~FakeDNameDb() override;

    // Creates the file with its table when there is none, opens it and
    // begins the transaction. False with the wrapper's text on failure.
    bool open(const QString& path, QString* errorText);
    // Commits what is pending and closes; harmless when closed.
    void closeCommitted();

    void insert(const QString& f, const QString& d, bool incl, const QDateTime& lastm);
    void update(const QString& f, const QDateTime& lastm, long long size);
    void remove(const QString& f);
    // The phone's name of a recorded file; empty when there is no row.
    QString getDName(const QString& f);
    // An empty prefix: one folder per prefix, dated by its newest file, then
    // the files without a prefix. Otherwise the files of that prefix.
    QList<Backup2ToolHook::DirItem> items(const QString& p);

    // The prefix folder of a file name: its first two characters when it
    // has 32 or more, else empty.
    static QString prefixOf(const QString& f);

private:
    quint64 m_insertCount = 0;
};
