// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidwificonnector.h"

#include "android/androidlog.h"
#include "android/simpleprotocol.h"
#include "platform/error.h"
#include "platform/threadcancel.h"

#include <QTcpSocket>

#include <atomic>

namespace {

std::atomic<int> g_connectMs { AndroidWifiConnector::Waits().connectMs };
std::atomic<int> g_answerMs { AndroidWifiConnector::Waits().answerMs };
std::atomic<int> g_afterStartMs { AndroidWifiConnector::Waits().afterStartMs };

QString serviceName(const QString& address)
{
    return QStringLiteral("%1:%2").arg(address).arg(simpleprotocol::kWifiServicePort);
}

bool jobCancelled()
{
    return ThreadCancelScope::isCancelled();
}

// Connects to the service within g_connectMs; the caller's cancel ends the
// wait at once (a dropped connection request would otherwise hold it for the
// whole time). Returns whether it connected.
bool connectToService(QTcpSocket& socket, const QString& address, QString* why, bool* refused = nullptr)
{
    return simpleprotocol::connectSocket(socket, address, simpleprotocol::kWifiServicePort, g_connectMs, jobCancelled,
                                         why, refused);
}

} // namespace

void AndroidWifiConnector::setWaits(const Waits& waits)
{
    g_connectMs = waits.connectMs;
    g_answerMs = waits.answerMs;
    g_afterStartMs = waits.afterStartMs;
}

AndroidWifiConnector::Waits AndroidWifiConnector::waits()
{
    return Waits { g_connectMs, g_answerMs, g_afterStartMs };
}

AndroidWifiConnector::AndroidWifiConnector() = default;
AndroidWifiConnector::~AndroidWifiConnector() = default;

void AndroidWifiConnector::initialize(QString ip)
{
    m_address = ip;
    QTcpSocket socket;
    QString why;
    bool refused = false;
    if (!connectToService(socket, m_address, &why, &refused)) {
        qCInfo(lcAndroid) << "no WiFi service at" << serviceName(m_address) << why;
        if (refused)
            throw WifiServiceRefusedException();
        throw WifiServiceTimeoutException();
    }
    simpleprotocol::sendCommand(
        socket, simpleprotocol::kHello, QStringLiteral("//127.0.0.1"), true, g_answerMs, jobCancelled);
    const QString line = simpleprotocol::readCommand(socket, g_answerMs, jobCancelled);
    socket.close();
    // The identifier becomes the phone's device id: an answer that is no
    // greeting or names nobody would file the phone under a wrong or empty id.
    if (!line.startsWith(simpleprotocol::kHello))
        throw Error(QStringLiteral("The service at %1 is not the companion app: it answered \"%2\".")
                        .arg(serviceName(m_address), line.left(64)));
    m_helloText = line.mid(simpleprotocol::kHello.size());
    if (m_helloText.trimmed().isEmpty())
        throw Error(QStringLiteral("The companion app at %1 did not name the phone. Restart the app and try again.")
                        .arg(serviceName(m_address)));
}

QString AndroidWifiConnector::startBackup(int port)
{
    return startService(simpleprotocol::kBackup, port);
}

QString AndroidWifiConnector::startRestore(int port)
{
    return startService(simpleprotocol::kRestore, port);
}

QString AndroidWifiConnector::startService(const QString& command, int port)
{
    QTcpSocket socket;
    QString why;
    if (!connectToService(socket, m_address, &why))
        throw Error(QStringLiteral("Can not reach the companion app at %1. %2").arg(serviceName(m_address), why));
    simpleprotocol::sendCommand(
        socket, command, QStringLiteral("//127.0.0.1:%1/").arg(port), true, g_answerMs, jobCancelled);
    // The service answers nothing; it needs a moment to open the port.
    if (!ThreadCancelScope::sleep(g_afterStartMs))
        throw simpleprotocol::OperationCancelled();
    socket.close();
    return m_address;
}
