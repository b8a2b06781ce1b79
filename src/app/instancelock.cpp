// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/instancelock.h"

#include "app/applog.h"

#include <QDir>
#include <QLockFile>

InstanceLock::InstanceLock() = default;

InstanceLock::~InstanceLock()
{
    release();
}

InstanceLock::Outcome InstanceLock::acquire(const QString& dataFolder)
{
    if (isHeld())
        return Acquired;
    auto lock = std::make_unique<QLockFile>(QDir(dataFolder).filePath(QLatin1String(kFileName)));
    // The program runs for days: an age limit would let a second instance
    // call a live lock stale. Only a lock whose process is gone is stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        qCWarning(lcApp) << "data folder lock not taken:" << dataFolder << "error" << lock->error();
        return lock->error() == QLockFile::LockFailedError ? HeldElsewhere : Unavailable;
    }
    m_lock = std::move(lock);
    return Acquired;
}

void InstanceLock::release()
{
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

bool InstanceLock::isHeld() const
{
    return m_lock && m_lock->isLocked();
}
