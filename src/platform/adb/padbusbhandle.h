// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSharedPointer>

// One Android phone as the ADB client library hands it out. The window only
// passes handles on, so the class stays incomplete here.
class AdbUSBHandle;
using PAdbUSBHandle = QSharedPointer<AdbUSBHandle>;
