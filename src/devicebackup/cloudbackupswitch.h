// SPDX-License-Identifier: GPL-3.0-or-later
// The phone's switch for backing up to the cloud, flipped through its backup
// service. Nothing in the program calls it.
#pragma once

#include "devicebackup/backup2transport.h"

#include <QString>

// Asks the phone `udid` to turn its backup to the cloud on (enable) or off:
// the backup service's request "EnableCloudBackup" with the option
// CloudBackupState. True when the phone confirmed; otherwise false, with
// *error (when given) naming the failing call and its code, or the phone's
// own words. Blocks while the phone answers (at most a few of the library's
// receive timeouts): call it on a worker thread. The link is the library's
// connection unless `transport` gives another.
bool enableOrDisableICloudBackup(const QString& udid, bool enable, QString* error = nullptr,
                                 const Backup2TransportFactory& transport = {});
