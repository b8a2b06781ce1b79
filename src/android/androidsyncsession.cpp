// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidsyncsession_p.h"

#include "android/androidlog.h"
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "model/contactmention.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QTcpSocket>

namespace androidsync {

using namespace simpleprotocol;

namespace {

// The one translation context of these shared texts.
struct Tr {
    Q_DECLARE_TR_FUNCTIONS(AndroidSync)
};

} // namespace

void connectToApp(QTcpSocket& socket, const QString& host, int port, const CancelCheck& cancelled)
{
    if (!connectSocket(socket, host, quint16(port), kConnectTimeoutMs, cancelled))
        throw Error(
            QCoreApplication::translate("QObject", "IDS_ANDROID_CONNECT_FAIL%0:%1").arg(host).arg(port));
    // A batch goes out as several small writes before the phone answers: held
    // back for the phone's delayed acknowledgement, each would cost a pause.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

QString exchangeBatch(QTcpSocket& socket, const QStringList& lines, Carried carried, const CancelCheck& cancelled)
{
    sendCommand(socket, kBatch, QString(), true, -1, cancelled);
    for (const QString& line : lines)
        sendString(socket, line + QLatin1Char('\n'), false, -1, cancelled);
    sendCommand(socket, kEnd, QString(), true, -1, cancelled);
    const QString reply = readCommand(socket, -1, cancelled);
    qCDebug(lcAndroid).noquote() << "Android Sync," << elided(reply);
    if (reply.startsWith(kBatch))
        return reply;
    qCWarning(lcAndroid).noquote() << "receive $batch: command error, invalid command:" << elided(reply);
    // The whole batch went out before the phone answered, so it reached the
    // phone; whether the phone applied it only a new read can tell.
    const bool ended = reply.startsWith(kBye);
    if (carried == Carried::Change)
        throw Error(ended ? Tr::tr("The phone ended the session instead of confirming the change. The change "
                                   "had reached the phone; the phone is read again to show what it holds.")
                          : Tr::tr("The phone gave an answer this program does not understand instead of "
                                   "confirming the change. The change had reached the phone; the phone is read "
                                   "again to show what it holds."));
    throw Error(ended ? Tr::tr("The phone ended the session instead of confirming the contacts sent to it. The "
                               "contacts sent had reached the phone; the phone is read again to show what it "
                               "holds.")
                      : Tr::tr("The phone gave an answer this program does not understand instead of "
                               "confirming the contacts sent to it. The contacts sent had reached the phone; the "
                               "phone is read again to show what it holds."));
}

QString unconfirmedText(const QStringList& names)
{
    // Contacts named before "and N more".
    constexpr int kNamed = 5;
    if (names.size() == 1)
        return Tr::tr("The phone did not confirm %1. It may hold it all the same; the phone is read again to show "
                      "what it holds.")
            .arg(pim::mention(names.first(), pim::Mention::Contact));
    QStringList quoted;
    for (const QString& name : names.mid(0, kNamed))
        quoted << pim::mention(name);
    if (names.size() > kNamed)
        quoted << Tr::tr("and %1 more").arg(names.size() - kNamed);
    return Tr::tr("The phone did not confirm %1 contacts (%2). It may hold them all the same; the phone is read "
                  "again to show what it holds.")
        .arg(names.size())
        .arg(quoted.join(QStringLiteral(", ")));
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
    if (SyncContactBuilder::fetchIdInfo(sentId, nullptr, nullptr, nullptr, &recordKey) && recordKey < 0) {
        if (!m_pending.contains(sentId))
            m_order.append(sentId);
        m_pending.insert(sentId, Record { contactId, entityId, QString() });
    }
}

QList<TemporaryIds::Record> TemporaryIds::unconfirmed() const
{
    QList<Record> waiting;
    for (const QString& id : m_order) {
        const auto it = m_pending.constFind(id);
        if (it != m_pending.constEnd())
            waiting.append(*it);
    }
    return waiting;
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
