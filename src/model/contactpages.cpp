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
        connection->openThrow(m_db->readPath(), Sqlite3DB::OpenReadOnly);
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
            if (m_keepEmptyPages)
                return true;
        }
        return !page.isEmpty();
    });
}

std::unique_ptr<ContactPages> LocalDbContactPages::lane(int index, int lanes)
{
    inWords([this] { readOrder(); });
    std::vector<unsigned long long> share;
    const std::size_t size = std::size_t(m_pageSize);
    for (std::size_t first = std::size_t(index) * size; first < m_order.size(); first += std::size_t(lanes) * size)
        share.insert(share.end(), m_order.begin() + std::ptrdiff_t(first),
                     m_order.begin() + std::ptrdiff_t(std::min(first + size, m_order.size())));
    auto pages = std::make_unique<LocalDbContactPages>(m_db, std::move(share), m_pageSize);
    pages->m_keepEmptyPages = true;
    return pages;
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

ReadAheadPages::ReadAheadPages(ContactPages& pages, int lanes)
    : m_pages(pages)
    , m_laneCount(std::max(1, lanes))
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
    for (const auto& lane : m_lanes) {
        if (lane->thread.joinable())
            lane->thread.join();
    }
}

qsizetype ReadAheadPages::count()
{
    // Asked before the reading threads run, or answered from then on.
    if (m_count < 0) {
        Q_ASSERT(m_lanes.empty());
        m_count = m_pages.count();
    }
    return m_count;
}

void ReadAheadPages::rewind()
{
    stop();
    m_lanes.clear();
    m_turn = 0;
    m_lastTurn = 0;
    m_stop = false;
    m_pages.rewind();
}

void ReadAheadPages::start()
{
    count();
    if (m_laneCount > 1) {
        for (int i = 0; i < m_laneCount; ++i) {
            auto lane = std::make_unique<Lane>();
            lane->own = m_pages.lane(i, m_laneCount);
            if (!lane->own) {
                m_lanes.clear();
                break;
            }
            lane->pages = lane->own.get();
            m_lanes.push_back(std::move(lane));
        }
    }
    if (m_lanes.empty()) {
        m_lanes.push_back(std::make_unique<Lane>());
        m_lanes.back()->pages = &m_pages;
    }
    for (const auto& lane : m_lanes)
        lane->thread = std::thread([this, l = lane.get()] { readLane(*l); });
}

void ReadAheadPages::readLane(Lane& lane)
{
    try {
        QList<pim::_Contact> page;
        std::deque<QList<pim::_Contact>> spent;
        while (lane.pages->nextPage(page)) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || lane.ready.size() < kPagesAhead; });
                if (m_stop)
                    return;
                lane.ready.push_back(std::move(page));
                spent.swap(lane.spent);
                m_changed.notify_all();
            }
            spent.clear();
        }
    } catch (...) {
        const std::lock_guard lock(m_mutex);
        lane.failure = std::current_exception();
    }
    const std::lock_guard lock(m_mutex);
    lane.done = true;
    m_changed.notify_all();
}

bool ReadAheadPages::nextPage(QList<pim::_Contact>& page)
{
    if (m_lanes.empty())
        start();
    std::unique_lock lock(m_mutex);
    // Freed by the thread that allocated it: a free from another thread
    // contends for that thread's allocator lock on every block.
    if (!page.isEmpty())
        m_lanes[m_lastTurn]->spent.push_back(std::move(page));
    page.clear();
    for (;;) {
        Lane& lane = *m_lanes[m_turn];
        m_changed.wait(lock, [&] { return !lane.ready.empty() || lane.done; });
        if (lane.ready.empty()) {
            // The walk ends at the first lane that has no page left.
            if (lane.failure)
                std::rethrow_exception(lane.failure);
            return false;
        }
        page = std::move(lane.ready.front());
        lane.ready.pop_front();
        m_lastTurn = m_turn;
        m_turn = (m_turn + 1) % m_lanes.size();
        m_changed.notify_all();
        // A lane's page of contacts removed meanwhile is passed over.
        if (!page.isEmpty())
            return true;
    }
}
