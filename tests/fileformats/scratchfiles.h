// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Writes the bytes to a new file "f<n>.<suffix>" of the folder, numbered so
// one test's file never stands in for another's, and returns its path. A
// file that cannot be written ends the run: every check after it would be
// meaningless.
inline QString writeScratch(const QTemporaryDir& dir, const QByteArray& bytes, const QString& suffix)
{
    static int count = 0;
    const QString path = dir.filePath(QStringLiteral("f%1.%2").arg(++count).arg(suffix));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The whole file, or nothing when it cannot be read.
inline QByteArray readScratch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
