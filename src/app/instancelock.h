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

    // True when the folder is now ours (also when it already was). False
    // when a running process holds it or the lock file cannot be written.
    bool acquire(const QString& dataFolder);
    void release();
    bool isHeld() const;

private:
    std::unique_ptr<QLockFile> m_lock;
};
