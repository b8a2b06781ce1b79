// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/cloudbackupswitch.h"

#include "devicebackup/devicebackuplog.h"

namespace {

// The phone answers the request with one message; a phone that keeps
// silent is given up on after this many of the library's receive timeouts.
constexpr int kMaxSilentReceives = 2;
constexpr int kReceiveTimeout = -5;

// The whole exchange; empty when the phone confirmed, else what failed.
QString switchCloudBackup(Backup2Transport& link, const QString& udid, bool enable)
{
    auto failed = [](const char* call, int code) {
        return QStringLiteral("%1 failed. return %2.").arg(QLatin1String(call)).arg(code);
    };
    if (const int r = link.openDevice(udid); r != 0)
        return failed("idevice_new_with_options", r);
    if (const int r = link.openLockdown(); r != 0)
        return failed("lockdownd_client_new_with_handshake", r);
    if (const int r = link.startService(); r != 0)
        return failed("mobilebackup2_client_start_service", r);
    if (const int r = link.exchangeVersion(); r != 0)
        return failed("mobilebackup2_version_exchange", r);
    const PlistCFType options = PlistCFType::createCFDictionary().put(
        QStringLiteral("CloudBackupState"), PlistCFType::createCFBoolean(enable));
    if (const int r = link.sendRequest(QStringLiteral("EnableCloudBackup"), udid, options); r != 0)
        return failed("mobilebackup2_send_request", r);

    for (int silent = 0;;) {
        PlistCFType message;
        QString name;
        const int r = link.receiveMessage(message, name);
        if (r == kReceiveTimeout && ++silent < kMaxSilentReceives)
            continue;
        if (r != 0)
            return failed("mobilebackup2_receive_message", r);
        if (name == QLatin1String("DLMessageDisconnect"))
            return QStringLiteral("The phone ended the session without an answer.");
        // Anything else, such as a file request, has no place in this exchange.
        if (name != QLatin1String("DLMessageProcessMessage"))
            return QStringLiteral("The phone answered with %1 instead of a result.").arg(name);
        const PlistCFType result = message.at(1);
        const qint64 code = result.get(QStringLiteral("ErrorCode")).CFNumberInt64(-1);
        if (code == 0)
            return QString();
        const QString words = result.get(QStringLiteral("ErrorDescription")).CFStringQString();
        return QStringLiteral("The phone refused, error code %1. %2").arg(code).arg(words).trimmed();
    }
}

} // namespace

bool enableOrDisableICloudBackup(const QString& udid, bool enable, QString* error,
                                 const Backup2TransportFactory& transport)
{
    std::unique_ptr<Backup2Transport> link = transport ? transport() : std::make_unique<Mobilebackup2Transport>();
    QString failure = QStringLiteral("No device found.");
    if (link) {
        failure = switchCloudBackup(*link, udid, enable);
        link->close();
    }
    if (failure.isEmpty()) {
        qCInfo(lcDeviceBackup) << "cloud backup turned" << (enable ? "on" : "off");
        return true;
    }
    qCWarning(lcDeviceBackup) << "cloud backup switch:" << failure;
    if (error)
        *error = failure;
    return false;
}
