// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/databaseerrortext.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The primary SQLite result code at the end of the wrapper's text.
int resultCode(const QString& technical)
{
    static const QRegularExpression code(QStringLiteral("\\(code (\\d+)\\)$"));
    const QRegularExpressionMatch match = code.match(technical);
    return match.hasMatch() ? match.captured(1).toInt() & 0xff : -1;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("LocalDb", text);
}

} // namespace

bool g_isDatabaseBusyText(const QString& technical)
{
    return resultCode(technical) == 5;
}

QString g_databaseErrorText(const QString& path, const QString& technical)
{
    const QFileInfo file(path);
    const QString name = file.fileName();
    switch (resultCode(technical)) {
    case 5: // busy
        return tr("%1 is in use by another operation. Select it again once that is over.").arg(name);
    case 8: // read-only
        return tr("%1 cannot be changed: you may not write to the file or its folder.").arg(name);
    case 13: // full
        return tr("%1 cannot be changed: the disk is full.").arg(name);
    case 10: // I/O error
        return tr("%1 could not be read or written: the disk reported an error.").arg(name);
    default:
        break;
    }
    if (!file.exists() || !file.isReadable())
        return tr("%1 could not be opened: the file is missing or you may not read it.").arg(name);
    return tr("%1 is not a contact database or is damaged.").arg(name);
}
