// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/copyuwpitunesthread.h"

#include "kit/workerreporter.h"
#include "kit/messagetext.h"

#include <QFile>

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
        copied = copyFiles(src, QDir(root), err) && writeMarker(err);
    }
    if (copied)
        form->invokeSucceed(QString());
    else
        form->invokeErrorOccurred(tr("Can not copy iTunes files. %1").arg(g_messageText(err)));
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
        const QFileInfoList entries = QDir(src.absoluteFilePath())
                                          .entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        for (const QFileInfo& entry : entries) {
            // Never into a folder link, nor into the copy root itself when the
            // source holds it: either could copy without end.
            if (entry.isDir() && (entry.isSymLink() || entry.canonicalFilePath() == rootPath))
                continue;
            if (!copyFiles(entry, target, err))
                return false;
        }
        return true;
    }
    return true;
}
