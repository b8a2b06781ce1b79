// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/power/powerinhibitor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPower, "app.power", QtWarningMsg)

namespace {
const char kService[] = "org.freedesktop.ScreenSaver";
const char kPath[] = "/org/freedesktop/ScreenSaver";
const char kInterface[] = "org.freedesktop.ScreenSaver";
}

PowerInhibitor::PowerInhibitor(const QDBusConnection& bus, int callTimeoutMs)
    : m_bus(bus), m_timeoutMs(callTimeoutMs)
{
}

PowerInhibitor::~PowerInhibitor()
{
    release();
}

bool PowerInhibitor::inhibit(const QString& application, const QString& reason)
{
    if (m_held)
        return true;
    if (!m_bus.isConnected()) {
        qCDebug(lcPower) << "no session bus; display may sleep";
        return false;
    }
    // Asking first keeps a desktop without the service from costing the
    // whole call timeout at every start.
    QDBusConnectionInterface* busInterface = m_bus.interface();
    if (!busInterface || !busInterface->isServiceRegistered(QString::fromLatin1(kService)).value()) {
        qCDebug(lcPower) << "screen saver service not on the bus";
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kInterface), QStringLiteral("Inhibit"));
    call << application << reason;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, m_timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCDebug(lcPower) << "Inhibit failed:" << reply.errorName() << reply.errorMessage();
        return false;
    }
    bool ok = false;
    const uint cookie = reply.arguments().constFirst().toUInt(&ok);
    if (!ok) {
        qCDebug(lcPower) << "Inhibit answered without a cookie";
        return false;
    }
    m_cookie = cookie;
    m_held = true;
    return true;
}

void PowerInhibitor::release()
{
    if (!m_held)
        return;
    m_held = false;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kInterface), QStringLiteral("UnInhibit"));
    call << m_cookie;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, m_timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qCDebug(lcPower) << "UnInhibit failed:" << reply.errorName() << reply.errorMessage();
    m_cookie = 0;
}
