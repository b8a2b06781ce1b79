// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/adb/adbusbhandle.h"

#include <QString>

// Local TCP ports that lead to TCP ports on a phone. Each forward listens on
// 127.0.0.1 only; every accepted connection gets its own "tcp:<port>" stream
// and is pumped both ways on the library's pool, with the phone's flow
// control. A listener closes when its phone's link ends, when it has had no
// connection for the forward idle time (AdbSettings), or when the same local
// port is forwarded again to another target.
class AdbForwardServer {
public:
    // Makes 127.0.0.1:localPort (0 = any free port) reach remotePort on the
    // phone. Returns the local port listening, 0 on failure with the reason in
    // error. Forwarding the same pair again keeps the listener that runs.
    static quint16 forward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString* error);
    // Closes the listener on localPort, if any; connections already pumping
    // run to their end.
    static void remove(quint16 localPort);
};
