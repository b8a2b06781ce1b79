// SPDX-License-Identifier: GPL-3.0-or-later
// The user's cancel, as seen by blocking calls deep below a worker that
// cannot take it as an argument (a connector's waits, an ADB call's waits).
//
// Contract: a worker opens a ThreadCancelScope on its own thread for the
// length of its job; every wait that honours it polls
// ThreadCancelScope::isCancelled() at least every kSliceMs and, once it is
// true, gives up with its own cancel exception. Without a scope nothing is
// ever cancelled. Scopes nest; the innermost one counts.
#pragma once

#include <chrono>
#include <functional>
#include <thread>
#include <utility>

class ThreadCancelScope {
public:
    // The longest a honouring wait may go without looking at the check.
    static constexpr int kSliceMs = 50;

    explicit ThreadCancelScope(std::function<bool()> check)
        : m_previous(std::exchange(current(), std::move(check)))
    {
    }
    ~ThreadCancelScope() { current() = std::move(m_previous); }
    ThreadCancelScope(const ThreadCancelScope&) = delete;
    ThreadCancelScope& operator=(const ThreadCancelScope&) = delete;

    // Whether the job running on this thread was cancelled.
    static bool isCancelled()
    {
        const std::function<bool()>& check = current();
        return check && check();
    }

    // Sleeps ms milliseconds, or less when the job is cancelled meanwhile;
    // returns false in that case.
    static bool sleep(int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
            if (isCancelled())
                return false;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                end - now, std::chrono::milliseconds(kSliceMs)));
        }
        return !isCancelled();
    }

private:
    static std::function<bool()>& current()
    {
        thread_local std::function<bool()> check;
        return check;
    }

    std::function<bool()> m_previous;
};
