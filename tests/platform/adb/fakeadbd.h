// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs fakeadbd.py (a simulated phone's adbd on 127.0.0.1) for a test, and
// connects the library to it through an AdbEmuPoll pointed at its port.
#include "platform/adb/adbpoll.h"
#include "support/timebounds.h"

#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <memory>

class FakeAdbd {
public:
    // Starts the simulator with config (see fakeadbd.py) and waits for its
    // "ready <port>" line; port() is 0 when it did not come.
    explicit FakeAdbd(const QJsonObject& config = QJsonObject());
    ~FakeAdbd();
    quint16 port() const { return m_port; }
    // Every event line so far.
    QStringList log();
    // Waits until a line equal to line (or starting with it, when prefix) came.
    bool waitForLog(const QString& line, int timeoutMs = timebound::kWaitMs, bool prefix = false);

private:
    QProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
    quint16 m_port = 0;
};

// A simulated phone and the handle the library made for it.
struct FakePhone {
    explicit FakePhone(const QJsonObject& config = QJsonObject());
    ~FakePhone();
    FakeAdbd sim;
    std::unique_ptr<AdbEmuPoll> poll;
    // Null when the poller found nothing or could not open the phone. The
    // first phone of a key folder waits for the key's making: an RSA key's
    // primes take seconds on a loaded machine.
    PAdbUSBHandle handle;
};
