// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Claims a data folder for this process. The lock is a file in the folder;
// a lock left behind by a process that has died is taken over.
class InstanceLock {
public:
    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    static constexpr const char* kFileName = "marrowlink.lock";

    enum Outcome {
        Acquired,
        // A running process holds the folder.
        HeldElsewhere,
        // The lock file cannot be written (missing or read-only folder):
        // nothing says another instance runs.
        Unavailable,
    };

    // Acquired also when the folder already was ours.
    Outcome acquire(const QString& dataFolder);
    void release();
    bool isHeld() const;

private:
    std::unique_ptr<QLockFile> m_lock;
};
