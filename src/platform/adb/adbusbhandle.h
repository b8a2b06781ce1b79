// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QSharedPointer>
#include <QString>

#include <memory>

class AdbKey;
class AdbSession;
class AdbTransport;

// One phone reached over ADB, USB or TCP. The handle exists from the moment
// the link is open; the connection and authorisation exchange runs at once on
// the library's pool, so the user's answer on the phone is taken whenever it
// comes. Copies of PAdbUSBHandle share the one connection; the last copy to
// go closes it. Every member may be called from any thread.
class AdbUSBHandle {
public:
    enum class State {
        Connecting,      // link open, waiting for the phone's CONNECT or a signature check
        WaitingForUser,  // our public key was sent; the phone shows its prompt
        Online,          // the phone accepted this computer
        Offline,         // the link ended; errorString() says why
    };

    AdbUSBHandle(const QString& deviceId, std::unique_ptr<AdbTransport> transport,
                 std::shared_ptr<AdbKey> key);
    virtual ~AdbUSBHandle();
    AdbUSBHandle(const AdbUSBHandle&) = delete;
    AdbUSBHandle& operator=(const AdbUSBHandle&) = delete;

    // The phone's serial number (USB) or "host:port" (TCP), as received.
    virtual QString deviceId() const;
    // Waits up to timeoutMs for the phone to accept this computer; true once
    // it has. Returns false at once when the link has ended.
    bool waitForAuth2(int timeoutMs);
    State state() const;
    QString errorString() const;
    // The phone's CONNECT banner ("device::ro.product.name=...;").
    QString banner() const;
    // Ends the link; calls in progress fail soon after.
    void close();

    std::shared_ptr<AdbSession> session() const { return m_session; }

private:
    QString m_deviceId;
    std::shared_ptr<AdbSession> m_session;
};

typedef QSharedPointer<AdbUSBHandle> PAdbUSBHandle;
Q_DECLARE_METATYPE(PAdbUSBHandle)
