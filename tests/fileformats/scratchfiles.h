// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A temporary folder for the input files a test writes, each under a new
// numbered name so one test's file never stands in for another's.
class ScratchFiles {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // A fresh name "f<n>.<suffix>" in the folder, not yet written.
    QString newPath(const QString& suffix) { return filePath(QStringLiteral("f%1.%2").arg(++m_count).arg(suffix)); }

    // Writes the bytes to a new file and returns its path. A file that cannot
    // be written ends the run: every check after it would be meaningless.
    QString write(const QByteArray& bytes, const QString& suffix)
    {
        const QString path = newPath(suffix);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private:
    QTemporaryDir m_dir;
    int m_count = 0;
};
