// SPDX-License-Identifier: GPL-3.0-or-later
// One opened backup folder: its keybag, the password that unlocked it, the
// key of its encrypted Manifest.db, and the copying of content files out of
// it. The backup folder is only ever read; temporaries go to a work folder
// of the caller's choosing (the data folder).
#pragma once

#include "itunesbackup/keybag.h"
#include "itunesbackup/mbdbparser.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>

#include <memory>

class QTemporaryFile;

class BackupManifest {
public:
    explicit BackupManifest(const QDir& folder);

    const QDir& dir() const { return m_dir; }

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
    QString m_passcode;
    QByteArray m_manifestDbKey;
    _KeybagInfo m_keybag;
    bool m_encrypted = false;
    QString m_workFolder;
};
