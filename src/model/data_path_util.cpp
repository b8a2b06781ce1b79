// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/data_path_util.h"
#include "platform/files/safefilewriter.h"
#include "model/data_path_util_p.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

Q_LOGGING_CATEGORY(lcDataPath, "app.datapath", QtWarningMsg)

namespace {

const char kBaseFolderName[] = "QuorVantile";
const char kRedirectSuffix[] = ".redirect";
// A path is far shorter; anything larger is not a redirect we wrote.
constexpr qint64 kMaxRedirectBytes = 64 * 1024;

QMutex g_dataDirMutex;
QString g_curDataSaveDirPath;

// How long the desktop's opener may take to say whether it could hand the
// path on; one still running then is taken as opening it.
constexpr int kOpenerVerdictMs = 3000;

bool startOpener(const QString& program, const QStringList& arguments)
{
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, arguments);
    if (!process->waitForStarted()) {
        qCWarning(lcDataPath) << "could not start" << program << process->errorString();
        delete process;
        return false;
    }
    if (!process->waitForFinished(kOpenerVerdictMs)) {
        // Some openers stay with what they started; let it run on.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return true;
    }
    const bool opened = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    if (!opened)
        qCWarning(lcDataPath) << program << "could not open" << arguments << "exit code" << process->exitCode();
    delete process;
    return opened;
}

DesktopOpener g_opener = &startOpener;

QString desktopOpenProgram()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("open");
#else
    return QStringLiteral("xdg-open");
#endif
}

QString redirectFilePath()
{
    return g_defaultSaveDirPath() + QLatin1Char('/') + QLatin1String(kProductIdentifier)
        + QLatin1String(kRedirectSuffix);
}

// Something is at path, a dangling link included.
bool entryExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QDir g_osAppDir()
{
#ifdef Q_OS_MACOS
    return QDir(QDir::homePath() + QStringLiteral("/Library/Application Support"));
#else
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
#endif
}

QString g_defaultSaveDirPath()
{
    return g_osAppDir().absolutePath() + QLatin1Char('/') + QLatin1String(kBaseFolderName);
}

QString g_dataSaveDirLink()
{
    QFile file(redirectFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.read(kMaxRedirectBytes + 1);
    if (bytes.size() > kMaxRedirectBytes)
        return QString();
    const int zero = bytes.indexOf('\0');
    const QString path = QString::fromUtf8(zero >= 0 ? bytes.left(zero) : bytes);
    if (path.isEmpty() || !entryExists(path))
        return QString();
    return path;
}

bool g_setDataSaveDirLink(const QString& path)
{
    // Replaced whole: a short write must not leave a redirect that points
    // nowhere, which would make the user's data seem gone.
    SafeFileWriter file(redirectFilePath());
    return file.open() && file.write(path.toUtf8()) && file.commit();
}

QDir g_dataSaveDir()
{
    QString path;
    {
        QMutexLocker lock(&g_dataDirMutex);
        if (g_curDataSaveDirPath.isEmpty()) {
            QString base = g_dataSaveDirLink();
            if (base.isEmpty())
                base = g_defaultSaveDirPath();
            g_curDataSaveDirPath = QDir(base).absoluteFilePath(QLatin1String(kProductIdentifier));
        }
        path = g_curDataSaveDirPath;
    }
    QDir().mkpath(path);
    return QDir(path);
}

void g_forgetDataSaveDir()
{
    QMutexLocker lock(&g_dataDirMutex);
    g_curDataSaveDirPath.clear();
}

void g_delDirCascade(const QString& path)
{
    const QFileInfo top(path);
    if (top.isSymLink()) {
        // The caller named a link: what it points to is not ours to delete.
        QFile::remove(path);
        return;
    }
    if (!top.isDir())
        return;
    QDir dir(path);
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            g_delDirCascade(entry.absoluteFilePath());
        else
            dir.remove(entry.fileName());
    }
    QDir().rmdir(path);
}

QString g_getValidFilePath(const QString& path)
{
    if (!entryExists(path))
        return path;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const int firstDot = name.indexOf(QLatin1Char('.'));
    const int lastDot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = firstDot < 0 ? name : name.left(firstDot);
    const QString ext = lastDot < 0 ? QString() : name.mid(lastDot + 1);
    const QDir folder = info.absoluteDir();
    for (qint64 n = 1;; ++n) {
        QString candidate = QStringLiteral("%1(%2)").arg(base).arg(n);
        if (!ext.isEmpty())
            candidate += QLatin1Char('.') + ext;
        const QString full = folder.absoluteFilePath(candidate);
        if (!entryExists(full))
            return full;
    }
}

bool g_openFileOrFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    // Absolute, so a name beginning with "-" can never read as an option.
    return g_opener(desktopOpenProgram(), QStringList { QFileInfo(path).absoluteFilePath() });
}

void g_openLink(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || parsed.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        qCInfo(lcDataPath) << "ignored a link that is not http or https";
        return;
    }
    g_opener(desktopOpenProgram(), QStringList { parsed.toString(QUrl::FullyEncoded) });
}

DesktopOpener g_setDesktopOpener(DesktopOpener opener)
{
    const DesktopOpener previous = g_opener;
    g_opener = opener ? opener : &startOpener;
    return previous;
}
