// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/adb/adbmessage.h"
#include "platform/adb/adbusbhandle.h"

#include <QByteArray>
#include <QString>

class QThreadPool;

// Library-wide settings; set them before the first poller starts.
struct AdbSettings {
    // Where the computer's ADB key lives (the program's data folder).
    QString keyFolder;
    // How long any single wait on a phone may last: an answer to OPEN, the
    // OKAY for a write, the next bytes of a stream.
    int ioTimeoutMs = 10000;
    // A forward listener with no connection for this long is closed.
    int forwardIdleMs = 10 * 60 * 1000;
    // Largest shell output kept; the rest fails the call.
    int maxShellOutput = 64 * 1024 * 1024;
};
void adbSetSettings(const AdbSettings& settings);
AdbSettings adbSettings();

// The pool on which every connection reader and forward pump runs. After the
// pollers are stopped it drains within the I/O timeout.
QThreadPool* adbThreadPool();

// Runs command in the phone's shell ("shell:" service, plain output) and
// returns what it printed. ok (true when the command ran to its end), error
// (why not) and code (an AdbErrorCode) may be null. On failure the output read
// so far is returned.
QByteArray adbShell(PAdbUSBHandle handle, QString command, bool* ok = nullptr,
                    QString* error = nullptr, int* code = nullptr);

// Pushes the local APK to /data/local/tmp, runs "pm install <options>" on it
// and removes the copy. options may hold only dash options ("-r"). On false
// error holds the reason: the phone's "Failure [...]" line or the link error.
bool adbInstallLegacy(PAdbUSBHandle handle, QString apkPath, QString options, QString* error);

// Quotes one argument for the phone's shell: 'it'\''s'.
QString adbShellQuote(const QString& argument);
