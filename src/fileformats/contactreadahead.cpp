// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/contactreadahead.h"

ContactReadAhead::ContactReadAhead(AbsImport& reader)
    : m_reader(reader)
    , m_thread([this] { readAll(); })
{
}

ContactReadAhead::~ContactReadAhead()
{
    finish();
}

void ContactReadAhead::readAll()
{
    std::exception_ptr failure;
    std::deque<pim::_Contact> batch;
    std::deque<pim::_Contact> spent;
    const auto handOver = [this, &batch, &spent] {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_ready.size() < kAhead; });
            if (m_stop)
                return false;
            const bool wasEmpty = m_ready.empty();
            for (pim::_Contact& contact : batch)
                m_ready.push_back(std::move(contact));
            batch.clear();
            spent.swap(m_toFree);
            if (wasEmpty)
                m_changed.notify_all();
        }
        spent.clear();
        return true;
    };
    try {
        while (m_reader.hasNext()) {
            batch.push_back(m_reader.nextContact());
            if (batch.size() == kBatch && !handOver())
                return;
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!batch.empty() && !handOver())
        return;
    const std::lock_guard lock(m_mutex);
    m_failure = failure;
    m_done = true;
    m_changed.notify_all();
}

bool ContactReadAhead::next(pim::_Contact& contact)
{
    if (m_taken.empty()) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_ready.empty() || m_done; });
        if (m_ready.empty()) {
            if (m_failure)
                std::rethrow_exception(std::exchange(m_failure, nullptr));
            return false;
        }
        const bool wasFull = m_ready.size() >= kAhead;
        m_taken.swap(m_ready);
        for (pim::_Contact& done : m_spent)
            m_toFree.push_back(std::move(done));
        m_spent.clear();
        if (wasFull)
            m_changed.notify_all();
    }
    m_spent.push_back(std::move(contact));
    contact = std::move(m_taken.front());
    m_taken.pop_front();
    return true;
}

void ContactReadAhead::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}
