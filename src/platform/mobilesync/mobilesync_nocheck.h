#pragma once
// Computer-to-device steps of a contact sync run, built on the device library's
// public message calls (mobilesync_send / mobilesync_receive).
//
// The library's own mobilesync_ready_to_send_changes_from_computer only accepts a
// run that has first received the device's changes; mobilesync_send_changes and
// mobilesync_remap_identifiers then check a direction flag kept inside the opaque
// client. A run that sends straight after mobilesync_start therefore uses these three
// calls instead, all together. mobilesync_finish of the library still ends the run.
//
// Every call blocks on the device link; call it on the worker thread that owns the
// client. Results are the library's mobilesync_error_t codes.

#include <cstdint>
#include <libimobiledevice/mobilesync.h>
#include <plist/plist.h>

// Tells the device that the computer is about to send changes ("DLMessagePing").
// MOBILESYNC_E_INVALID_ARG for a null client; a link failure gives its code.
mobilesync_error_t mobilesync_ready_to_send_changes_from_computer_nocheck(mobilesync_client_t client);

// Sends one "SDMessageProcessChanges" message for dataClass. entities (a dictionary)
// and actions (a dictionary, or null for none) stay the caller's.
mobilesync_error_t mobilesync_send_changes_nocheck(mobilesync_client_t client, const char* dataClass,
                                                   plist_t entities, bool isLast, plist_t actions);

// Reads the device's "SDMessageRemapRecordIdentifiers" answer. *mapping receives an
// owned copy of the remap dictionary, or null when the device remapped nothing.
// MOBILESYNC_E_CANCELLED when the device cancels the session, MOBILESYNC_E_PLIST_ERROR
// for any other message.
mobilesync_error_t mobilesync_remap_identifiers_nocheck(mobilesync_client_t client, plist_t* mapping);
