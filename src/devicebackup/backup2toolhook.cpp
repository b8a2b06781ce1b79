// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/backup2toolhook.h"

#include <QFileInfo>

namespace {

const char kInvalidPathText[] = "invalid path";
const char kOverlapText[] = "Source and destination overlap.";

// Qt's CopyError: what a copy refused by the kinds of its ends returns.
constexpr int kCopyRefused = 14;

// Whether one of two resolved paths lies inside the other: a copy into
// itself would never end, a move onto its own folder would remove itself.
bool isNested(const QString& a, const QString& b)
{
    return a.startsWith(b + QLatin1Char('/')) || b.startsWith(a + QLatin1Char('/'));
}

int refuse(QString& errorText)
{
    errorText = QString::fromLatin1(kInvalidPathText);
    return Backup2ToolHook::kInvalidPath;
}

// Removes a folder tree below `path`. Links are removed as links and never
// descended, so a link to a folder elsewhere costs that folder nothing.
// Hidden entries stay, and with them the folder that holds them.
void rmdir_recursive(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir())
        return;
    QDir dir(path);
    const QFileInfoList entries
        = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            rmdir_recursive(entry.absoluteFilePath());
        else
            dir.remove(entry.fileName());
    }
    dir.rmdir(info.absoluteFilePath());
}

// Copies a file, or merges a folder tree into `to`. Links met on either
// side are never followed: a link in the source is not copied, a link in
// the destination is replaced rather than written through.
int copy_recursive(const QString& from, const QString& to, QString& errorText)
{
    const QFileInfo source(from);
    QFileInfo target(to);
    if (source.isSymLink())
        return 0;
    if (target.isSymLink()) {
        QFile::remove(to);
        target = QFileInfo(to);
    }
    if (source.isFile()) {
        if (target.isDir()) {
            errorText = QStringLiteral("Destination is a folder.");
            return kCopyRefused;
        }
        if (target.isFile())
            QFile::remove(to);
        const QDir parent = target.absoluteDir();
        if (!parent.exists())
            parent.mkpath(parent.absolutePath());
        QFile file(from);
        if (!file.copy(to)) {
            errorText = file.errorString();
            return file.error();
        }
        return 0;
    }
    if (source.isDir()) {
        if (target.isFile()) {
            errorText = QStringLiteral("Destination is a file.");
            return kCopyRefused;
        }
        if (!target.exists())
            QDir().mkpath(to);
        const QFileInfoList entries
            = QDir(from).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        for (const QFileInfo& entry : entries) {
            const int r
                = copy_recursive(entry.absoluteFilePath(), QDir(to).filePath(entry.fileName()), errorText);
            if (r != 0)
                return r;
        }
    }
    return 0;
}

} // namespace

QString resolveDevicePath(const QDir& root, const QString& path, bool allowFinalLink)
{
    if (path.isEmpty() || path.contains(QChar(0)) || QDir::isAbsolutePath(path)
        || path.startsWith(QLatin1Char('/')))
        return QString();
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned == QLatin1String(".") || cleaned == QLatin1String("..")
        || cleaned.startsWith(QLatin1String("../")))
        return QString();
    // Cleaning is lexical; a link below the root could still lead out of it,
    // so every component that exists is looked at as it is on disk.
    QString current = root.absolutePath();
    const QStringList parts = cleaned.split(QLatin1Char('/'));
    for (int i = 0; i < parts.size(); ++i) {
        current += QLatin1Char('/') + parts.at(i);
        const QFileInfo info(current);
        if (info.isSymLink()) {
            if (allowFinalLink && i == parts.size() - 1)
                break;
            return QString();
        }
        if (!info.exists())
            break;
    }
    return root.absolutePath() + QLatin1Char('/') + cleaned;
}

Backup2ToolHook::~Backup2ToolHook() = default;

void Backup2ToolHook::beginThrow(QDir, QString) { }

bool Backup2ToolHook::onHandleMsgContinue(QDir, QString, PlistCFType, int&, QString&)
{
    return true;
}

QList<Backup2ToolHook::DirItem> Backup2ToolHook::dirContents(QDir root, QString path)
{
    QList<DirItem> items;
    const QString folder = resolveDevicePath(root, path);
    if (folder.isEmpty())
        return items;
    // Links are left out: listing one would invite the phone to read
    // through it.
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::NoSort);
    for (const QFileInfo& entry : entries)
        items.append(DirItem { entry.fileName(), entry.isDir() ? 2 : 1, entry.size(), entry.lastModified() });
    return items;
}

void Backup2ToolHook::recvFileBegin(QDir, QString, QString, QString) { }

int Backup2ToolHook::recvFileOpenWrite(QDir root, QString fileName, QFile& file, QString& errorText)
{
    const QString target = resolveDevicePath(root, fileName);
    if (target.isEmpty())
        return refuse(errorText);
    const QDir parent = QFileInfo(target).absoluteDir();
    if (!parent.exists())
        parent.mkpath(parent.absolutePath());
    // The client named the file from the raw path; open the checked one.
    file.setFileName(target);
    if (!file.open(QIODevice::WriteOnly)) {
        errorText = file.errorString();
        return file.error();
    }
    return 0;
}

void Backup2ToolHook::recvFileEnd(QDir, QString, unsigned long long) { }

int Backup2ToolHook::moveFile(QDir root, QString from, QString to, QString& errorText)
{
    const QString source = resolveDevicePath(root, from, true);
    const QString target = resolveDevicePath(root, to, true);
    if (source.isEmpty() || target.isEmpty())
        return refuse(errorText);
    const QFileInfo sourceInfo(source);
    if ((!sourceInfo.exists() && !sourceInfo.isSymLink()) || source == target)
        return 0;
    if (isNested(source, target)) {
        errorText = QString::fromLatin1(kOverlapText);
        return QFileDevice::RenameError;
    }
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir() && !targetInfo.isSymLink())
        rmdir_recursive(target);
    else
        QFile::remove(target);
    const QDir parent = targetInfo.absoluteDir();
    if (!parent.exists())
        parent.mkpath(parent.absolutePath());
    QFile file(source);
    if (!file.rename(target)) {
        errorText = file.errorString();
        return file.error();
    }
    return 0;
}

int Backup2ToolHook::removeFile(QDir root, QString path, QString& errorText)
{
    const QString target = resolveDevicePath(root, path, true);
    if (target.isEmpty())
        return refuse(errorText);
    const QFileInfo info(target);
    if (info.isDir() && !info.isSymLink())
        rmdir_recursive(target);
    else if (info.exists() || info.isSymLink())
        QFile::remove(target);
    return 0;
}

int Backup2ToolHook::copyFile(QDir root, QString from, QString to, QString& errorText)
{
    const QString source = resolveDevicePath(root, from);
    const QString target = resolveDevicePath(root, to);
    if (source.isEmpty() || target.isEmpty())
        return refuse(errorText);
    if (source == target)
        return 0;
    if (isNested(source, target)) {
        errorText = QString::fromLatin1(kOverlapText);
        return kCopyRefused;
    }
    return copy_recursive(source, target, errorText);
}

int Backup2ToolHook::mkdir(QDir root, QString path, QString& errorText)
{
    const QString target = resolveDevicePath(root, path);
    if (target.isEmpty())
        return refuse(errorText);
    const QFileInfo info(target);
    if (!info.exists() && !info.isSymLink())
        QDir().mkpath(target);
    return 0;
}
