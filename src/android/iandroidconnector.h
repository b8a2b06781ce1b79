// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"

#include <QString>

// How the Android threads reach the companion app of one phone: make the
// phone ready, ask the app to open its sync service on a port the computer
// chose, and name the host to connect to on that port. Direction words follow
// the phone's view: "backup" sends the phone's contacts to the computer,
// "restore" sends contacts to the phone. Every failure is an exception
// derived from std::exception; calls block and belong on a worker thread.
class IAndroidConnector {
public:
    virtual ~IAndroidConnector() = default;

    virtual void initialCheck() = 0;
    virtual QString startBackup(int port) = 0;
    virtual QString startRestore(int port) = 0;
    virtual QString logcat() = 0;
};
