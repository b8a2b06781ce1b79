// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The file name of a phone's device cache database. Device ids come from
// the phone (over USB or the network) and may hold anything: letters,
// digits, '.', '_' and '-' stay, every other byte of the UTF-8 text becomes
// %XX, and the names "", "." and ".." become "%", "%2E" and "%2E%2E". So
// the name never leaves its folder, and two ids never share a file.
QString deviceCacheFileName(const QString& deviceId);

// The path of that file in the folder `folderName` ("ios_cache",
// "android_cache") of the data folder, which is created when missing.
QString deviceCachePath(const QString& folderName, const QString& deviceId);

// The local TCP port of the next companion-app connection: 10000 + (minute
// mod 4) x 10000 + second x 100 + a counter running 1 to 99 (from a random
// start), so ports of connections made close together differ; a port taken
// on the loopback is passed over. GUI thread only.
int portAlloc();
