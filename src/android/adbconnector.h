// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/iandroidconnector.h"
#include "platform/adb/padbusbhandle.h"

#include <QString>
#include <QtGlobal>

// Makes localPort on 127.0.0.1 lead to remotePort on the phone. Returns the
// local port that listens, 0 on failure with the reason in error (may be
// null).
quint16 adbForward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString* error);

// Reaches the companion app of a phone on USB through the ADB client: installs
// the app when the phone lacks it, starts its sync service with a broadcast,
// and forwards the chosen port, so the service is found at 127.0.0.1.
//
// A connector built with a null handle stands for a saved device database: it
// reaches no phone, and a start request fails with kNotConnectedText rather
// than naming 127.0.0.1, where anything else might be listening.
//
// Every operation blocks (it waits for the phone to take an install or a
// start request) and belongs on a worker thread; failures are Error.
class AdbConnector : public IAndroidConnector {
public:
    static constexpr const char* kPackage = "com.quorvantile.contactssync";
    static constexpr const char* kApkResource = ":/res/com.quorvantile.contactssync.apk";
    static constexpr const char* kApkFileName = "com.quorvantile.contactssync.apk";
    static constexpr const char* kHost = "127.0.0.1";
    static constexpr const char* kNotConnectedText = "The phone is not connected. Connect it and try again.";

    // How long the connector leaves the phone after an install and after a
    // start request. Tests shorten them; the program keeps the defaults.
    struct Waits {
        int afterInstallMs = 5000;
        int afterStartMs = 3000;
    };
    static void setWaits(const Waits& waits);
    static Waits waits();

    explicit AdbConnector(PAdbUSBHandle handle);
    ~AdbConnector() override;

    // Installs the companion app (from the package embedded in the program,
    // copied to the data folder first) unless the phone lists it among its
    // own packages. Does nothing without a handle or when the listing is
    // empty. Throws Error "Can not install com.quorvantile.contactssync. ..."
    // when this build carries no package or the phone refuses it; a listing
    // that did not finish fails with its own Error, never as a missing app.
    void initialCheck() override;
    // Starts the app, forwards port, asks the service to open it for a
    // backup (phone to computer) or a restore (computer to phone), waits and
    // returns the host to connect to on port. Throws Error without a handle
    // or when the port cannot be forwarded.
    QString startBackup(int port) override;
    QString startRestore(int port) override;
    // The phone's log, or empty text without a handle.
    QString logcat() override;

private:
    QString startService(const QString& direction, int port);

    PAdbUSBHandle m_handle;
};
