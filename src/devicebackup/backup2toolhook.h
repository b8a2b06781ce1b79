// SPDX-License-Identifier: GPL-3.0-or-later
// Backup2ToolHook: every file operation of a device backup or restore run.
// The client (backup2tool) names the backup root and a path relative to it
// exactly as the phone sent it; the hook decides what happens on disk. This
// class is also the default hook: it keeps a complete backup folder below
// the root.
//
// Paths come from the phone and are not trusted. Every default operation
// first resolves its path with resolveDevicePath(): an absolute path, one
// that climbs out of the root after cleaning, or one that passes through a
// symbolic link is refused with kInvalidPath and "invalid path", and nothing
// is touched. Removal and copy never follow links: a link is removed as a
// link, a linked folder is neither descended nor copied.
//
// Results of the int operations: 0 success, otherwise the failing QFile's
// error() code (or kInvalidPath, or 14 for a copy refused by kind) with the
// error text set. No default operation throws.
//
// Threads: called only on the thread of the run, one call at a time; the
// default hook holds no state.
#pragma once

#include "ios/plistcftype.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

class Backup2ToolHook {
public:
    struct DirItem {
        QString name; // inside the listed folder, no path
        int type = 1; // 1 regular file, 2 folder
        qint64 size = 0;
        QDateTime lastModified;
    };

    // The refusal of a path that is absolute, leaves the root or passes a link.
    static constexpr int kInvalidPath = QFileDevice::PermissionsError;

    virtual ~Backup2ToolHook();

    // Once per run, before the phone is contacted; an exception ends the run.
    virtual void beginThrow(QDir root, QString udid);
    // Once per message, before the client acts on it; false ends the run
    // with the code and text left here.
    virtual bool onHandleMsgContinue(
        QDir root, QString udid, PlistCFType message, int& code, QString& errorText);
    // The entries of a folder, unsorted; hidden entries, links that lead
    // nowhere and other kinds are left out. Empty for a missing or refused folder.
    virtual QList<DirItem> dirContents(QDir root, QString path);
    // Before each received file: fileName is its place in the backup,
    // deviceName the phone's own name of it.
    virtual void recvFileBegin(QDir root, QString udid, QString fileName, QString deviceName);
    // Opens the file (already named, not open) for writing, creating its
    // folders. 0 with the file closed makes the client drop the data.
    virtual int recvFileOpenWrite(QDir root, QString fileName, QFile& file, QString& errorText);
    // After the file's end marker; bytes counts dropped data too.
    virtual void recvFileEnd(QDir root, QString fileName, unsigned long long bytes);
    // Replaces whatever is at `to`; a missing source is no error.
    virtual int moveFile(QDir root, QString from, QString to, QString& errorText);
    // Removes a file or a folder tree; the client reads only the text.
    virtual int removeFile(QDir root, QString path, QString& errorText);
    // Copies a file or merges a folder tree into `to`.
    virtual int copyFile(QDir root, QString from, QString to, QString& errorText);
    // Creates a folder with its parents; an existing entry is left alone.
    virtual int mkdir(QDir root, QString path, QString& errorText);
};

// The absolute path of `path` below `root`, or an empty string when the
// path is empty, absolute, holds a NUL, climbs out of the root after
// cleaning, or passes through a symbolic link below the root. With
// allowFinalLink the last component may itself be a link (it is then
// handled as a link, never followed).
QString resolveDevicePath(const QDir& root, const QString& path, bool allowFinalLink = false);
