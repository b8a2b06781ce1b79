// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/mbdbparser.h"

#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/filedescription_p.h"
#include "itunesbackup/itunesbackuplog.h"
#include "itunesbackup/qopensslevpaes.h"
#include "platform/sqlite/sqlite3db.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QtEndian>

#include <openssl/evp.h>

#include <stdexcept>

namespace {

// The IV of the salted file descriptions; the writing side uses the same.
const QByteArray& fileDescIv()
{
    static const QByteArray iv = QByteArray::fromHex("5a3e91c40b7d28f6e1934c0a8d72b5e6");
    return iv;
}

[[noreturn]] void throwDeviceError(QIODevice& in)
{
    throw std::runtime_error(in.errorString().toStdString());
}

QByteArray readExactly(QIODevice& in, int count)
{
    const QByteArray bytes = in.read(count);
    if (bytes.size() != count)
        throwDeviceError(in);
    return bytes;
}

void storeItem(MBDBParser::MBDBItemMap& result, const MBDBParser::_MBDBItem& item)
{
    // A refused record's inode number is still taken: new records must not
    // reuse it.
    if (item.inodeNumber > result.maxInode)
        result.maxInode = qint32(quint32(quint64(item.inodeNumber)));
    // Cut at the NUL, such a path reads as another record's (the address
    // book's, say) and would take its place.
    if (item.domain.bytes.contains('\0') || item.relativePath.bytes.contains('\0')) {
        ++result.refused;
        return;
    }
    // A link of the same path as a file never takes the file's place.
    const QString id = item.backupFileName();
    if (item.isLink()) {
        const auto stored = result.constFind(id);
        if (stored != result.constEnd() && !stored->isLink())
            return;
    }
    result.insert(id, item);
}

const EVP_CIPHER* cbcCipherForKey(int keyBytes)
{
    switch (keyBytes) {
    case 16:
        return EVP_aes_128_cbc();
    case 24:
        return EVP_aes_192_cbc();
    case 32:
        return EVP_aes_256_cbc();
    default:
        return nullptr;
    }
}

QByteArray cipherFileDesc(const QByteArray& data, const QByteArray& key, bool encrypt, const char* what)
{
    const EVP_CIPHER* cipher = cbcCipherForKey(key.size());
    if (!cipher)
        throw std::runtime_error(std::string("MBDBParser::") + what + ", invalid key size.");
    QOpenSSLEVPAES aes;
    QByteArray in = data;
    QBuffer input(&in);
    input.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer output(&out);
    output.open(QIODevice::WriteOnly);
    if (!aes.init(cipher, key, fileDescIv(), encrypt) || aes.updateAll(&input, &output, 8192) < 0
        || aes.finalAll(&output, 8192) < 0)
        throw std::runtime_error(
            QStringLiteral("MBDBParser::%1, %2").arg(QLatin1String(what), aes.errorString()).toStdString());
    output.close();
    return out;
}

[[noreturn]] void rethrowWithFile(const QString& path, const std::exception& e)
{
    throw std::runtime_error(QStringLiteral("MBDBParser::parse, %1: %2")
                                 .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()))
                                 .toStdString());
}

// Throws, naming what the file is, unless it begins with the header of a
// file list this reader knows: "mbdb", version 5.0.
void checkMbdbHeader(const QByteArray& header, const QString& name)
{
    if (header == QByteArray("mbdb\x05\x00", 6))
        return;
    QString why;
    if (header.startsWith("SQLite"))
        why = QStringLiteral("this is a SQLite database, not a file list of the old kind; "
                             "a backup keeps such a database under the name Manifest.db.");
    else if (header.startsWith("mbdx"))
        why = QStringLiteral("this is the index of a file list of a backup made before 2011 (\"mbdx\"), "
                             "which cannot be read; make a new backup of the phone.");
    else if (header.startsWith("mbdb") && header.size() == 6)
        why = QStringLiteral("this file list is of version %1.%2; only version 5.0 can be read. "
                             "Make a new backup of the phone.")
                  .arg(quint8(header.at(4)))
                  .arg(quint8(header.at(5)));
    else if (header.size() < 6)
        why = QStringLiteral("the file is too short (%1 bytes) to be a backup file list.").arg(header.size());
    else
        why = QStringLiteral("this is no backup file list: it does not begin with \"mbdb\".");
    throw std::runtime_error(QStringLiteral("MBDBParser::parse, %1: %2").arg(name, why).toStdString());
}

} // namespace

