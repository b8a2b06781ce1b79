// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the simulated companion app (companionsim.py) for a test: an in-memory
// phone on its own loopback address, so tests never share a port.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

class QTcpSocket;

// What a call did, as text for a test table: its result, or the class and
// text of its failure ("remote: ...", "transfer: ...", "cancelled").
QString outcomeOf(const std::function<QString()>& call);
// True when text matches pattern, in which each "*" stands for any text.
bool matchesWildcard(const QString& text, const QString& pattern);

class CompanionSim {
public:
    // address: 127.0.0.N, one per test, so the fixed WiFi port never clashes.
    explicit CompanionSim(QString address = QStringLiteral("127.0.0.1"));
    ~CompanionSim();

    // Starts the phone with the scenario (see the script's help) listening as
    // asked ("backup", "restore", "raw", "wifi", each optionally ":port") and
    // returns the ports in that order; throws std::runtime_error when the
    // script does not report ready within 10 s.
    QList<quint16> start(const QJsonObject& scenario, const QStringList& listens);
    // The phone's state once no conversation runs: contacts with their
    // records, and every line (raw mode: every chunk) received.
    QJsonObject dump();
    // Connects the socket to a port of the phone within 5 s, or throws.
    void connect(QTcpSocket& socket, quint16 port) const;
    QString address() const { return m_address; }

private:
    QString readReply(const QString& prefix);

    QString m_address;
    QProcess m_process;
};
