#include "ios/mobiledevicesync.h"

#include "ios/mobiledevice.h"
#include "platform/mobilesync/mobilesync_nocheck.h"

#include <QCoreApplication>

#include <cstdlib>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString& text)
{
    qCWarning(lcIosDevice).noquote() << text;
    throw std::runtime_error(text.toUtf8().toStdString());
}

void check(int code, const char* step)
{
    if (code != 0)
        fail(QStringLiteral("%1 failed. return %2.").arg(QLatin1String(step)).arg(code));
}

// What the user can do about a lockdown refusal, or empty when there is nothing to say.
QString lockdownAdvice(int code)
{
    switch (code) {
    case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING:
        return QCoreApplication::translate("mobiledevice", "The iPhone is asking whether to trust this computer: "
                                                           "unlock it, tap Trust and connect it again.");
    case LOCKDOWN_E_USER_DENIED_PAIRING:
        return QCoreApplication::translate("mobiledevice", "This computer was not trusted on the iPhone: "
                                                           "reconnect the iPhone and tap Trust.");
    case LOCKDOWN_E_PASSWORD_PROTECTED:
        return QCoreApplication::translate("mobiledevice", "The iPhone is locked with a passcode: unlock it and "
                                                           "try again.");
    case LOCKDOWN_E_INVALID_HOST_ID:
        return QCoreApplication::translate("mobiledevice", "The iPhone no longer knows this computer: reconnect it "
                                                           "and tap Trust.");
    default:
        return QString();
    }
}

// Starts the contact sync service. This is the library's own
// mobilesync_client_start_service spelled out, so that a refusal of the lockdown
// service keeps its code (trust pending, denied, passcode) instead of a generic one.
int startService(iDevice& dev, mobilesync_client_t* client)
{
    if (const int code = dev.lockdowndWithHandshake(); code != 0)
        return code;
    lockdownd_service_descriptor_t service = nullptr;
    if (const int code = lockdownd_start_service(dev.lockdownClient, MOBILESYNC_SERVICE_NAME, &service); code != 0)
        return code;
    const int code = mobilesync_client_new(dev.device, service, client);
    lockdownd_service_descriptor_free(service);
    return code;
}

} // namespace

void mobiledevice_sync_client::release()
{
    if (client)
        mobilesync_client_free(client);
    client = nullptr;
    dataClass.clear();
}

void mobiledevice_sync_start_throw(const QString& udid, const _mobiledevice_sync_ctx& ctx,
                                   mobiledevice_sync_client& client)
{
    iDevice dev(udid);
    if (const int code = dev.newDevice(); code != 0)
        fail(QStringLiteral("mobiledevice_sync_start_throw: open device failed. return %1.").arg(code));
    if (const int code = startService(dev, &client.client); code != 0) {
        client.release();
        const QString advice = lockdownAdvice(code);
        fail(QStringLiteral("mobiledevice_sync_start_throw: start service failed. return %1.").arg(code)
             + (advice.isEmpty() ? QString() : QLatin1Char(' ') + advice));
    }
    const QByteArray dataClass = ctx.dataClass.toUtf8();
    mobilesync_anchors_t anchors =
        mobilesync_anchors_new(ctx.deviceAnchor.toUtf8().constData(), ctx.computerAnchor.toUtf8().constData());
    mobilesync_sync_type_t syncType = MOBILESYNC_SYNC_TYPE_FAST;
    uint64_t deviceVersion = 0;
    char* description = nullptr;
    const int code =
        mobilesync_start(client.client, dataClass.constData(), anchors, 106, &syncType, &deviceVersion, &description);
    if (anchors)
        mobilesync_anchors_free(anchors);
    const QString text = QString::fromUtf8(description ? description : "");
    free(description);
    if (code != 0) {
        client.release();
        fail(QStringLiteral("mobiledevice_sync_start_throw: start failed. return %1. %2").arg(code).arg(text));
    }
    client.dataClass = dataClass;
}

void mobiledevice_sync_start_recv_all_records_throw(mobiledevice_sync_client& client)
{
    if (client.client)
        check(mobilesync_get_all_records_from_device(client.client), "mobilesync_get_all_records_from_device");
}

void mobiledevice_sync_start_send_to_device_throw(mobiledevice_sync_client& client)
{
    if (client.client)
        check(mobilesync_ready_to_send_changes_from_computer_nocheck(client.client),
              "mobilesync_ready_to_send_changes_from_computer");
}

bool mobiledevice_sync_record_next_throw(mobiledevice_sync_client& client, PlistCFType& records,
                                         PlistCFType* actions)
{
    if (!client.client)
        return false;
    plist_t entities = nullptr, actionsNode = nullptr;
    uint8_t isLast = 0;
    const int code = mobilesync_receive_changes(client.client, &entities, &isLast, &actionsNode);
    if (code != 0) {
        plist_free(entities);
        plist_free(actionsNode);
        check(code, "mobilesync_receive_changes");
    }
    records = PlistCFType(entities, true);
    if (actions)
        *actions = PlistCFType(actionsNode, true);
    else
        plist_free(actionsNode);
    check(mobilesync_acknowledge_changes_from_device(client.client), "mobilesync_acknowledge_changes_from_device");
    return isLast == 0;
}

PlistCFType mobiledevice_sync_send_throw(mobiledevice_sync_client& client, const PlistCFType& records, bool isLast,
                                         const PlistCFType& actions)
{
    if (!client.client)
        return PlistCFType();
    check(mobilesync_send_changes_nocheck(client.client, client.dataClass.constData(),
                                          static_cast<plist_t>(records.ref()), isLast,
                                          static_cast<plist_t>(actions.ref())),
          "mobilesync_send_changes");
    plist_t mapping = nullptr;
    check(mobilesync_remap_identifiers_nocheck(client.client, &mapping), "mobilesync_remap_identifiers");
    return PlistCFType(mapping, true);
}

void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client& client)
{
    if (client.client)
        check(mobilesync_finish(client.client), "mobilesync_finish");
}

bool mobiledevice_sync_set_tethered_throw(const QString& udid, const QString& dataClassName, bool disable)
{
    PlistCFType value = PlistCFType::createCFDictionary();
    value.put(QStringLiteral("DisableTethered"), PlistCFType::createCFBoolean(disable));
    return mobiledevice_set(udid, QStringLiteral("com.apple.mobile.tethered_sync"), dataClassName, value);
}
