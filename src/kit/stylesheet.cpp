// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/stylesheet.h"

#include "kit/kitlog.h"

#include <QFile>

namespace {

QString g_styleSheet;

// A style sheet is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxStyleSheetBytes = 1024 * 1024;

} // namespace

QString getStyleSheet(QString path)
{
    if (!g_styleSheet.isEmpty())
        return g_styleSheet;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcKit) << "style sheet" << path << "cannot be opened:" << file.errorString();
        return g_styleSheet;
    }
    QByteArray bytes = file.read(kMaxStyleSheetBytes);
    if (!file.atEnd())
        qCWarning(lcKit) << "style sheet" << path << "cut at" << kMaxStyleSheetBytes << "bytes";
    // The sheet was always read as a C string: a NUL byte ends it.
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    g_styleSheet = QString::fromLatin1(bytes);
    return g_styleSheet;
}
