// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

// Pings the GUI thread every few milliseconds and keeps the longest gap
// between two pings: how long the window could not have drawn or taken
// input. Create and read it on the GUI thread.
class GuiStallProbe {
public:
    GuiStallProbe()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_beat.restart()); });
        m_beat.start();
        m_timer.start();
    }
    // The longest gap so far, the current one included, in milliseconds.
    qint64 longestMs() const { return std::max(m_longest, m_beat.elapsed()); }
    void reset()
    {
        m_longest = 0;
        m_beat.restart();
    }

private:
    QTimer m_timer;
    QElapsedTimer m_beat;
    qint64 m_longest = 0;
};
