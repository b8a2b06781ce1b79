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
    try {
        while (m_reader.hasNext()) {
            pim::_Contact contact = m_reader.nextContact();
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_ready.size() < kAhead; });
            if (m_stop)
                return;
            m_ready.push_back(std::move(contact));
            m_changed.notify_all();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    const std::lock_guard lock(m_mutex);
    m_failure = failure;
    m_done = true;
    m_changed.notify_all();
}

bool ContactReadAhead::next(pim::_Contact& contact)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_ready.empty() || m_done; });
    if (m_ready.empty()) {
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
        return false;
    }
    contact = std::move(m_ready.front());
    m_ready.pop_front();
    m_changed.notify_all();
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
