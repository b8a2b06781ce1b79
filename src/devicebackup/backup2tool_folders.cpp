// SPDX-License-Identifier: GPL-3.0-or-later
// The phone's management of the backup folder: listing, creating folders,
// free space, moves, removals and copies. Each is answered with one status
// response; a failing hook operation reaches the phone in that response and
// the run goes on.
#include "devicebackup/backup2tool.h"

#include "devicebackup/devicebackuplog.h"
#include "platform/error.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace {

// The phone reads errno-like codes, with its own numbers for "no such
// entry" and "already exists".
int deviceErrorCode(int r)
{
    if (r == 2)
        return -6;
    if (r == 17)
        return -7;
    return -r;
}

} // namespace

void backup2tool::sendDirContentsThrow(Backup2Transport& link, PlistCFType message)
{
    const QString path = message.at(1).CFStringQString();
    if (path.isEmpty())
        throw Error(QStringLiteral("ERROR: Malformed DLContentsOfDirectory message"));
    PlistCFType listing = PlistCFType::createCFDictionary();
    for (const Backup2ToolHook::DirItem& item : m_hook->dirContents(m_root, path)) {
        PlistCFType entry = PlistCFType::createCFDictionary();
        entry.put(QStringLiteral("DLFileType"),
            PlistCFType::createCFString(item.type == 2 ? QStringLiteral("DLFileTypeDirectory")
                                                       : QStringLiteral("DLFileTypeRegular")));
        entry.put(QStringLiteral("DLFileSize"), PlistCFType::createCFNumberInt64(item.size));
        entry.put(QStringLiteral("DLFileModificationDate"), PlistCFType::createCFDate(item.lastModified));
        listing.put(item.name, entry);
    }
    const int r = link.sendStatusResponse(0, QString(), listing);
    if (r != 0)
        throw Error(
            QStringLiteral("backup2tool::sendDirContentsThrow, Could not send status response, error %1")
                .arg(r));
}

void backup2tool::createDirectory(Backup2Transport& link, PlistCFType message)
{
    QString errorText;
    m_hook->mkdir(m_root, message.at(1).CFStringQString(), errorText);
    link.sendStatusResponse(0, QString(), PlistCFType());
}

void backup2tool::sendFreeDiskSpace(Backup2Transport& link)
{
    // The root of a restore may not exist yet; its nearest existing folder
    // lies on the same disk.
    QString path = m_root.absolutePath();
    while (!QFileInfo::exists(path) && QFileInfo(path).absolutePath() != path)
        path = QFileInfo(path).absolutePath();
    const QStorageInfo storage(path);
    const qint64 available = storage.isValid() ? std::max<qint64>(storage.bytesAvailable(), 0) : 0;
    link.sendStatusResponse(0, QString(), PlistCFType::createCFNumberInt64(available));
}

void backup2tool::moveFilesThrow(Backup2Transport& link, PlistCFType message)
{
    QString errorText;
    const PlistCFType pairs = message.at(1);
    int r = 0;
    for (const PlistCFType& key : pairs.dict_keys()) {
        const QString from = key.CFStringQString();
        const QString to = pairs.get(key).CFStringQString();
        if (from.isEmpty() || to.isEmpty())
            continue;
        r = m_hook->moveFile(m_root, from, to, errorText);
        if (r != 0) {
            qCWarning(lcDeviceBackup) << "move" << from << "to" << to << "failed:" << r << errorText;
            break;
        }
    }
    const int sent
        = link.sendStatusResponse(deviceErrorCode(r), errorText, PlistCFType::createCFDictionary());
    if (sent != 0)
        throw Error(QStringLiteral("backup2tool::moveFilesThrow: Could not send status response, error %1.")
                        .arg(sent));
}

void backup2tool::removeFilesThrow(Backup2Transport& link, PlistCFType message)
{
    QString errorText;
    const PlistCFType paths = message.at(1);
    for (quint32 i = 0; i < paths.array_size(); ++i) {
        const QString path = paths.at(int(i)).CFStringQString();
        if (!path.isEmpty())
            m_hook->removeFile(m_root, path, errorText);
    }
    const int sent = link.sendStatusResponse(0, errorText, PlistCFType::createCFDictionary());
    if (sent != 0)
        throw Error(QStringLiteral("backup2tool::removeFilesThrow: Could not send status response, error %1.")
                        .arg(sent));
}

void backup2tool::copyItemThrow(Backup2Transport& link, PlistCFType message)
{
    QString errorText;
    const QString from = message.at(1).CFStringQString();
    const QString to = message.at(2).CFStringQString();
    if (from.isEmpty() || to.isEmpty())
        throw Error(QStringLiteral("backup2tool::copyItemThrow: invalid message."));
    const int r = m_hook->copyFile(m_root, from, to, errorText);
    const int sent
        = link.sendStatusResponse(deviceErrorCode(r), errorText, PlistCFType::createCFDictionary());
    if (sent != 0)
        throw Error(QStringLiteral("backup2tool::copyItemThrow: Could not send status response, error %1.")
                        .arg(sent));
}
