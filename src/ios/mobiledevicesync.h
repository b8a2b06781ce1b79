#pragma once
// One run of the phone's contact sync service, step by step. Each step throws
// std::runtime_error whose UTF-8 text names the failed step and the library's code.
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

#include <libimobiledevice/mobilesync.h>

struct _mobiledevice_sync_ctx {
    _mobiledevice_sync_ctx(const QString& dataClass, const QString& deviceAnchor, const QString& computerAnchor)
        : dataClass(dataClass), deviceAnchor(deviceAnchor), computerAnchor(computerAnchor) {}
    QString dataClass;      // "com.apple.Contacts"
    QString deviceAnchor;   // "---"
    QString computerAnchor; // local date and time, Qt::ISODate
};

struct mobiledevice_sync_client {
    mobilesync_client_t client = nullptr;
    // The data class of the started run; the send steps name it in every message.
    QByteArray dataClass;

    // Frees a non-null client (the library says goodbye to the device) and nulls it.
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
PlistCFType mobiledevice_sync_send_throw(mobiledevice_sync_client& client, const PlistCFType& records, bool isLast,
                                         const PlistCFType& actions);
void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client& client);
// Writes {"DisableTethered": disable} for the data class; false when the write fails.
bool mobiledevice_sync_set_tethered_throw(const QString& udid, const QString& dataClassName, bool disable);
