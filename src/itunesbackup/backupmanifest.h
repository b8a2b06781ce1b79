// SPDX-License-Identifier: GPL-3.0-or-later
// One opened backup folder: its keybag, the password that unlocked it, the
// key of its encrypted Manifest.db, and the copying of content files out of
// it. The backup folder is only ever read; temporaries go to a work folder
// of the caller's choosing (the data folder).
#pragma once

#include "itunesbackup/keybag.h"
#include "itunesbackup/mbdbparser.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class QTemporaryFile;

class BackupManifest {
public:
    // The summary of Manifest.plist.
    struct _InfoPlist {
        QString DeviceName; // may be empty
        // When the backup was made: the modification time of Status.plist,
        // else the "Date" of Manifest.plist, else its modification time.
        QDateTime Date;
        bool IsEncrypted = false;
        QByteArray BackupKeyBag;
        QByteArray ManifestKey; // empty unless Manifest.db itself is encrypted
    };

    explicit BackupManifest(const QDir& folder);

    const QDir& dir() const { return m_dir; }

    // Reads Manifest.plist (and the time of Status.plist) into info() and
    // displayName(); for an encrypted backup also takes its keybag. Throws
    // Error naming the file when Manifest.plist is missing or unreadable,
    // or says the backup is encrypted without a usable keybag.
    void readManifestInfo();
    const _InfoPlist& info() const { return m_info; }
    // The device name, or the folder's name when the backup has none.
    QString displayName() const;

    // Unlocks an encrypted backup with password (the keybag and Manifest
    // key of readManifestInfo()). True when it unlocked, false for a wrong
    // password or a cancel; throws Error when the keybag cannot be used with
    // any password. Seconds of key derivation: call it on a worker thread.
    bool setPasscodeNoUIThrow(const QString& password, const KeybagCancelCheck& cancelled = {});

    // Reads the file list once (unlock an encrypted backup first) and keeps
    // its records in domain and path order. Throws Error when the folder has
    // no file list, else what MBDBParser::parse throws; a second call after
    // a success does nothing.
    void parseInfo();
    // The records of parseInfo(), in compareMBDBItemLess order.
    const QList<MBDBParser::_MBDBItem>& items() const { return m_items; }
    // Records of the file list that parseInfo() left out (a NUL in the path).
    int refusedItems() const { return m_refusedItems; }
    // The record of a file, or null when the list has none.
    const MBDBParser::_MBDBItem* findItem(const QString& domain, const QString& relativePath) const;

    // The password that unlocked the backup; empty when it is not encrypted
    // or not unlocked yet.
    const QString& passcode() const { return m_passcode; }
    // Non-empty only when unlocking unwrapped the Manifest key of a keybag
    // with "DPIC" and "DPSL" (the Manifest.db itself is then encrypted).
    const QByteArray& manifestDbKey() const { return m_manifestDbKey; }
    const _KeybagInfo& keybag() const { return m_keybag; }
    bool isEncrypted() const { return m_encrypted; }

    // The facts read from Manifest.plist: "IsEncrypted" and "BackupKeyBag".
    void setEncrypted(bool encrypted) { m_encrypted = encrypted; }
    void setKeybag(const _KeybagInfo& keybag) { m_keybag = keybag; }

    // Where the decrypted copy of Manifest.db is written while it is read.
    // The system's temporary folder unless set.
    void setWorkFolder(const QString& path) { m_workFolder = path; }
    QString workFolder() const;

    // Unlocks the keybag with password; on Unlocked keeps the password and,
    // for a keybag with "DPIC" and "DPSL", the Manifest.db key unwrapped from
    // manifestKey (the "ManifestKey" of Manifest.plist). A Manifest key that
    // no class key unwraps gives Unusable. Runs for seconds with realistic
    // iteration counts: call it on a worker thread.
    KeybagUnlock unlockNoUI(const QString& password, const QByteArray& manifestKey,
        const KeybagCancelCheck& cancelled = {});

    // Decrypts the folder's Manifest.db with manifestDbKey() into a private
    // file (mode 0600) in the work folder, removed when the returned object
    // goes. Throws std::runtime_error naming the file on any failure.
    std::unique_ptr<QTemporaryFile> decryptManifestDbThrow() const;

    // Copies (decrypting in an encrypted backup) the content of a record to
    // destPath through a temporary file beside it, then sets both file times
    // to the record's lastModified. progress (optional) gets the bytes read
    // and the content file's size. Content that is missing, not a regular
    // file or outside the backup folder is refused. Throws std::runtime_error.
    void copyItemThrow(const MBDBParser::_MBDBItem& item, const QString& destPath, void* context,
        void (*progress)(long long done, long long total, void* context)) const;

    // Lower-case hex MD5 of the folder's absolute path in UTF-8.
    QString dirPathMd5() const;

    // The folders where backups are looked for (they need not exist).
    static QList<QDir> iTunesBackupDirs();

private:
    QDir m_dir;
    _InfoPlist m_info;
    QList<MBDBParser::_MBDBItem> m_items;
    QHash<QString, int> m_itemIndex; // domain, NUL, relative path -> position in m_items
    int m_refusedItems = 0;
    QString m_passcode;
    QByteArray m_manifestDbKey;
    _KeybagInfo m_keybag;
    bool m_encrypted = false;
    QString m_workFolder;
};
