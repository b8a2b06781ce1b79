// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QString>

// Keeps the display awake while the program runs, through the desktop's
// screen saver service on the session bus. When the bus or the service is
// missing, or the call fails, no inhibition is held and nothing is reported:
// the program runs on as it would without one.
class PowerInhibitor {
public:
    explicit PowerInhibitor(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                            int callTimeoutMs = 2000);
    ~PowerInhibitor();
    PowerInhibitor(const PowerInhibitor&) = delete;
    PowerInhibitor& operator=(const PowerInhibitor&) = delete;

    // Asks the service to inhibit the screen saver; true when it granted a
    // cookie. A second call while held keeps the first inhibition.
    bool inhibit(const QString& application, const QString& reason);
    // Gives the inhibition back; does nothing when none is held.
    void release();
    bool isHeld() const { return m_held; }

private:
    QDBusConnection m_bus;
    int m_timeoutMs;
    quint32 m_cookie = 0;
    bool m_held = false;
};
