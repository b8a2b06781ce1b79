// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contactpages.h"

#include "model/databaseerrortext.h"
#include "model/localdb.h"
#include "model/localdblog.h"
#include "platform/sqlite/sqlite3db.h"

#include <algorithm>

ContactListPages::ContactListPages(QList<pim::_Contact> contacts, qsizetype pageSize)
    : m_contacts(std::move(contacts))
    , m_pageSize(std::max<qsizetype>(1, pageSize))
{
}

bool ContactListPages::nextPage(QList<pim::_Contact>& page)
{
    page = m_contacts.mid(m_next, m_pageSize);
    m_next += page.size();
    return !page.isEmpty();
}

LocalDbContactPages::LocalDbContactPages(QSharedPointer<LocalDb> db, unsigned long long groupId,
                                         qsizetype pageSize)
    : m_db(std::move(db))
    , m_groupId(groupId)
    , m_pageSize(std::max<qsizetype>(1, pageSize))
{
    Q_ASSERT(m_db);
}

LocalDbContactPages::LocalDbContactPages(QSharedPointer<LocalDb> db, std::vector<unsigned long long> ids,
                                         qsizetype pageSize)
    : LocalDbContactPages(std::move(db), 0, pageSize)
{
    m_order = std::move(ids);
    m_ordered = true;
}

LocalDbContactPages::~LocalDbContactPages() = default;

void LocalDbContactPages::readOrder()
{
    if (!m_connection) {
        auto connection = std::make_unique<Sqlite3DB>();
        connection->openThrow(m_db->path(), Sqlite3DB::OpenReadOnly);
        m_connection = std::move(connection);
    }
    if (m_ordered)
        return;
    m_order = LocalDb::contactOrder(*m_connection, m_groupId);
    m_ordered = true;
}

qsizetype LocalDbContactPages::count()
{
    return inWords([this] {
        readOrder();
        return qsizetype(m_order.size());
    });
}

bool LocalDbContactPages::nextPage(QList<pim::_Contact>& page)
{
    return inWords([&] {
        readOrder();
        page.clear();
        // A page of contacts that were all removed meanwhile is skipped.
        while (page.isEmpty() && m_next < m_order.size()) {
            const std::size_t n = std::min<std::size_t>(std::size_t(m_pageSize), m_order.size() - m_next);
            page = LocalDb::contactsById(*m_connection, m_order.data() + m_next, qsizetype(n));
            m_next += n;
        }
        return !page.isEmpty();
    });
}

template <class Read>
auto LocalDbContactPages::inWords(Read&& read) -> decltype(read())
{
    try {
        return read();
    } catch (const std::exception& e) {
        // The wrapper's text goes to the log; the user reads what to do.
        const QString technical = QString::fromUtf8(e.what());
        qCWarning(lcDb) << "reading" << m_db->path() << "failed:" << technical;
        throw Error(g_databaseErrorText(m_db->path(), technical));
    }
}

namespace {
// Pages read ahead of the caller at most.
constexpr std::size_t kPagesAhead = 2;
} // namespace

ReadAheadPages::ReadAheadPages(ContactPages& pages)
    : m_pages(pages)
{
}

ReadAheadPages::~ReadAheadPages()
{
    stop();
}

void ReadAheadPages::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

qsizetype ReadAheadPages::count()
{
    // Asked before the reading thread runs, or answered from then on.
    if (m_count < 0) {
        Q_ASSERT(!m_thread.joinable());
        m_count = m_pages.count();
    }
    return m_count;
}

void ReadAheadPages::rewind()
{
    stop();
    m_ready.clear();
    m_spent.clear();
    m_done = false;
    m_stop = false;
    m_failure = nullptr;
    m_pages.rewind();
}

void ReadAheadPages::readAll()
{
    try {
        QList<pim::_Contact> page;
        std::deque<QList<pim::_Contact>> spent;
        while (m_pages.nextPage(page)) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || m_ready.size() < kPagesAhead; });
                if (m_stop)
                    return;
                m_ready.push_back(std::move(page));
                spent.swap(m_spent);
                m_changed.notify_all();
            }
            spent.clear();
        }
    } catch (...) {
        const std::lock_guard lock(m_mutex);
        m_failure = std::current_exception();
    }
    const std::lock_guard lock(m_mutex);
    m_done = true;
    m_changed.notify_all();
}

bool ReadAheadPages::nextPage(QList<pim::_Contact>& page)
{
    if (!m_thread.joinable()) {
        count();
        m_thread = std::thread([this] { readAll(); });
    }
    std::unique_lock lock(m_mutex);
    // Freed by the thread that allocated it: a free from another thread
    // contends for that thread's allocator lock on every block.
    if (!page.isEmpty())
        m_spent.push_back(std::move(page));
    page.clear();
    m_changed.wait(lock, [this] { return !m_ready.empty() || m_done; });
    if (m_ready.empty()) {
        if (m_failure)
            std::rethrow_exception(m_failure);
        return false;
    }
    page = std::move(m_ready.front());
    m_ready.pop_front();
    m_changed.notify_all();
    return true;
}
