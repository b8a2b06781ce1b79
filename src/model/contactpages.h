// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QSharedPointer>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

class LocalDb;

// Contacts handed out a page at a time, so that a worker can walk every
// contact of a database while holding only one page. One walker at a time;
// each call may read the database, so a walk runs on a worker thread.
class ContactPages {
public:
    virtual ~ContactPages() = default;

    // How many contacts a walk yields.
    virtual qsizetype count() = 0;
    // Replaces `page` by the next contacts in order; false, with `page`
    // empty, once every contact was handed out.
    virtual bool nextPage(QList<pim::_Contact>& page) = 0;
    // Starts the walk again from the first contact.
    virtual void rewind() = 0;
};

// The pages of a list already in memory (the contact list's selection).
class ContactListPages : public ContactPages {
public:
    explicit ContactListPages(QList<pim::_Contact> contacts, qsizetype pageSize = 256);

    qsizetype count() override { return m_contacts.size(); }
    bool nextPage(QList<pim::_Contact>& page) override;
    void rewind() override { m_next = 0; }

private:
    QList<pim::_Contact> m_contacts;
    qsizetype m_pageSize;
    qsizetype m_next = 0;
};

// The contacts of a local database, or of one of its groups, in the order
// of LocalDb::contacts() (full name, then id). The order, a list of ids, is
// read by the first call; each page is then one query. A contact removed
// meanwhile is left out of its page. Throws what LocalDb throws.
class LocalDbContactPages : public ContactPages {
public:
    LocalDbContactPages(QSharedPointer<LocalDb> db, unsigned long long groupId, qsizetype pageSize = 256);

    qsizetype count() override;
    bool nextPage(QList<pim::_Contact>& page) override;
    void rewind() override { m_next = 0; }

private:
    void readOrder();

    QSharedPointer<LocalDb> m_db;
    unsigned long long m_groupId;
    qsizetype m_pageSize;
    bool m_ordered = false;
    std::vector<unsigned long long> m_order;
    std::size_t m_next = 0;
};

// Reads the pages of another walk on a thread of its own, a page or two
// ahead of the caller, so that reading the next page overlaps using this
// one. The walk is this object's alone until it is destroyed; a failure of
// the reading thread is thrown by the nextPage() that would have got the
// page.
class ReadAheadPages : public ContactPages {
public:
    explicit ReadAheadPages(ContactPages& pages);
    // Stops the reading thread and waits for it.
    ~ReadAheadPages() override;
    ReadAheadPages(const ReadAheadPages&) = delete;
    ReadAheadPages& operator=(const ReadAheadPages&) = delete;

    qsizetype count() override;
    bool nextPage(QList<pim::_Contact>& page) override;
    void rewind() override;

private:
    void stop();
    void readAll();

    ContactPages& m_pages;
    qsizetype m_count = -1;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QList<pim::_Contact>> m_ready;
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

// Every contact of the walk in one list, from the start; stops early,
// returning nothing, once `cancelled` answers true between pages.
template <typename Cancelled>
QList<pim::_Contact> g_allContacts(ContactPages& pages, Cancelled&& cancelled)
{
    QList<pim::_Contact> all;
    pages.rewind();
    all.reserve(pages.count());
    QList<pim::_Contact> page;
    while (!cancelled() && pages.nextPage(page))
        all.append(std::move(page));
    if (cancelled())
        return {};
    return all;
}
