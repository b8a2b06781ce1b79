// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contactpages.h"

#include "model/databaseerrortext.h"
#include "model/localdb.h"
#include "model/localdblog.h"
#include "platform/sqlite/sqlite3db.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

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
        connection->openThrow(m_db->readPath(), Sqlite3DB::OpenReadOnly | Sqlite3DB::OpenOneThreadAtATime);
        m_connection = std::move(connection);
        m_query = std::make_unique<ContactPageQuery>();
    }
    if (m_ordered)
        return;
    // A second connection for the part of the order that reads alongside.
    Sqlite3DB second;
    if (m_groupId == 0)
        second.openThrow(m_db->readPath(), Sqlite3DB::OpenReadOnly | Sqlite3DB::OpenOneThreadAtATime);
    m_order = LocalDb::contactOrder(*m_connection, m_groupId, second.isOpen() ? &second : nullptr);
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
            page = LocalDb::contactsById(*m_connection, *m_query, m_order.data() + m_next, qsizetype(n));
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

ReadAheadPages::ReadAheadPages(ContactPages& pages, int lanes)
    : m_pages(pages)
    , m_laneCount(std::max(1, lanes))
{
}

// The lanes' queues stop their threads and wait for them.
ReadAheadPages::~ReadAheadPages() = default;

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
    m_lanes.clear();
    m_turn = 0;
    m_lastTurn = 0;
    m_pages.rewind();
}

void ReadAheadPages::start()
{
    count();
    // Kept only once every lane is there: a split that fails half way
    // leaves no lane whose thread never runs.
    std::vector<std::unique_ptr<Lane>> lanes;
    if (m_laneCount > 1) {
        for (int i = 0; i < m_laneCount; ++i) {
            lanes.push_back(std::make_unique<Lane>());
            lanes.back()->own = m_pages.lane(i, m_laneCount);
            if (!lanes.back()->own) {
                lanes.clear();
                break;
            }
        }
    }
    if (lanes.empty())
        lanes.push_back(std::make_unique<Lane>());
    m_lanes = std::move(lanes);
    for (const auto& lane : m_lanes) {
        ContactPages* pages = lane->own ? lane->own.get() : &m_pages;
        lane->ready.start([pages, work = m_work](ReadAheadQueue<Page>& ready) {
            Page page;
            while (pages->nextPage(page.contacts)) {
                if (work && !page.contacts.isEmpty())
                    page.made = work(page.contacts);
                if (!ready.put(std::exchange(page, Page())))
                    return;
            }
        });
    }
}

bool ReadAheadPages::nextPage(QList<pim::_Contact>& page)
{
    QByteArray made;
    return nextPage(page, made);
}

bool ReadAheadPages::nextPage(QList<pim::_Contact>& page, QByteArray& made)
{
    if (m_lanes.empty())
        start();
    if (!page.isEmpty() || !made.isEmpty())
        m_lanes[m_lastTurn]->ready.giveBack(Page { std::move(page), std::move(made) });
    page.clear();
    made.clear();
    for (;;) {
        // The walk ends at the first lane that has no page left.
        Page next;
        if (!m_lanes[m_turn]->ready.take(next))
            return false;
        m_lastTurn = m_turn;
        m_turn = (m_turn + 1) % m_lanes.size();
        // A lane's page of contacts removed meanwhile is passed over.
        if (!next.contacts.isEmpty()) {
            page = std::move(next.contacts);
            made = std::move(next.made);
            return true;
        }
    }
}

ContactSourceError::ContactSourceError(const QString& cause)
    : Error(QCoreApplication::translate("ContactPages", "The contacts to transfer could not be read: %1").arg(cause))
{
}

ContactCursor::ContactCursor(ContactPages& pages)
    : m_pages(pages)
{
    fromSource([this] { m_pages.rewind(); });
}

qsizetype ContactCursor::count()
{
    return fromSource([this] { return m_pages.count(); });
}

bool ContactCursor::next(pim::_Contact& contact)
{
    while (!m_done && m_next >= m_page.size()) {
        // The page in hand goes before the next one is read.
        m_page.clear();
        m_next = 0;
        m_done = !fromSource([this] { return m_pages.nextPage(m_page); });
    }
    if (m_done)
        return false;
    contact = std::move(m_page[m_next++]);
    return true;
}

template <class Read>
auto ContactCursor::fromSource(Read&& read) -> decltype(read())
{
    try {
        return read();
    } catch (const std::exception& e) {
        throw ContactSourceError(QString::fromUtf8(e.what()));
    }
}
