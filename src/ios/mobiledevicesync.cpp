#include "ios/mobiledevicesync.h"

#include "ios/mobiledevice.h"
#include "platform/mobilesync/devicelink.h"

#include <QCoreApplication>

#include <atomic>
#include <memory>

namespace {

const char kEmptyParameter[] = "___EmptyParameterString___";

// Clients are made on the workers' threads.
std::atomic<int> g_defaultAnswerTimeoutMs{30000};

[[noreturn]] void fail(const QString& text, MobileSyncError::Kind kind, int code, const QString& detail = QString())
{
    qCWarning(lcIosDevice).noquote() << text << detail;
    throw MobileSyncError(text, kind, code, detail);
}

MobileSyncError::Kind kindOfCode(int code)
{
    switch (code) {
    case MOBILESYNC_E_PLIST_ERROR: return MobileSyncError::Garbage;
    case MOBILESYNC_E_RECEIVE_TIMEOUT: return MobileSyncError::Timeout;
    case MOBILESYNC_E_SYNC_REFUSED: return MobileSyncError::Refused;
    case MOBILESYNC_E_CANCELLED: return MobileSyncError::PhoneCancelled;
    case kDeviceLinkStopped: return MobileSyncError::Stopped;
    case MOBILESYNC_E_BAD_VERSION: return MobileSyncError::WrongMessage;
    default: return MobileSyncError::LinkLost;
    }
}

void check(int code, const char* step)
{
    if (code != 0)
        fail(QStringLiteral("%1 failed. return %2.").arg(QLatin1String(step)).arg(code), kindOfCode(code), code);
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

MobileSyncError::Kind kindOfLockdownCode(int code)
{
    switch (code) {
    case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING: return MobileSyncError::TrustPending;
    case LOCKDOWN_E_USER_DENIED_PAIRING: return MobileSyncError::TrustDenied;
    case LOCKDOWN_E_PASSWORD_PROTECTED: return MobileSyncError::Locked;
    case LOCKDOWN_E_INVALID_HOST_ID: return MobileSyncError::NotTrusted;
    default: return MobileSyncError::NoService;
    }
}

// A message of two texts: a name and the data class.
PlistNodePtr message(const char* name, const QByteArray& second)
{
    PlistNodePtr msg(plist_new_array());
    plist_array_append_item(msg.get(), plist_new_string(name));
    plist_array_append_item(msg.get(), plist_new_string(second.constData()));
    return msg;
}

// Receives the phone's answer to `step`, which has to be named `expected`. The
// phone's own goodbye and cancel are failures of their own; so is any other message.
PlistNodePtr receiveAnswer(mobiledevice_sync_client& client, const char* step, const char* expected)
{
    plist_t received = nullptr;
    check(client.client->receive(&received, client.answerTimeoutMs), step);
    PlistNodePtr msg(received);
    const QString name = QString::fromStdString(deviceLinkMessageName(msg.get()));
    const QString failed = QStringLiteral("%1 failed. return %2.").arg(QLatin1String(step));
    if (name == QLatin1String("DLMessageDisconnect"))
        fail(failed.arg(MOBILESYNC_E_CANCELLED), MobileSyncError::PhoneEnded, MOBILESYNC_E_CANCELLED,
             PlistCFType(plist_array_get_item(msg.get(), 1)).CFStringQString());
    if (name == QLatin1String("SDMessageCancelSession"))
        fail(failed.arg(MOBILESYNC_E_CANCELLED), MobileSyncError::PhoneCancelled, MOBILESYNC_E_CANCELLED,
             PlistCFType(plist_array_get_item(msg.get(), 2)).CFStringQString());
    if (name != QLatin1String(expected))
        fail(failed.arg(MOBILESYNC_E_PLIST_ERROR), MobileSyncError::WrongMessage, MOBILESYNC_E_PLIST_ERROR,
             name.isEmpty() ? QStringLiteral("(no message name)") : name);
    return msg;
}

// The slot `index` of msg when it is a dictionary; the null value for the empty
// parameter; a failure naming the message for anything else.
PlistCFType dictionarySlot(plist_t msg, uint32_t index, const char* step)
{
    plist_t slot = plist_array_get_item(msg, index);
    if (slot && plist_get_node_type(slot) == PLIST_DICT)
        return PlistCFType(plist_copy(slot), true);
    if (PlistCFType(slot).CFStringQString() == QLatin1String(kEmptyParameter))
        return PlistCFType();
    fail(QStringLiteral("%1 failed. return %2.").arg(QLatin1String(step)).arg(MOBILESYNC_E_PLIST_ERROR),
         MobileSyncError::WrongMessage, MOBILESYNC_E_PLIST_ERROR,
         QString::fromStdString(deviceLinkMessageName(msg)));
}

void sendMessage(mobiledevice_sync_client& client, plist_t msg, const char* step)
{
    check(client.client->send(msg), step);
}

} // namespace

int mobiledevice_sync_client::defaultAnswerTimeoutMs()
{
    return g_defaultAnswerTimeoutMs.load();
}

void mobiledevice_sync_client::setDefaultAnswerTimeoutMs(int ms)
{
    g_defaultAnswerTimeoutMs.store(ms);
}

void mobiledevice_sync_client::release()
{
    delete client;
    client = nullptr;
    dataClass.clear();
}

void mobiledevice_sync_start_throw(const QString& udid, const _mobiledevice_sync_ctx& ctx,
                                   mobiledevice_sync_client& client)
{
    const QString step = QStringLiteral("mobiledevice_sync_start_throw: ");
    iDevice dev(udid);
    if (const int code = dev.newDevice(); code != 0)
        fail(step + QStringLiteral("open device failed. return %1.").arg(code), MobileSyncError::NotFound, code);
    // The library's own lockdown steps, so that a refusal keeps its code (trust
    // pending, denied, passcode) instead of a generic one.
    lockdownd_service_descriptor_t service = nullptr;
    int code = dev.lockdowndWithHandshake();
    if (code == 0)
        code = lockdownd_start_service(dev.lockdownClient, MOBILESYNC_SERVICE_NAME, &service);
    if (code != 0) {
        client.release();
        const QString advice = lockdownAdvice(code);
        fail(step + QStringLiteral("start service failed. return %1.").arg(code)
                 + (advice.isEmpty() ? QString() : QLatin1Char(' ') + advice),
             kindOfLockdownCode(code), code);
    }
    client.release();
    client.client = new DeviceLink;
    client.client->stop = client.stop;
    code = client.client->open(dev.device, service, kContactSyncLinkVersion);
    lockdownd_service_descriptor_free(service);
    if (code == MOBILESYNC_E_BAD_VERSION) {
        const QString announced = QString::number(client.client->announcedMajor());
        client.release();
        fail(step
                 + QStringLiteral("version exchange failed. return %1. The iPhone announced device link version %2; "
                                  "%3 is the newest this program speaks.")
                       .arg(code)
                       .arg(announced)
                       .arg(kContactSyncLinkVersion),
             MobileSyncError::NewerVersion, code, announced);
    }
    if (code != 0) {
        client.release();
        fail(step + QStringLiteral("version exchange failed. return %1.").arg(code),
             code == MOBILESYNC_E_PLIST_ERROR ? MobileSyncError::WrongMessage : kindOfCode(code), code,
             QStringLiteral("DLMessageVersionExchange"));
    }

    const QByteArray dataClass = ctx.dataClass.toUtf8();
    PlistNodePtr msg = message("SDMessageSyncDataClassWithDevice", dataClass);
    plist_array_append_item(msg.get(), plist_new_string(ctx.deviceAnchor.toUtf8().constData()));
    plist_array_append_item(msg.get(), plist_new_string(ctx.computerAnchor.toUtf8().constData()));
    plist_array_append_item(msg.get(), plist_new_uint(106));
    plist_array_append_item(msg.get(), plist_new_string(kEmptyParameter));
    try {
        check(client.client->send(msg.get()), "mobiledevice_sync_start_throw: start");
        plist_t received = nullptr;
        check(client.client->receive(&received, client.answerTimeoutMs), "mobiledevice_sync_start_throw: start");
        PlistNodePtr answer(received);
        const QString name = QString::fromStdString(deviceLinkMessageName(answer.get()));
        const QString reason = PlistCFType(plist_array_get_item(answer.get(), 2)).CFStringQString();
        const QString failed = step + QStringLiteral("start failed. return %1. %2");
        if (name == QLatin1String("SDMessageRefuseToSyncDataClassWithComputer"))
            fail(failed.arg(MOBILESYNC_E_SYNC_REFUSED).arg(reason), MobileSyncError::Refused,
                 MOBILESYNC_E_SYNC_REFUSED, reason);
        if (name == QLatin1String("SDMessageCancelSession"))
            fail(failed.arg(MOBILESYNC_E_CANCELLED).arg(reason), MobileSyncError::PhoneCancelled,
                 MOBILESYNC_E_CANCELLED, reason);
        if (name == QLatin1String("DLMessageDisconnect"))
            fail(failed.arg(MOBILESYNC_E_CANCELLED).arg(QString()), MobileSyncError::PhoneEnded,
                 MOBILESYNC_E_CANCELLED, PlistCFType(plist_array_get_item(answer.get(), 1)).CFStringQString());
        if (name != QLatin1String("SDMessageSyncDataClassWithComputer"))
            fail(failed.arg(MOBILESYNC_E_PLIST_ERROR).arg(QString()), MobileSyncError::WrongMessage,
                 MOBILESYNC_E_PLIST_ERROR, name.isEmpty() ? QStringLiteral("(no message name)") : name);
    } catch (const MobileSyncError&) {
        client.release();
        throw;
    }
    client.dataClass = dataClass;
}

void mobiledevice_sync_start_recv_all_records_throw(mobiledevice_sync_client& client)
{
    if (client.client)
        sendMessage(client, message("SDMessageGetAllRecordsFromDevice", client.dataClass).get(),
                    "mobilesync_get_all_records_from_device");
}

void mobiledevice_sync_start_send_to_device_throw(mobiledevice_sync_client& client)
{
    if (!client.client)
        return;
    sendMessage(client, message("DLMessagePing", "Preparing to get changes for device").get(),
                "mobilesync_ready_to_send_changes_from_computer");
}

bool mobiledevice_sync_record_next_throw(mobiledevice_sync_client& client, PlistCFType& records,
                                         PlistCFType* actions)
{
    if (!client.client)
        return false;
    PlistNodePtr msg = receiveAnswer(client, "mobilesync_receive_changes", "SDMessageProcessChanges");
    PlistCFType entities = dictionarySlot(msg.get(), 2, "mobilesync_receive_changes");
    plist_t more = plist_array_get_item(msg.get(), 3);
    if (!more || plist_get_node_type(more) != PLIST_BOOLEAN)
        fail(QStringLiteral("mobilesync_receive_changes failed. return %1.").arg(MOBILESYNC_E_PLIST_ERROR),
             MobileSyncError::WrongMessage, MOBILESYNC_E_PLIST_ERROR, QStringLiteral("SDMessageProcessChanges"));
    uint8_t hasMore = 0;
    plist_get_bool_val(more, &hasMore);
    records = entities.ref() ? entities : PlistCFType::createCFDictionary();
    if (actions) {
        plist_t node = plist_array_get_item(msg.get(), 4);
        *actions = node && plist_get_node_type(node) == PLIST_DICT ? PlistCFType(plist_copy(node), true)
                                                                    : PlistCFType();
    }
    sendMessage(client, message("SDMessageAcknowledgeChangesFromDevice", client.dataClass).get(),
                "mobilesync_acknowledge_changes_from_device");
    return hasMore != 0;
}

PlistCFType mobiledevice_sync_send_throw(mobiledevice_sync_client& client, const PlistCFType& records, bool isLast,
                                         const PlistCFType& actions)
{
    if (!client.client)
        return PlistCFType();
    plist_t entities = static_cast<plist_t>(records.ref());
    if (!entities || plist_get_node_type(entities) != PLIST_DICT)
        check(MOBILESYNC_E_INVALID_ARG, "mobilesync_send_changes");
    PlistNodePtr msg = message("SDMessageProcessChanges", client.dataClass);
    plist_array_append_item(msg.get(), plist_copy(entities));
    // The device reads this flag as "more changes follow".
    plist_array_append_item(msg.get(), plist_new_bool(isLast ? 0 : 1));
    plist_t actionsNode = static_cast<plist_t>(actions.ref());
    plist_array_append_item(msg.get(), actionsNode ? plist_copy(actionsNode) : plist_new_string(kEmptyParameter));
    sendMessage(client, msg.get(), "mobilesync_send_changes");
    try {
        PlistNodePtr answer = receiveAnswer(client, "mobilesync_remap_identifiers", "SDMessageRemapRecordIdentifiers");
        return dictionarySlot(answer.get(), 2, "mobilesync_remap_identifiers");
    } catch (MobileSyncError& e) {
        e.sentInFull = true;
        throw;
    }
}

void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client& client)
{
    if (!client.client)
        return;
    sendMessage(client, message("SDMessageFinishSessionOnDevice", client.dataClass).get(), "mobilesync_finish");
    receiveAnswer(client, "mobilesync_finish", "SDMessageDeviceFinishedSession");
}

bool mobiledevice_sync_set_tethered_throw(const QString& udid, const QString& dataClassName, bool disable)
{
    PlistCFType value = PlistCFType::createCFDictionary();
    value.put(QStringLiteral("DisableTethered"), PlistCFType::createCFBoolean(disable));
    return mobiledevice_set(udid, QStringLiteral("com.apple.mobile.tethered_sync"), dataClassName, value);
}
