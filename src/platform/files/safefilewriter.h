// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileDevice>
#include <QString>

#include <memory>

// Writes one file so that a failure is never reported as success and never
// costs the user the file it was to replace.
//
// A regular file (or a new one) is written through QSaveFile: the bytes go
// to a temporary file beside it, which takes the target's place only in
// commit(). Anything else (a device such as /dev/full) is written directly
// and is never removed or replaced.
//
// Qt's write buffer is off. Qt 6.4's QSaveFile::commit() renames its
// temporary file even when flushing the buffer's last bytes failed, and a
// short write carries no error at all; so each write here is repeated until
// the system has taken every byte or has said why not. errorString() then
// names the cause ("No space left on device", "File too large") instead of
// "Unknown error".
//
// A link in a folder that everyone may write to and that keeps the sticky
// bit (such as /tmp) is followed only when it belongs to the user: another
// user could have put it there to make the program overwrite a file of the
// user's choosing.
//
// One writer per file and thread. Dropping an uncommitted writer cancels it.
class SafeFileWriter {
public:
    explicit SafeFileWriter(const QString& path);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Each returns false on failure, with the cause in errorString(); after
    // a failure every further call fails too and commit() replaces nothing.
    bool open(QIODevice::OpenMode mode = QIODevice::WriteOnly);
    bool write(const QByteArray& bytes);
    bool write(const char* data, qint64 size);
    // Puts the written file in place (or closes the device).
    bool commit();
    // Removes what was written; the old file, if any, stays as it was.
    void cancel();

    // For code that can only write to a QIODevice: it must compare each
    // write's count with what it wrote. Valid between open() and commit().
    QIODevice& device() { return *m_file; }

    QString errorString() const { return m_error; }
    QString fileName() const { return m_path; }
    bool isDevice() const { return m_device; }

    // Whether path is a link that writing must not follow (see above);
    // why names the link and its folder.
    static bool isUntrustedLink(const QString& path, QString* why = nullptr);

private:
    bool fail(const QString& text);

    QString m_path;
    std::unique_ptr<QFileDevice> m_file;
    QString m_error;
    bool m_device = false;
    bool m_done = false;
};

// Why path cannot be read as a file to import, or an empty string when it
// is a regular file that may be opened. FIFOs, sockets and devices are
// refused before any open(): opening a FIFO blocks until someone writes to
// it, and a device never ends.
QString notARegularFileReason(const QString& path);

// Creates the folder path with every missing parent (as QDir::mkpath does)
// and returns an empty string, or why it could not: the folder that could
// not be made and the system's reason ("Read-only file system", "Not a
// directory"), where mkpath would only say false.
QString createFolderReason(const QString& path);
