// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The reason the USB poller gives for a phone the system does not let this
// program open (libusb's LIBUSB_ERROR_ACCESS) starts, after the phone's
// location, with this text. Header-only so the shell can tell it apart
// without linking the ADB client.
inline constexpr char kAdbUsbNoPermission[] = "no permission to open the phone";

// Whether a failure reason says that permission was missing, which a udev
// rule mends, rather than that something else holds the phone.
inline bool adbUsbAccessDenied(const QString& reason)
{
    return reason.contains(QLatin1String(kAdbUsbNoPermission));
}
