// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/copyuwpitunesthread.h"

#include "kit/workerreporter.h"
#include "kit/messagetext.h"

#include <QFile>

#include <dirent.h>

namespace {

const char kCopyRootName[] = "quorvantile_itunes";
const char kMarkerName[] = "__CopyUWPItunesThread";

QString copyRoot()
{
    return QDir::cleanPath(QDir(QDir::homePath()).absoluteFilePath(QLatin1String(kCopyRootName)));
}

// Removes the folder with everything in it. Links inside are removed as
// links: nothing outside the folder is ever touched. What cannot be removed
// stays, unreported: a later copy skips what is already there.
void delDirCascade(const QString& path)
{
    QDir dir(path);
    if (dir.exists())
        dir.removeRecursively();
}

// The entries of the folder whose names are not valid UTF-8, shown with
// replacement characters: the toolkit leaves them out of its listings, as
// they cannot be named by text.
QStringList undecodableNames(const QString& folder)
{
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (QFile::encodeName(QFile::decodeName(name)) != name)
            names.append(QDir(folder).filePath(QString::fromUtf8(name)));
    }
    ::closedir(dir);
    return names;
}

} // namespace

CopyUWPItunesThread::CopyUWPItunesThread(const QString& srcPath, bool clearFirst, IWorkerReporter* form,
                                         QObject* parent)
    : QThread(parent), srcPath(QDir::cleanPath(srcPath)), clearFirst(clearFirst), form(form)
{
}

// A thread object destroyed while it runs would abort the program.
CopyUWPItunesThread::~CopyUWPItunesThread()
{
    wait();
}

QDir CopyUWPItunesThread::uwpItunesSaveDir(const QString& srcPath)
{
    return QDir(copyRoot() + QLatin1Char('/') + QFileInfo(QDir::cleanPath(srcPath)).fileName());
}

bool CopyUWPItunesThread::isUWPItunesCopied(const QDir& dir)
{
    return QFileInfo(dir.filePath(QLatin1String(kMarkerName))).isFile();
}

void CopyUWPItunesThread::run()
{
    Q_ASSERT(form);
    form->invokeUpdateProgress(tr("Initiating iTunes..."), 99, QString());
    const QString root = copyRoot();
    if (clearFirst)
        delDirCascade(root);

    QString err;
    const QFileInfo src(srcPath);
    bool copied = false;
    if (!src.isDir()) {
        err = tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(srcPath));
    } else {
        m_leftOut.clear();
        copied = copyFiles(src, QDir(root), err) && !reportLeftOut(err) && writeMarker(err);
    }
    if (copied)
        form->invokeSucceed(QString());
    else
        form->invokeErrorOccurred(tr("Can not copy iTunes files. %1").arg(g_messageText(err)));
}

bool CopyUWPItunesThread::reportLeftOut(QString& err) const
{
    if (m_leftOut.isEmpty())
        return false;
    constexpr qsizetype kNamed = 10;
    QStringList named;
    for (qsizetype i = 0; i < m_leftOut.size() && i < kNamed; ++i)
        named.append(QDir::toNativeSeparators(m_leftOut.at(i)));
    err = tr("%1 of the files could not be copied: their names are not valid UTF-8 text, or they are links that "
             "lead nowhere. Rename or remove them and copy again. %2")
              .arg(m_leftOut.size())
              .arg(named.join(QStringLiteral(", ")));
    if (m_leftOut.size() > kNamed)
        err += tr(" and %1 more").arg(m_leftOut.size() - kNamed);
    return true;
}

bool CopyUWPItunesThread::writeMarker(QString& err) const
{
    const QDir copy = uwpItunesSaveDir(srcPath);
    // A source folder with nothing to copy still gets its (empty) copy.
    copy.mkpath(QStringLiteral("."));
    QFile marker(copy.filePath(QLatin1String(kMarkerName)));
    if (!marker.open(QIODevice::WriteOnly)) {
        err = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(marker.fileName()), marker.errorString());
        return false;
    }
    marker.close();
    return true;
}

bool CopyUWPItunesThread::copyFiles(const QFileInfo& src, const QDir& dst, QString& err)
{
    if (!dst.exists())
        QDir().mkpath(dst.absolutePath());

    if (src.isFile()) {
        form->invokeUpdateProgress(QString(), -1, src.fileName());
        const QString target = dst.absoluteFilePath(src.fileName());
        const QFileInfo targetInfo(target);
        if (targetInfo.exists() || targetInfo.isSymLink())
            return true;
        // QFile::copy writes through a temporary file: a failed copy leaves
        // no partial target that a later run would take for a complete one.
        QFile file(src.absoluteFilePath());
        if (!file.copy(target)) {
            err = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(src.absoluteFilePath()), file.errorString());
            return false;
        }
        return true;
    }

    if (src.isDir()) {
        const QDir target(dst.absoluteFilePath(src.fileName()));
        const QString rootPath = QFileInfo(copyRoot()).canonicalFilePath();
        // System entries listed too: a broken link is one of them.
        const QFileInfoList entries
            = QDir(src.absoluteFilePath())
                  .entryInfoList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
        m_leftOut += undecodableNames(src.absoluteFilePath());
        for (const QFileInfo& entry : entries) {
            // Never into a folder link, nor into the copy root itself when the
            // source holds it: either could copy without end.
            if (entry.isDir() && (entry.isSymLink() || entry.canonicalFilePath() == rootPath))
                continue;
            // A link leading nowhere.
            if (!entry.exists()) {
                m_leftOut.append(entry.absoluteFilePath());
                continue;
            }
            // Pipes, sockets and devices are not copied.
            if (!entry.isFile() && !entry.isDir())
                continue;
            if (!copyFiles(entry, target, err))
                return false;
        }
        return true;
    }
    return true;
}
