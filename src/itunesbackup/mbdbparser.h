// SPDX-License-Identifier: GPL-3.0-or-later
// The file list of a backup folder: the binary Manifest.mbdb of older
// backups or the SQLite Manifest.db of newer ones (including its salted form,
// whose file descriptions are encrypted with a key made from the password).
// Either yields one record per file, keyed by the file's fileID, which also
// names the file's content in the folder.
//
// Everything here only reads the backup folder. All operations are static
// and keep no state; records are plain values.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QList>
#include <QString>

class BackupManifest;
class QIODevice;

class MBDBParser {
public:
    MBDBParser() = delete;

    // One string of the file list, as raw bytes.
    struct _MBDBBinary {
        quint16 length = 0xFFFF; // as declared; 0xFFFF absent, 0 empty
        QByteArray bytes;

        bool isValid() const { return length != 0 && length != 0xFFFF; }
        // The bytes as UTF-8 up to the first NUL; "" when not valid. Bytes
        // that are not UTF-8 become U+FFFD.
        QString toString() const;
        void setVal(const QByteArray& v);
    };

    struct _MBDBProperty {
        _MBDBBinary name;
        _MBDBBinary value;
    };

    struct _MBDBItem {
        _MBDBBinary domain;
        _MBDBBinary relativePath;
        _MBDBBinary target;
        _MBDBBinary digest;
        // 4 bytes of protection class, then the 40-byte wrapped file key.
        _MBDBBinary encryptionKey;
        quint16 mode = 0;
        quint32 inodeHigh = 0;
        qint64 inodeNumber = 0;
        quint32 userId = 0;
        quint32 groupId = 0;
        qint32 lastModified = 0; // seconds since 1970-01-01 UTC
        qint32 lastStatusChange = 0;
        qint32 birth = 0;
        qint64 size = 0;
        qint8 protectionClass = 0;
        bool added = false;
        bool modified = false;
        bool deleted = false;
        QList<_MBDBProperty> properties;

        QString backupFileName() const;
        bool isFolder() const { return mode & 0x4000; }
        // A symbolic link: its mode says so or it names a target. Its
        // content is no file of the phone, whatever its path.
        bool isLink() const { return (mode & 0xF000) == 0xA000 || target.isValid(); }
    };

    // Records by fileID, and the largest inode number read.
    struct MBDBItemMap : QHash<QString, _MBDBItem> {
        qint32 maxInode = 0;
        // Records left out because their domain or path holds a NUL byte:
        // cut at the NUL such a path names another file.
        int refused = 0;
    };

    // Reads the file list of an opened backup: Manifest.mbdb when the
    // folder has one, otherwise Manifest.db (through a private decrypted
    // copy when the backup's Manifest.db key is set). Throws
    // std::runtime_error naming the file and what is wrong with it.
    static MBDBItemMap parse(const BackupManifest& backup);

    // The Manifest.mbdb form from any device positioned at the 6-byte
    // header, which must be "mbdb" of version 5.0; `name` appears in error
    // texts, which say what else the file is when it is no such list.
    static MBDBItemMap readMbdb(QIODevice& in, const QString& name);
    // The Manifest.db form, opened read-only. A non-empty password reads
    // the salted form when the database carries a salt. Errors name
    // `name`, or the path when it is empty.
    static MBDBItemMap readManifestDb(const QString& path, const QByteArray& password, const QString& name = {});

    // True when the folder has no "Manifest.mbdb" but has "Manifest.db".
    static bool isIos10Mbdb(const QDir& folder);
    static QString getFileHashName(const QString& domain, const QString& relativePath);
    // Absolute path of a content file: <folder>/<first two of fileID>/<fileID>
    // in a Manifest.db folder, <folder>/<fileID> otherwise.
    static QString getBKFilePath(const QDir& folder, const QString& fileID, bool makeFolder);
    // Raw SHA-1 of a file's content; empty when it cannot be read.
    static QByteArray readFileHash(const QString& path);

    static QByteArray fileDescKey(const QByteArray& password, const QByteArray& salt);
    static QByteArray decryptFileDescThrow(const QByteArray& data, const QByteArray& key);
    static QByteArray encryptFileDescThrow(const QByteArray& data, const QByteArray& key);
};

// Strings and integers of Manifest.mbdb (big-endian). A short read throws
// std::runtime_error with the device's error text; a string that gets some
// but not all of its bytes keeps what it got.
MBDBParser::_MBDBBinary g_readBinary(QIODevice& in);
qint8 g_readByte(QIODevice& in);
quint16 g_readInt16(QIODevice& in);
quint32 g_readInt32(QIODevice& in);

// Strict order of records: by domain, then by relative path (UTF-16 code
// units, case-sensitive).
bool compareMBDBItemLess(const MBDBParser::_MBDBItem& a, const MBDBParser::_MBDBItem& b);