QString MBDBParser::_MBDBBinary::toString() const
{
    if (!isValid())
        return QString();
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

void MBDBParser::_MBDBBinary::setVal(const QByteArray& v)
{
    bytes = v;
    length = quint16(v.size() & 0xFFFF);
}

QString MBDBParser::_MBDBItem::backupFileName() const
{
    return getFileHashName(domain.toString(), relativePath.toString());
}

MBDBParser::_MBDBBinary g_readBinary(QIODevice& in)
{
    MBDBParser::_MBDBBinary value;
    value.length = g_readInt16(in);
    if (value.length == 0 || value.length == 0xFFFF)
        return value;
    value.bytes = in.read(value.length);
    if (value.bytes.isEmpty())
        throwDeviceError(in);
    return value;
}

qint8 g_readByte(QIODevice& in)
{
    return qint8(readExactly(in, 1).at(0));
}

quint16 g_readInt16(QIODevice& in)
{
    return qFromBigEndian<quint16>(readExactly(in, 2).constData());
}

quint32 g_readInt32(QIODevice& in)
{
    return qFromBigEndian<quint32>(readExactly(in, 4).constData());
}

bool compareMBDBItemLess(const MBDBParser::_MBDBItem& a, const MBDBParser::_MBDBItem& b)
{
    const int byDomain = QString::compare(a.domain.toString(), b.domain.toString(), Qt::CaseSensitive);
    if (byDomain != 0)
        return byDomain < 0;
    return QString::compare(a.relativePath.toString(), b.relativePath.toString(), Qt::CaseSensitive) < 0;
}

MBDBParser::MBDBItemMap MBDBParser::readMbdb(QIODevice& in, const QString& name)
{
    MBDBItemMap result;
    checkMbdbHeader(in.read(6), name);
    int record = 0;
    while (!in.atEnd()) {
        const qint64 start = in.pos();
        ++record;
        try {
            _MBDBItem item;
            item.domain = g_readBinary(in);
            if (!item.domain.isValid())
                continue;
            item.relativePath = g_readBinary(in);
            item.target = g_readBinary(in);
            item.digest = g_readBinary(in);
            item.encryptionKey = g_readBinary(in);
            item.mode = g_readInt16(in);
            item.inodeHigh = g_readInt32(in);
            item.inodeNumber = g_readInt32(in);
            item.userId = g_readInt32(in);
            item.groupId = g_readInt32(in);
            item.lastModified = qint32(g_readInt32(in));
            item.lastStatusChange = qint32(g_readInt32(in));
            item.birth = qint32(g_readInt32(in));
            item.size = qint64(qFromBigEndian<quint64>(readExactly(in, 8).constData()));
            item.protectionClass = g_readByte(in);
            const qint8 count = g_readByte(in);
            for (int i = 0; i < count; ++i) {
                _MBDBProperty property;
                property.name = g_readBinary(in);
                property.value = g_readBinary(in);
                item.properties.append(property);
            }
            storeItem(result, item);
        } catch (const std::runtime_error& e) {
            // At a plain end of file the device's own text says nothing useful.
            const QString why = in.atEnd() ? QStringLiteral("The file ends at byte %1.").arg(in.pos())
                                           : QString::fromUtf8(e.what());
            throw std::runtime_error(QStringLiteral("MBDBParser::parse, %1: record %2 (at byte %3) is cut off. %4")
                                         .arg(name)
                                         .arg(record)
                                         .arg(start)
                                         .arg(why)
                                         .toStdString());
        }
    }
    return result;
}

MBDBParser::MBDBItemMap MBDBParser::readManifestDb(const QString& path, const QByteArray& password, const QString& name)
{
    MBDBItemMap result;
    try {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::OpenReadOnly);
        QByteArray key;
        if (!password.isEmpty()) {
            Sqlite3Cursor table
                = db.queryThrow("select 1 from sqlite_master where type='table' and name='Properties'");
            if (table.moveNext()) {
                Sqlite3Cursor salt = db.queryThrow("select * from Properties where key='salt' limit 1");
                if (salt.moveNext())
                    key = fileDescKey(password, salt.getBlob(QStringLiteral("value")));
            }
        }
        Sqlite3Cursor rows = db.queryThrow("select * from Files");
        int skipped = 0;
        while (rows.moveNext()) {
            _MBDBItem item;
            item.domain.setVal(rows.getText(QStringLiteral("domain")).toUtf8());
            if (!item.domain.isValid())
                continue;
            item.relativePath.setVal(rows.getText(QStringLiteral("relativePath")).toUtf8());
            QByteArray blob = rows.getBlob(QStringLiteral("file"));
            if (!key.isEmpty())
                blob = decryptFileDescThrow(QByteArray::fromBase64(blob), key);
            if (!readFileDescription(blob, item))
                ++skipped;
            storeItem(result, item);
        }
        if (skipped > 0)
            qCInfo(lcBackup) << skipped << "file descriptions of" << path << "are no keyed archives";
        db.close();
    } catch (const std::exception& e) {
        rethrowWithFile(name.isEmpty() ? path : name, e);
    }
    return result;
}

