// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/safefilewriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("SafeFileWriter", text);
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Qt's text for a failed flush or short write is often "Unknown error".
QString causeOf(const QFileDevice& file)
{
    const QString text = file.errorString();
    if (file.error() != QFileDevice::NoError && !text.isEmpty() && text != QLatin1String("Unknown error"))
        return text;
    return tr("The file could not be written completely (is the disk full?).");
}

} // namespace

SafeFileWriter::SafeFileWriter(const QString& path)
    : m_path(path)
{
    const QFileInfo info(path);
    m_device = info.exists() && !info.isFile() && !info.isDir();
    if (m_device)
        m_file = std::make_unique<QFile>(path);
    else
        m_file = std::make_unique<QSaveFile>(path);
}

SafeFileWriter::~SafeFileWriter()
{
    cancel();
}

bool SafeFileWriter::fail(const QString& text)
{
    if (m_error.isEmpty())
        m_error = tr("%1: %2").arg(native(m_path), text);
    cancel();
    return false;
}

bool SafeFileWriter::open(QIODevice::OpenMode mode)
{
    if (m_done || !m_file)
        return fail(tr("The file was already written or given up."));
    QString why;
    if (isUntrustedLink(m_path, &why))
        return fail(why);
    if (!m_file->open(mode | QIODevice::Unbuffered))
        return fail(m_file->errorString());
    return true;
}

bool SafeFileWriter::write(const QByteArray& bytes)
{
    return write(bytes.constData(), bytes.size());
}

bool SafeFileWriter::write(const char* data, qint64 size)
{
    if (m_done || !m_file->isOpen())
        return fail(m_error.isEmpty() ? tr("The file is not open for writing.") : m_error);
    // A short write is repeated for the rest: the repeat either takes it or
    // fails with the system's reason.
    while (size > 0) {
        const qint64 n = m_file->write(data, size);
        if (n <= 0)
            return fail(causeOf(*m_file));
        data += n;
        size -= n;
    }
    return true;
}

bool SafeFileWriter::commit()
{
    if (m_done || !m_file->isOpen())
        return fail(m_error.isEmpty() ? tr("The file is not open for writing.") : m_error);
    if (!m_file->flush() || m_file->error() != QFileDevice::NoError)
        return fail(causeOf(*m_file));
    if (auto* save = qobject_cast<QSaveFile*>(m_file.get())) {
        if (!save->commit())
            return fail(causeOf(*save));
    } else {
        m_file->close();
        if (m_file->error() != QFileDevice::NoError)
            return fail(causeOf(*m_file));
    }
    m_done = true;
    return true;
}

void SafeFileWriter::cancel()
{
    if (m_done || !m_file)
        return;
    m_done = true;
    if (auto* save = qobject_cast<QSaveFile*>(m_file.get())) {
        // Dropping an uncommitted QSaveFile removes its temporary file.
        save->cancelWriting();
        m_file.reset();
    } else if (m_file->isOpen()) {
        m_file->close();
    }
}

bool SafeFileWriter::isUntrustedLink(const QString& path, QString* why)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat link {};
    if (::lstat(local.constData(), &link) != 0 || !S_ISLNK(link.st_mode) || link.st_uid == ::geteuid())
        return false;
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat dir {};
    if (::stat(folder.constData(), &dir) != 0)
        return false;
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    if (!shared || link.st_uid == dir.st_uid)
        return false;
    if (why)
        *why = tr("This is a link that another user placed in the shared folder %1; it is not followed. "
                  "Choose another name or folder.")
                   .arg(native(QFileInfo(path).absolutePath()));
    return true;
}

QString notARegularFileReason(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat st {};
    if (::stat(local.constData(), &st) != 0) {
        const int code = errno;
        return QStringLiteral("%1: %2").arg(native(path), QString::fromLocal8Bit(std::strerror(code)));
    }
    if (S_ISREG(st.st_mode))
        return QString();
    const char* kind = S_ISDIR(st.st_mode)                          ? "This is a folder, not a file."
                     : S_ISFIFO(st.st_mode)                         ? "This is a pipe (FIFO), not a file."
                     : S_ISSOCK(st.st_mode)                         ? "This is a socket, not a file."
                     : (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) ? "This is a device, not a file."
                                                                    : "This is not a regular file.";
    return tr("%1: %2 Only regular files can be imported.").arg(native(path), tr(kind));
}

QString createFolderReason(const QString& path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The folders to make, deepest first, up to the first that stands.
    QStringList missing;
    for (QString at = absolute; !QFileInfo(at).isDir();) {
        missing.prepend(at);
        const QString parent = QFileInfo(at).path();
        if (parent == at)
            break;
        at = parent;
    }
    for (const QString& folder : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0)
            continue;
        const int code = errno;
        // Made meanwhile by someone else: as good as made here.
        if (code == EEXIST && QFileInfo(folder).isDir())
            continue;
        const QString reason = code == EEXIST ? tr("This is a file, not a folder.")
                                              : QString::fromLocal8Bit(std::strerror(code));
        return tr("%1: %2").arg(native(folder), reason);
    }
    return QString();
}
