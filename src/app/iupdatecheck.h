// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// The automatic update check as the main window starts it once it is built.
// The implementation decides whether a check is due, sends it and handles
// the reply; start() must not block. When the user leaves to download a
// newer version it calls leaveProgram, which ends the program through its
// normal teardown.
class IUpdateCheck {
public:
    virtual ~IUpdateCheck() = default;
    virtual void start(std::function<void()> leaveProgram) = 0;
    // How the reply reaches the user: `gate` gets the handling and runs it
    // now or later (the window holds it back while a command runs). Without
    // a gate the reply is handled as it comes.
    using Gate = std::function<void(std::function<void()> handling)>;
    virtual void setReplyGate(Gate gate) { (void)gate; }
};
