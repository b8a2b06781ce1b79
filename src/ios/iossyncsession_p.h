// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ios/mobiledevicesync.h"

#include <QDateTime>

namespace iossync {

// One contact sync run of a worker: started with the data class
// "com.apple.Contacts" and released on every way out of the scope.
class Session {
public:
    Session() = default;
    ~Session() { client.release(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void start(const QString& udid)
    {
        mobiledevice_sync_start_throw(
            udid,
            _mobiledevice_sync_ctx(QStringLiteral("com.apple.Contacts"), QStringLiteral("---"),
                                   QDateTime::currentDateTime().toString(Qt::ISODate)),
            client);
    }

    mobiledevice_sync_client client;
};

} // namespace iossync
