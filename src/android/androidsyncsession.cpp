// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidsyncsession_p.h"

#include "android/androidlog.h"
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QTcpSocket>

namespace androidsync {

using namespace simpleprotocol;

void connectToApp(QTcpSocket& socket, const QString& host, int port, const CancelCheck& cancelled)
{
    if (!connectSocket(socket, host, quint16(port), kConnectTimeoutMs, cancelled))
        throw Error(
            QCoreApplication::translate("QObject", "IDS_ANDROID_CONNECT_FAIL%0:%1").arg(host).arg(port));
    // A batch goes out as several small writes before the phone answers: held
    // back for the phone's delayed acknowledgement, each would cost a pause.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

QString exchangeBatch(QTcpSocket& socket, const QStringList& lines, const CancelCheck& cancelled)
{
    sendCommand(socket, kBatch, QString(), true, -1, cancelled);
    for (const QString& line : lines)
        sendString(socket, line + QLatin1Char('\n'), false, -1, cancelled);
    sendCommand(socket, kEnd, QString(), true, -1, cancelled);
    const QString reply = readCommand(socket, -1, cancelled);
    qCDebug(lcAndroid).noquote() << "Android Sync," << elided(reply);
    if (!reply.startsWith(kBatch))
        throw Error(QStringLiteral("receive $batch: command error, invalid command:%1").arg(elided(reply)));
    return reply;
}

QString elided(const QString& line)
{
    constexpr int kShown = 200;
    return line.size() <= kShown ? line : line.left(kShown) + QStringLiteral("...");
}

bool isPhoneId(const QString& id, qint64* contactKey, qint64* secondKey)
{
    qint64 recordKey = 0;
    return SyncContactBuilder::fetchIdInfo(id, nullptr, contactKey, secondKey, &recordKey) && recordKey >= 0;
}

void TemporaryIds::add(const QString& sentId, unsigned long long contactId, unsigned long long entityId)
{
    qint64 recordKey = 0;
    if (SyncContactBuilder::fetchIdInfo(sentId, nullptr, nullptr, nullptr, &recordKey) && recordKey < 0)
        m_pending.insert(sentId, Record { contactId, entityId, QString() });
}

QList<TemporaryIds::Record> TemporaryIds::confirm(const QString& reply)
{
    QList<Record> result;
    for (const SyncContactParser::IdPair& pair : SyncContactParser::batchReplyPairs(reply)) {
        const auto it = m_pending.find(pair.oldId);
        if (it == m_pending.end() || !isPhoneId(pair.newId))
            continue;
        result.append(Record { it->contactId, it->entityId, pair.newId });
        m_pending.erase(it);
    }
    return result;
}

} // namespace androidsync
