// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"
#include "model/readaheadqueue.h"
#include "platform/error.h"

#include <QByteArray>
#include <QList>
#include <QSharedPointer>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

class LocalDb;
class Sqlite3DB;
struct ContactPageQuery;

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
    // A walk that can be read on several threads at once: lane `index` of
    // `lanes` yields the pages index, index + lanes, ... of this walk from
    // its start, each one even when it comes out empty, on a connection of
    // its own. Null when the walk cannot be split.
    virtual std::unique_ptr<ContactPages> lane(int index, int lanes)
    {
        Q_UNUSED(index);
        Q_UNUSED(lanes);
        return nullptr;
    }
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
// of LocalDb::contacts() (full name, then id), as committed in its file.
// The first call opens a read-only connection of its own (with SQLite's
// small default page cache; only the thread walking at the time uses it)
// and reads the order, a list of ids; each page then runs the same two
// prepared statements. A contact removed meanwhile is left out of its page.
// Throws Error with a text for the user that names the database.
class LocalDbContactPages : public ContactPages {
public:
    LocalDbContactPages(QSharedPointer<LocalDb> db, unsigned long long groupId, qsizetype pageSize = 256);
    // The contacts with these ids, in this order (a selection).
    LocalDbContactPages(QSharedPointer<LocalDb> db, std::vector<unsigned long long> ids, qsizetype pageSize = 256);
    ~LocalDbContactPages() override;

    qsizetype count() override;
    bool nextPage(QList<pim::_Contact>& page) override;
    void rewind() override { m_next = 0; }
    std::unique_ptr<ContactPages> lane(int index, int lanes) override;

private:
    void readOrder();
    // Runs a read, its failure told in words that name the database.
    template <class Read>
    auto inWords(Read&& read) -> decltype(read());

    QSharedPointer<LocalDb> m_db;
    std::unique_ptr<Sqlite3DB> m_connection;
    std::unique_ptr<ContactPageQuery> m_query;
    unsigned long long m_groupId;
    qsizetype m_pageSize;
    bool m_ordered = false;
    std::vector<unsigned long long> m_order;
    std::size_t m_next = 0;
    // A lane hands out the pages of its share as they come, empty ones too,
    // so that the lanes stay in step.
    bool m_keepEmptyPages = false;
};

// Reads the pages of another walk ahead of the caller, so that reading the
// next pages overlaps using this one: on a thread of its own, or, when the
// walk splits into lanes, on one thread per lane, each a page or two ahead.
// The walk is this object's alone until it is destroyed; a failure of a
// reading thread is thrown by the nextPage() that would have got the page.
class ReadAheadPages : public ContactPages {
public:
    // `lanes` threads read at once when the walk splits (at least one).
    // A page costs its lane about three times what writing it costs the
    // caller, so three keep a writer fed even while other programs take
    // their share of the processor; four were no faster than three.
    explicit ReadAheadPages(ContactPages& pages, int lanes = 3);
    // Stops the reading threads and waits for them.
    ~ReadAheadPages() override;
    ReadAheadPages(const ReadAheadPages&) = delete;
    ReadAheadPages& operator=(const ReadAheadPages&) = delete;

    qsizetype count() override;
    bool nextPage(QList<pim::_Contact>& page) override;
    void rewind() override;

    // Work that needs nothing but one page (the bytes a file writer makes
    // of it), done on the reading threads beside their reads instead of by
    // the caller one page after another. What it throws reaches the caller
    // as a failed read of that page does.
    using PageWork = std::function<QByteArray(const QList<pim::_Contact>&)>;
    // For the walks started after this call (at the next rewind()), read on
    // `lanes` threads when the walk splits: work makes each page dearer.
    void setPageWork(PageWork work, int lanes)
    {
        m_work = std::move(work);
        m_laneCount = std::max(1, lanes);
    }
    // The next page and what the work made of it (empty without work).
    bool nextPage(QList<pim::_Contact>& page, QByteArray& made);

private:
    // Pages each lane reads ahead of the caller at most.
    static constexpr std::size_t kPagesAhead = 2;

    struct Page {
        QList<pim::_Contact> contacts;
        QByteArray made;
    };
    struct Lane {
        // Before the queue, whose thread reads it until the queue is gone.
        std::unique_ptr<ContactPages> own;
        ReadAheadQueue<Page> ready { kPagesAhead };
    };

    void start();

    ContactPages& m_pages;
    int m_laneCount;
    PageWork m_work;
    qsizetype m_count = -1;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    // The lane of the next page the caller gets, and of the page it has.
    std::size_t m_turn = 0;
    std::size_t m_lastTurn = 0;
};

// The walk a writer takes its contacts from failed: the text says that the
// contacts to transfer could not be read, then the walk's own words (which
// name the database). The writer adds what it had written by then.
class ContactSourceError : public Error {
public:
    explicit ContactSourceError(const QString& cause);
};

// The contacts of a walk one at a time, for a writer that gathers batches of
// its own: it holds the page in hand and nothing more, so the writer holds
// that page and its batch. Starts the walk from its first contact. Every
// failure of the walk is thrown as ContactSourceError, so that the writer
// can tell its source from its target. Not copyable; the walk must outlive it.
class ContactCursor {
public:
    explicit ContactCursor(ContactPages& pages);
    ContactCursor(const ContactCursor&) = delete;
    ContactCursor& operator=(const ContactCursor&) = delete;

    // How many contacts the walk yields (a contact removed meanwhile is
    // left out, so fewer may come).
    qsizetype count();
    // Moves the next contact into `contact`; false once every one was handed out.
    bool next(pim::_Contact& contact);

private:
    template <class Read>
    auto fromSource(Read&& read) -> decltype(read());

    ContactPages& m_pages;
    QList<pim::_Contact> m_page;
    qsizetype m_next = 0;
    bool m_done = false;
};
