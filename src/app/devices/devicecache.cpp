// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/devices/devicecache.h"

#include "model/data_path_util.h"

#include <QDir>
#include <QTime>

QString deviceCacheFileName(const QString& deviceId)
{
    if (deviceId.isEmpty())
        return QStringLiteral("%");
    QString name;
    for (const char byte : deviceId.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
                          || c == '_' || c == '-';
        name += kept ? QString(QChar(c)) : QStringLiteral("%%1").arg(c, 2, 16, QChar('0')).toUpper();
    }
    if (name == QLatin1String("."))
        return QStringLiteral("%2E");
    if (name == QLatin1String(".."))
        return QStringLiteral("%2E%2E");
    return name;
}

QString deviceCachePath(const QString& folderName, const QString& deviceId)
{
    QDir data = g_dataSaveDir();
    data.mkpath(folderName);
    return QDir(data.filePath(folderName)).filePath(deviceCacheFileName(deviceId));
}

int portAlloc()
{
    static int counter = 1;
    if (counter % 100 == 0)
        counter = 1;
    const QTime now = QTime::currentTime();
    return 10000 + (now.minute() % 4) * 10000 + now.second() * 100 + counter++;
}
