// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/backupmanifest.h"

#include "ios/plistcftype.h"
#include "itunesbackup/itunesbackuplog.h"
#include "itunesbackup/qopensslevpaes.h"
#include "model/data_path_util.h"
#include "platform/error.h"
#include "platform/files/safefilewriter.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int kStep = 8192;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// The content file of a record, refused when it is not a regular file that
// lies inside the backup folder: a link or a planted path must not make us
// copy something else from the disk.
QString contentFileThrow(const QDir& folder, const MBDBParser::_MBDBItem& item)
{
    const QString path = MBDBParser::getBKFilePath(folder, item.backupFileName(), false);
    const QFileInfo info(path);
    const QString root = QFileInfo(folder.absolutePath()).canonicalFilePath();
    const QString canonical = info.canonicalFilePath();
    if (info.isSymLink() || !info.isFile() || root.isEmpty() || !canonical.startsWith(root + QLatin1Char('/')))
        fail(QStringLiteral("BackupManifest::copyItemThrow, the backup holds no content file for %1/%2 (%3).")
                 .arg(item.domain.toString(), item.relativePath.toString(), QDir::toNativeSeparators(path)));
    return path;
}

void wipe(QByteArray& bytes)
{
    if (!bytes.isEmpty() && bytes.isDetached())
        OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

// AES-256-CBC with a zero IV, as the backup stores its encrypted files.
void decryptStreamThrow(QIODevice& in, QIODevice& out, const QByteArray& key, const std::function<void(qint64)>& onStep)
{
    QOpenSSLEVPAES aes;
    if (!aes.init(EVP_aes_256_cbc(), key, QByteArray(16, '\0'), false) || aes.updateAll(&in, &out, kStep, onStep) < 0
        || aes.finalAll(&out, kStep) < 0)
        fail(QStringLiteral("BackupManifest::decryptFile: decrypt failed. %1").arg(aes.errorString()));
}

QString itemKey(const QString& domain, const QString& relativePath)
{
    return domain + QChar(u'\0') + relativePath; // NUL: no domain or path holds one
}

} // namespace

BackupManifest::BackupManifest(const QDir& folder)
    : m_dir(folder)
{
}

void BackupManifest::readManifestInfo()
{
    const QString path = QDir::toNativeSeparators(m_dir.absoluteFilePath(QStringLiteral("Manifest.plist")));
    const QFileInfo file(path);
    if (!file.isFile())
        throw Error(QStringLiteral("The backup has no Manifest.plist: %1").arg(path));
    QString reason;
    const PlistCFType manifest = PlistCFType::createCFPropertyListFromFile(file.absoluteFilePath(), &reason);
    if (!manifest.isCFDictionary())
        throw Error(QStringLiteral("Manifest.plist cannot be read: %1")
                        .arg(reason.contains(path) ? reason
                                                   : QStringLiteral("%1: %2").arg(path,
                                                       reason.isEmpty() ? QStringLiteral("it holds no dictionary.") : reason)));

    _InfoPlist info;
    info.DeviceName = manifest.get(QStringLiteral("Lockdown")).get(QStringLiteral("DeviceName")).CFStringQString().trimmed();
    info.IsEncrypted = manifest.get(QStringLiteral("IsEncrypted")).CFNumberBool();
    info.BackupKeyBag = manifest.get(QStringLiteral("BackupKeyBag")).CFDataBytes();
    info.ManifestKey = manifest.get(QStringLiteral("ManifestKey")).CFDataBytes();
    const QFileInfo status(m_dir.absoluteFilePath(QStringLiteral("Status.plist")));
    const QDateTime stored = manifest.get(QStringLiteral("Date")).CFDateToDateTime();
    if (status.isFile())
        info.Date = status.lastModified();
    else if (stored.isValid())
        info.Date = QDateTime(stored.date(), stored.time(), Qt::UTC);
    else
        info.Date = file.lastModified();

    _KeybagInfo keybag;
    if (info.IsEncrypted) {
        keybag = parseKeybag(info.BackupKeyBag);
        if (keybag.classKeys.isEmpty())
            throw Error(QStringLiteral("Manifest.plist says the backup is encrypted but holds no usable keybag: %1").arg(path));
    }
    m_info = info;
    m_encrypted = info.IsEncrypted;
    m_keybag = keybag;
}

QString BackupManifest::displayName() const
{
    return m_info.DeviceName.isEmpty() ? m_dir.dirName() : m_info.DeviceName;
}

bool BackupManifest::setPasscodeNoUIThrow(const QString& password, const KeybagCancelCheck& cancelled)
{
    switch (unlockNoUI(password, m_info.ManifestKey, cancelled)) {
    case KeybagUnlock::Unlocked:
        return true;
    case KeybagUnlock::WrongPassword:
    case KeybagUnlock::Cancelled:
        return false;
    case KeybagUnlock::Unusable:
        break;
    }
    throw Error(QStringLiteral("The keybag of the backup cannot be unlocked with any password: %1")
                    .arg(QDir::toNativeSeparators(m_dir.absolutePath())));
}

void BackupManifest::parseInfo()
{
    if (!m_items.isEmpty())
        return;
    if (!m_dir.exists(QStringLiteral("Manifest.db")) && !m_dir.exists(QStringLiteral("Manifest.mbdb")))
        throw Error(QStringLiteral("The backup has no file list (Manifest.db or Manifest.mbdb): %1")
                        .arg(QDir::toNativeSeparators(m_dir.absolutePath())));
    const MBDBParser::MBDBItemMap map = MBDBParser::parse(*this);
    QList<MBDBParser::_MBDBItem> items(map.cbegin(), map.cend());
    std::sort(items.begin(), items.end(), compareMBDBItemLess);
    if (map.refused > 0)
        qCWarning(lcBackup) << map.refused << "records of the file list of" << m_dir.absolutePath()
                            << "hold a NUL in their path and were left out";
    m_refusedItems = map.refused;
    // A link never stands for the file of its path: only files are found.
    QHash<QString, int> index;
    for (int i = 0; i < items.size(); ++i) {
        if (!items[i].isLink())
            index.insert(itemKey(items[i].domain.toString(), items[i].relativePath.toString()), i);
    }
    m_items = std::move(items);
    m_itemIndex = std::move(index);
}

