// SPDX-License-Identifier: GPL-3.0-or-later
// The peak memory of one stage of a benchmark (Linux): freed memory is given
// back and the peak reset before the stage, so that the peak read after it
// shows what the stage itself took.
#pragma once

#include <QByteArray>
#include <QFile>

#include <malloc.h>

namespace peakmemory {

// A "<field>: <n> kB" line of /proc/self/status, in KiB; -1 when unreadable.
inline long long statusKib(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Starts a stage; returns the resident memory it starts from.
inline long long startStage()
{
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return statusKib("VmRSS");
}

// The peak resident memory since startStage().
inline long long stagePeak() { return statusKib("VmHWM"); }

} // namespace peakmemory
