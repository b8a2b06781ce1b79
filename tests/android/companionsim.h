// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the simulated companion app (companionsim.py, see its help for the
// scenario JSON and the fault knobs) for a test: an in-memory phone on a
// loopback address of its own, chosen when it starts, so tests - of this run
// or of another running at the same time - never share the fixed WiFi port.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>

// The rows of a golden table in tests/android/data: its non-comment lines,
// each split at "|" into trimmed columns.
QList<QStringList> goldenTable(const QString& name);

class CompanionSim {
public:
    // This computer's own loopback address, where an ADB forward reaches
    // the phone's app; listeners on port 0 never find it taken.
    static constexpr const char* kLocalHost = "127.0.0.1";

    // `preferred` is the address to try first; by default any free one.
    explicit CompanionSim(QString preferred = QStringLiteral("any"))
        : m_preferred(std::move(preferred))
    {
    }
    ~CompanionSim();

    // Starts the phone listening as asked ("backup", "restore", "raw",
    // "wifi", "closed", ..., each optionally ":port") and returns the ports
    // in that order; address() is then where it listens, which is another
    // one than preferred when a port was taken there. Throws
    // std::runtime_error when the script does not report ready.
    QList<quint16> start(const QJsonObject& scenario, const QStringList& listens);
    // The phone's state once `endedConversations` conversations have ended
    // and none runs (a hang-up reaches the phone a moment after the computer
    // sends it): its records with their ids, and every line (raw mode:
    // every chunk) it received.
    QJsonObject dump(int endedConversations = 0);
    // Empty before start().
    QString address() const { return m_address; }

private:
    QString readReply(const char* prefix);

    QString m_preferred;
    QString m_address;
    QProcess m_process;
};
