// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Fixed commands in a phone's shell and the values read from their output.
// Arguments we add (package names, paths) are single-quoted for the phone's
// shell. A command that did not run to its end (the link failed, the phone
// stopped answering) throws Error naming the command and why; a command that
// ran and printed nothing gives empty text, and the parsers then give an
// empty or zero result.
#include "platform/adb/adbusbhandle.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

namespace adbhelper {

// Which packages `packages` lists.
enum LIST_PACKAGE_FLAGS {
    PACKAGES_SYSTEM = 0,       // "-s"
    PACKAGES_THIRD_PARTY = 1,  // "-3"
    PACKAGES_ALL = 2,          // no option
};

// A package's state for one user of the phone, from "dumpsys package".
struct _AdbAppState {
    QString userId;
    bool installed = false;
    bool hidden = false;
    bool stopped = false;
    bool notLaunched = false;
    int enabled = 0;
};

// The output of any command, up to its first NUL.
QByteArray shellOutput(const PAdbUSBHandle& handle, const QString& command);
// "logcat -d": the phone's log, as UTF-8.
QString logcatd(PAdbUSBHandle handle);
// "am force-stop <package>".
void killProcess(PAdbUSBHandle handle, QString package);
// "cp <from> <to>"; returns what cp printed.
QString cpFile(PAdbUSBHandle handle, QString from, QString to);
// "dumpsys package <package>": the first versionCode in it, 0 without one;
// output receives the whole dump.
int getDevAppVersion(PAdbUSBHandle handle, const QString& package, QString& output);
// One record per "User N:" line of the package's dump, in order.
QList<_AdbAppState> appStates(PAdbUSBHandle handle, const QString& package);
// "cat /system/build.prop" as property name to value.
QHash<QString, QString> adbSysBuildInfo(PAdbUSBHandle handle);
// "pm list packages [-s|-3]": the package names.
QSet<QString> packages(PAdbUSBHandle handle, LIST_PACKAGE_FLAGS flags);

// The parsers behind the calls above, on output already read.
QSet<QString> parsePackages(const QString& output);
int parseVersionCode(const QString& output);
QList<_AdbAppState> parseAppStates(const QString& output);
QHash<QString, QString> parseBuildProperties(const QString& output);

}  // namespace adbhelper
