// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/iandroidconnector.h"

#include <QString>

#include <exception>

// The phone's WiFi service could not be reached at all.
class WifiServiceTimeoutException : public std::exception {
public:
    const char* what() const noexcept override { return "WifiServiceTimeoutException"; }
};

// The address turned the connection down at once: nothing listens on the
// service's port there. A kind of the above, so a caller that does not tell
// the two apart still takes it as unreachable.
class WifiServiceRefusedException : public WifiServiceTimeoutException {
public:
    const char* what() const noexcept override { return "WifiServiceRefusedException"; }
};

// Reaches the companion app of a phone on the local network through the
// app's WiFi service (port 48888): a greeting names the phone, and each start
// request asks the app to open its sync service on a port of the phone's own
// address, which is then the host to connect to.
//
// Every operation blocks; waits are bounded, and end at once with
// simpleprotocol::OperationCancelled when the calling job is cancelled
// (ThreadCancelScope). Failures other than WifiServiceTimeoutException are
// exceptions derived from std::runtime_error.
class AndroidWifiConnector : public IAndroidConnector {
public:
    // How long the connector waits for the service to connect, for its answer
    // to the greeting, and after a start request. Tests shorten them; the
    // program keeps the defaults.
    struct Waits {
        int connectMs = 15000;
        int answerMs = 15000;
        int afterStartMs = 3000;
    };
    static void setWaits(const Waits& waits);
    static Waits waits();

    AndroidWifiConnector();
    ~AndroidWifiConnector() override;

    // Keeps ip as the phone's address, greets the service there and keeps
    // the identifier it answers with (helloText(), the phone's device id, as
    // received). Throws WifiServiceRefusedException when the address refuses
    // the connection, WifiServiceTimeoutException when nothing accepts it in
    // time; the line protocol's exceptions for a stalled or refusing
    // service; Error when the answer is no greeting or names no phone.
    void initialize(QString ip);
    QString helloText() const { return m_helloText; }
    QString address() const { return m_address; }

    // Nothing to prepare: the user started the app to learn its address.
    void initialCheck() override {}
    // Asks the service to open port for a backup (phone to computer) or a
    // restore (computer to phone), waits and returns the phone's address.
    // Throws Error when the service cannot be reached.
    QString startBackup(int port) override;
    QString startRestore(int port) override;
    QString logcat() override { return QString(); }

private:
    QString startService(const QString& command, int port);

    QString m_address;
    QString m_helloText;
};
