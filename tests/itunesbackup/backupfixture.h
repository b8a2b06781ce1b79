// SPDX-License-Identifier: GPL-3.0-or-later
// Writes backup folders for tests: keybag with class keys (one of them
// device-only), Manifest.plist, the file list in any of its
// forms and the content files, encrypted when a password is given.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace backupfixture {

// The address book file of the default set.
inline const char kAddressBookDomain[] = "HomeDomain";
inline const char kAddressBookPath[] = "Library/AddressBook/AddressBook.sqlitedb";

struct FixtureFile {
    QString domain;
    QString relativePath;
    QByteArray content;
    int protectionClass = 3;
    quint16 mode = 0x81A4;
    qint64 inode = 1;
    qint32 lastModified = 1600000000;
    bool digestAsObject = false; // archived NSData instead of a plain data value
    bool xml = false;            // XML instead of binary keyed archive
};

enum class ManifestForm { Db, SaltedDb, Mbdb, Both };

// Key derivation runs 2 rounds of the first stage and 3 of the second.
struct BackupSpec {
    QString password; // empty: not encrypted
    bool twoStage = true; // "DPIC"/"DPSL": encrypted Manifest.db
    ManifestForm form = ManifestForm::Db;
    QString deviceName = QStringLiteral("Test iPhone");
    QList<FixtureFile> files = { { kAddressBookDomain, kAddressBookPath, "address book stand-in \x01\x02" },
        { kAddressBookDomain, "Library/AddressBook", QByteArray(), 0, 0x41ED, 5 } };
};

struct Backup {
    QString folder;
    QByteArray keybag;      // "BackupKeyBag"
    QByteArray manifestKey; // "ManifestKey": 4 bytes of class + wrapped key
    QMap<int, QByteArray> classKeys;
};

Backup writeBackup(const QString& folder, const BackupSpec& spec);

// An address book as the phone keeps it (AddressBook.sqlitedb and
// AddressBookImages.sqlitedb, HomeDomain): a person with every kind of value,
// the phone's own labels and the user's, and a photo; an organisation; a
// person known only by a phone number; an empty person. With walPerson one
// more person ("Wally Walters") sits only in the book's "-wal" file. The
// databases are built in scratchFolder.
QList<FixtureFile> addressBookFiles(const QString& scratchFolder, bool walPerson = false);
// The photo of the first person (PNG).
QByteArray addressBookPhoto();

// Every file under folder with the SHA-1 of its content, sorted: two equal
// snapshots mean nothing in the folder was written.
QStringList snapshot(const QString& folder);

// Building blocks for hand-made variants.
QByteArray keybagRecord(const char* tag, const QByteArray& value);
QByteArray be32(quint32 value);
QByteArray mbdbString(const QByteArray& s, bool absent = false);
// The file's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString& path);

} // namespace backupfixture
