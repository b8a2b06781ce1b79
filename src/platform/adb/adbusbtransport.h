// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/adb/adbtransport.h"
#include "platform/adb/adbusbfailure.h"

#include <QList>
#include <QSet>

#include <libusb.h>

// The few libusb-1.0 calls the USB transport makes, as a table so tests can
// put a fake device behind them. adbRealLibusb() fills it with libusb itself.
//
// On Linux a non-root user needs read-write access to the phone's USB node.
// A udev rule such as
//   SUBSYSTEM=="usb", ENV{ID_USB_INTERFACES}=="*:ff4201:*", MODE="0660", TAG+="uaccess"
// in /etc/udev/rules.d/51-android.rules (then `udevadm control --reload` and
// replugging the phone) grants it to the user at the seat; Debian's
// android-sdk-platform-tools-common ships such rules (for users in the
// plugdev group). Without it the poller reports the phone through
// failedDevice with a reason that adbUsbAccessDenied() recognises.
struct AdbLibusbApi {
    int (*init)(libusb_context**);
    void (*exit)(libusb_context*);
    ssize_t (*get_device_list)(libusb_context*, libusb_device***);
    void (*free_device_list)(libusb_device**, int);
    int (*get_device_descriptor)(libusb_device*, libusb_device_descriptor*);
    int (*get_active_config_descriptor)(libusb_device*, libusb_config_descriptor**);
    void (*free_config_descriptor)(libusb_config_descriptor*);
    uint8_t (*get_bus_number)(libusb_device*);
    int (*get_port_numbers)(libusb_device*, uint8_t*, int);
    int (*open)(libusb_device*, libusb_device_handle**);
    void (*close)(libusb_device_handle*);
    int (*get_string_descriptor_ascii)(libusb_device_handle*, uint8_t, unsigned char*, int);
    int (*set_auto_detach_kernel_driver)(libusb_device_handle*, int);
    int (*claim_interface)(libusb_device_handle*, int);
    int (*release_interface)(libusb_device_handle*, int);
    int (*bulk_transfer)(libusb_device_handle*, unsigned char, unsigned char*, int, int*, unsigned int);
    const char* (*error_name)(int);
};

AdbLibusbApi adbRealLibusb();

// One phone found on USB, opened and with its ADB interface claimed.
struct AdbUsbFound {
    QString location;   // bus and port path, stable while the phone stays plugged in
    QString serial;     // the phone's serial number as it reports it
    std::unique_ptr<AdbTransport> transport;
    QString error;      // set instead of transport when opening failed
};

// Lists the USB devices with an ADB interface (class 0xff, subclass 0x42,
// protocol 1). present receives the location of every such device; those
// whose location is not in known are opened and returned.
class AdbUsbScanner {
public:
    explicit AdbUsbScanner(const AdbLibusbApi& api);
    ~AdbUsbScanner();
    std::vector<AdbUsbFound> scan(const QSet<QString>& known, QSet<QString>* present);
    // libusb_init failed: why; the scanner then finds nothing.
    QString initError() const { return m_initError; }
    struct Context;  // shared with the transports it opened

private:
    std::shared_ptr<Context> m_context;
    QString m_initError;
};
