// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/devices/devicecache.h"

#include "model/data_path_util.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTcpServer>
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

namespace {

// Whether a listener could take `port` on this computer's loopback now. Over
// USB the port is forwarded there: one another program (another copy of this
// one, say) listens on would lead to that program's phone.
bool isFreeLocalPort(int port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, quint16(port));
}

} // namespace

int portAlloc()
{
    // Copies of the program started together would otherwise walk the same
    // ports in step.
    static int counter = 1 + int(QRandomGenerator::global()->bounded(99));
    int port = 0;
    for (int tries = 0; tries < 99; ++tries) {
        if (counter % 100 == 0)
            counter = 1;
        const QTime now = QTime::currentTime();
        port = 10000 + (now.minute() % 4) * 10000 + now.second() * 100 + counter++;
        if (isFreeLocalPort(port))
            break;
    }
    return port;
}
