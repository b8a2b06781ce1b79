// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The automatic update check as the main window starts it, once the
// schedule says it is due. Sending and handling the reply belong to the
// implementation; start() must not block.
class IUpdateCheck {
public:
    virtual ~IUpdateCheck() = default;
    virtual void start() = 0;
};
