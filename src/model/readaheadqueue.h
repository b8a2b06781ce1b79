// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

// Items made on a thread of their own and taken in order by one consumer,
// at most `bound` of them waiting, so that making the next items overlaps
// using this one.
//
// What the producing function throws reaches the consumer once the items
// put before it were taken. Items the consumer is done with go back to the
// producing thread to be freed there: a free from another thread contends
// for the allocator's lock of the thread that allocated it on every block.
// The destructor stops the producer at its next put() and waits for it.
template <class Item>
class ReadAheadQueue {
public:
    explicit ReadAheadQueue(std::size_t bound)
        : m_bound(bound)
    {
        Q_ASSERT(bound > 0);
    }
    ~ReadAheadQueue() { stop(); }
    ReadAheadQueue(const ReadAheadQueue&) = delete;
    ReadAheadQueue& operator=(const ReadAheadQueue&) = delete;

    // Runs produce(*this) on a new thread; it hands each item over with
    // put(). Once per queue.
    template <class Produce>
    void start(Produce produce)
    {
        m_thread = std::thread([this, produce = std::move(produce)]() mutable {
            std::exception_ptr failure;
            try {
                produce(*this);
            } catch (...) {
                failure = std::current_exception();
            }
            std::deque<Item> spent;
            const std::lock_guard lock(m_mutex);
            m_failure = failure;
            m_done = true;
            spent.swap(m_spent);
            m_changed.notify_all();
        });
    }

    // The producer's side: waits for room and hands `item` over, then frees
    // what the consumer gave back. False once the queue is stopped: the
    // producer then returns without making more.
    bool put(Item&& item)
    {
        std::deque<Item> spent;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_ready.size() < m_bound; });
            if (m_stop)
                return false;
            m_ready.push_back(std::move(item));
            spent.swap(m_spent);
            // Waking the other side only when it may be waiting.
            if (m_ready.size() == 1)
                m_changed.notify_all();
        }
        return true;
    }

    // The consumer's side: replaces `item` by the next one. False once the
    // producer returned and every item was taken; rethrows what it threw
    // instead, on this and every later call.
    bool take(Item& item)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ready.empty() || m_done; });
        if (m_ready.empty()) {
            if (m_failure)
                std::rethrow_exception(m_failure);
            return false;
        }
        const bool wasFull = m_ready.size() >= m_bound;
        item = std::move(m_ready.front());
        m_ready.pop_front();
        if (wasFull)
            m_changed.notify_all();
        return true;
    }

    // An item the consumer is done with, for the producing thread to free.
    void giveBack(Item&& item)
    {
        const std::lock_guard lock(m_mutex);
        m_spent.push_back(std::move(item));
    }

    // Stops the producer at its next put() and waits for it to return.
    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
            m_changed.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    const std::size_t m_bound;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_ready;
    std::deque<Item> m_spent;
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_failure;
    // Last, so that it is started after the state it uses is built.
    std::thread m_thread;
};