const MBDBParser::_MBDBItem* BackupManifest::findItem(const QString& domain, const QString& relativePath) const
{
    const auto it = m_itemIndex.constFind(itemKey(domain, relativePath));
    return it == m_itemIndex.constEnd() ? nullptr : &m_items[it.value()];
}

QString BackupManifest::workFolder() const
{
    return m_workFolder.isEmpty() ? QDir::tempPath() : m_workFolder;
}

KeybagUnlock BackupManifest::unlockNoUI(const QString& password, const QByteArray& manifestKey,
    const KeybagCancelCheck& cancelled)
{
    _KeybagInfo keybag = m_keybag;
    const KeybagUnlock result = unlockKeybag(password.toUtf8(), keybag, cancelled);
    if (result != KeybagUnlock::Unlocked)
        return result;
    QByteArray dbKey;
    if (keybag.hasTwoStages()) {
        dbKey = unwrapManifestKey(keybag, manifestKey);
        if (dbKey.isEmpty()) {
            qCWarning(lcBackup) << "no class key unwraps the Manifest key of" << m_dir.absolutePath();
            return KeybagUnlock::Unusable;
        }
    }
    m_keybag = keybag;
    m_passcode = password;
    m_manifestDbKey = dbKey;
    return KeybagUnlock::Unlocked;
}

std::unique_ptr<QTemporaryFile> BackupManifest::decryptManifestDbThrow() const
{
    QFile in(m_dir.absoluteFilePath(QStringLiteral("Manifest.db")));
    const QString name = QDir::toNativeSeparators(in.fileName());
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("BackupManifest::decryptManifestDb, %1: %2").arg(name, in.errorString()));
    // QTemporaryFile creates its file with mode 0600.
    auto copy = std::make_unique<QTemporaryFile>(QDir(workFolder()).absoluteFilePath(QStringLiteral("manifest-XXXXXX.db")));
    if (!copy->open())
        fail(QStringLiteral("BackupManifest::decryptManifestDb, cannot create a file in %1: %2")
                 .arg(QDir::toNativeSeparators(workFolder()), copy->errorString()));
    try {
        decryptStreamThrow(in, *copy, m_manifestDbKey, {});
    } catch (const std::exception& e) {
        fail(QStringLiteral("%1 (%2)").arg(QString::fromUtf8(e.what()), name));
    }
    if (!copy->flush())
        fail(QStringLiteral("BackupManifest::decryptManifestDb, %1: %2").arg(copy->fileName(), copy->errorString()));
    return copy;
}

void BackupManifest::copyItemThrow(const MBDBParser::_MBDBItem& item, const QString& destPath, void* context,
    void (*progress)(long long, long long, void*)) const
{
    const QString source = contentFileThrow(m_dir, item);
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("BackupManifest::copyItemThrow, %1: %2").arg(QDir::toNativeSeparators(source), in.errorString()));
    const qint64 total = in.size();
    auto report = [&](qint64 done) {
        if (progress)
            progress(done, total, context);
    };
    SafeFileWriter out(destPath);
    if (!out.open())
        fail(QStringLiteral("BackupManifest::copyItemThrow, %1").arg(out.errorString()));

    if (m_encrypted) {
        QByteArray key = unwrapKeyForClass(m_keybag, item.protectionClass, item.encryptionKey.bytes.mid(4));
        if (key.isEmpty())
            fail(QStringLiteral("BackupManifest::copyItemThrow, cannot unwrap the key of %1/%2 (protection class %3).")
                     .arg(item.domain.toString(), item.relativePath.toString())
                     .arg(item.protectionClass));
        try {
            decryptStreamThrow(in, out.device(), key, report);
        } catch (...) {
            wipe(key);
            throw;
        }
        wipe(key);
    } else {
        QByteArray buf;
        qint64 done = 0;
        while (!(buf = in.read(kStep * 8)).isEmpty()) {
            if (!out.write(buf))
                break;
            done += buf.size();
            report(done);
        }
        if (done != total)
            fail(QStringLiteral("BackupManifest::copyItemThrow, copying %1 stopped at byte %2: %3")
                     .arg(QDir::toNativeSeparators(source))
                     .arg(done)
                     .arg(in.error() != QFile::NoError ? in.errorString() : out.errorString()));
    }
    if (!out.commit())
        fail(QStringLiteral("BackupManifest::copyItemThrow, %1").arg(out.errorString()));

    QFile copy(destPath);
    const QDateTime time = QDateTime::fromSecsSinceEpoch(item.lastModified, Qt::UTC);
    if (!copy.open(QIODevice::ReadWrite) || !copy.setFileTime(time, QFileDevice::FileModificationTime)
        || !copy.setFileTime(time, QFileDevice::FileAccessTime))
        qCWarning(lcBackup) << "cannot set the file times of" << destPath << copy.errorString();
}

QString BackupManifest::dirPathMd5() const
{
    return QString::fromLatin1(
        QCryptographicHash::hash(m_dir.absolutePath().toUtf8(), QCryptographicHash::Md5).toHex());
}

QList<QDir> BackupManifest::iTunesBackupDirs()
{
    return { QDir(g_osAppDir().absoluteFilePath(QStringLiteral("MobileSync/Backup"))) };
}
