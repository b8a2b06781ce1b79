#pragma once
// One run of the phone's contact sync service, step by step. Each step throws
// MobileSyncError whose UTF-8 text names the failed step and the library's code.
// Every message of the phone is checked before it is used: its name, the types of
// its slots, and the phone's own "DLMessageDisconnect" at any step.
//
// The run's client belongs to the worker thread that runs it. The owner nulls it
// before the run, passes it to every step and calls mobiledevice_sync_client::release
// once when the run ends, success or failure. With a null client the steps do nothing.
//
// Reading all records: mobiledevice_sync_set_tethered_throw, mobiledevice_sync_start_throw,
// mobiledevice_sync_start_recv_all_records_throw, then mobiledevice_sync_record_next_throw
// until it returns false.
// Writing records: mobiledevice_sync_start_throw, mobiledevice_sync_start_send_to_device_throw,
// mobiledevice_sync_send_throw per message, mobiledevice_sync_send_finish_throw.

#include "ios/plistcftype.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <stdexcept>

class DeviceLink;

// A failed step. what() is the step's text for the log ("mobilesync_receive_changes
// failed. return -256."); kind says what happened in words the threads can turn into
// a sentence; detail is the phone's own reason or the name of the message at fault.
class MobileSyncError : public std::runtime_error {
public:
    enum Kind {
        NotFound,       // not attached over USB
        Locked,         // passcode
        TrustPending,   // the trust question is open on the phone
        TrustDenied,    // the user answered "Don't Trust"
        NotTrusted,     // the phone forgot this computer
        NoService,      // the sync service could not be started
        Refused,        // the phone refused to sync (busy, sync turned off)
        PhoneCancelled, // "SDMessageCancelSession"
        PhoneEnded,     // "DLMessageDisconnect" from the phone
        Garbage,        // bytes that are no property list
        WrongMessage,   // a message of the wrong name or with slots of the wrong type
        NewerVersion,   // the phone speaks a newer device-link version (detail: the one it announced)
        Timeout,        // the phone stopped answering
        LinkLost,       // the link dropped (unplugged)
        Stopped,        // the owner's stop request ended a wait
    };
    MobileSyncError(const QString& text, Kind kind, int code, QString detail = QString())
        : std::runtime_error(text.toUtf8().toStdString()), kind(kind), code(code), detail(std::move(detail)) {}

    Kind kind;
    int code;
    QString detail;
    // The step had handed the link its message of records whole before it
    // failed: the phone may have taken them, whatever then ended the wait for
    // its answer (a dropped link too: the drop may have come after the phone
    // stored them). False when the message never went out in full.
    bool sentInFull = false;
};

// The newest device-link major version of the contact sync service that this
// program speaks, and the one the device library speaks.
inline constexpr int kContactSyncLinkVersion = 300;

struct _mobiledevice_sync_ctx {
    _mobiledevice_sync_ctx(const QString& dataClass, const QString& deviceAnchor, const QString& computerAnchor)
        : dataClass(dataClass), deviceAnchor(deviceAnchor), computerAnchor(computerAnchor) {}
    QString dataClass;      // "com.apple.Contacts"
    QString deviceAnchor;   // "---"
    QString computerAnchor; // local date and time, Qt::ISODate
};

struct mobiledevice_sync_client {
    DeviceLink* client = nullptr;
    // Asked while waiting for the phone; true ends the step with MobileSyncError::Stopped.
    std::function<bool()> stop;
    // The longest wait for one answer of the phone.
    int answerTimeoutMs = defaultAnswerTimeoutMs();
    // The wait that clients made from now on take: half a minute. Tests
    // shorten it; the program keeps the default.
    static int defaultAnswerTimeoutMs();
    static void setDefaultAnswerTimeoutMs(int ms);
    // The data class of the started run; the send steps name it in every message.
    QByteArray dataClass;

    // Says goodbye to the device, frees a non-null client and nulls it.
    void release();
};

// Looks the device up over USB, starts the service and the run. On failure the client
// is freed and left null: a client whose start failed cannot be used again.
// Trust and passcode problems name what the user has to do on the phone.
void mobiledevice_sync_start_throw(const QString& udid, const _mobiledevice_sync_ctx& ctx,
                                   mobiledevice_sync_client& client);
// Asks the phone for all its records.
void mobiledevice_sync_start_recv_all_records_throw(mobiledevice_sync_client& client);
// Tells the phone that the computer sends changes now.
void mobiledevice_sync_start_send_to_device_throw(mobiledevice_sync_client& client);
// Receives and acknowledges the next batch into records (and actions, when given).
// True while the phone has further batches; false after its last one.
bool mobiledevice_sync_record_next_throw(mobiledevice_sync_client& client, PlistCFType& records,
                                         PlistCFType* actions);
// Sends one message of records and returns the phone's remap dictionary (temporary
// record id -> phone record id), or the null value when the phone remapped nothing.
// A failure after the message went out whole carries sentInFull.
PlistCFType mobiledevice_sync_send_throw(mobiledevice_sync_client& client, const PlistCFType& records, bool isLast,
                                         const PlistCFType& actions);
void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client& client);
// Writes {"DisableTethered": disable} for the data class; false when the write fails.
bool mobiledevice_sync_set_tethered_throw(const QString& udid, const QString& dataClassName, bool disable);