MBDBParser::MBDBItemMap MBDBParser::parse(const BackupManifest& backup)
{
    const QDir& folder = backup.dir();
    if (!isIos10Mbdb(folder)) {
        QFile file(folder.absoluteFilePath(QStringLiteral("Manifest.mbdb")));
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("MBDBParser::parse, %1: %2")
                                         .arg(QDir::toNativeSeparators(file.fileName()), file.errorString())
                                         .toStdString());
        return readMbdb(file, QDir::toNativeSeparators(file.fileName()));
    }
    const QByteArray password = backup.passcode().toUtf8();
    const QString path = folder.absoluteFilePath(QStringLiteral("Manifest.db"));
    if (backup.manifestDbKey().isEmpty())
        return readManifestDb(path, password);
    const std::unique_ptr<QTemporaryFile> copy = backup.decryptManifestDbThrow();
    return readManifestDb(copy->fileName(), password, path + QStringLiteral(" (decrypted)"));
}

bool MBDBParser::isIos10Mbdb(const QDir& folder)
{
    if (QFileInfo::exists(folder.absoluteFilePath(QStringLiteral("Manifest.mbdb"))))
        return false;
    return QFileInfo::exists(folder.absoluteFilePath(QStringLiteral("Manifest.db")));
}

QString MBDBParser::getFileHashName(const QString& domain, const QString& relativePath)
{
    const QByteArray name = (domain + QLatin1Char('-') + relativePath).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex());
}

QString MBDBParser::getBKFilePath(const QDir& folder, const QString& fileID, bool makeFolder)
{
    if (!isIos10Mbdb(folder))
        return folder.absoluteFilePath(fileID);
    const QString path = folder.absoluteFilePath(QStringLiteral("%1/%2").arg(fileID.left(2), fileID));
    if (makeFolder)
        QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

QByteArray MBDBParser::readFileHash(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result();
}

QByteArray MBDBParser::fileDescKey(const QByteArray& password, const QByteArray& salt)
{
    return QCryptographicHash::hash(password + salt, QCryptographicHash::Sha1).left(16);
}

QByteArray MBDBParser::decryptFileDescThrow(const QByteArray& data, const QByteArray& key)
{
    if (data.isEmpty())
        return QByteArray();
    return cipherFileDesc(data, key, false, "decryptFileDescThrow");
}

QByteArray MBDBParser::encryptFileDescThrow(const QByteArray& data, const QByteArray& key)
{
    return cipherFileDesc(data, key, true, "encryptFileDescThrow");
}
