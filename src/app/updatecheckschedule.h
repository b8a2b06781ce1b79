// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// When the automatic update check runs: at most once a day, remembered in
// the data folder's file "last-check-version-time" (seconds since 1970).
class UpdateCheckSchedule {
public:
    static constexpr const char* kTimeFileName = "last-check-version-time";
    static constexpr unsigned kMinInterval = 86401;

    // False only when the file holds a time other than 0 that lies less than
    // kMinInterval seconds before now. A missing or unreadable file, or text
    // that is no number, means the check is due.
    static bool isDue(const QString& timeFilePath, qint64 nowSecs);
};
