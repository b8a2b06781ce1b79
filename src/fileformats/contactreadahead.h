// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/absimport.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

// Reads a file's records on a thread of its own, a bounded number ahead of
// the caller, so that parsing one contact overlaps writing the one before.
// The reader is the read-ahead's alone from the constructor until finish()
// (or the destructor) returns: only total() may be asked before.
class ContactReadAhead {
public:
    // Records handed over at a time: waking the other thread for each
    // record would cost more than reading it.
    static constexpr std::size_t kBatch = 32;
    static constexpr std::size_t kAhead = 4 * kBatch;

    explicit ContactReadAhead(AbsImport& reader);
    // Stops the reading thread and waits for it: a failure or cancel of the
    // caller leaves no thread behind that still uses the reader.
    ~ContactReadAhead();
    ContactReadAhead(const ContactReadAhead&) = delete;
    ContactReadAhead& operator=(const ContactReadAhead&) = delete;

    // The next record in file order. False once every record was taken;
    // rethrows what the reader threw, once the records before it were taken.
    bool next(pim::_Contact& contact);
    // Waits for the reading thread; the reader is the caller's again.
    void finish();

private:
    void readAll();

    AbsImport& m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<pim::_Contact> m_ready;
    // The caller's side: taken from m_ready a batch at a time.
    std::deque<pim::_Contact> m_taken;
    // Records the caller is done with, handed back to be freed by the
    // reading thread that allocated them: a free from another thread
    // contends for the allocator's lock of that thread on every block.
    std::deque<pim::_Contact> m_spent;
    std::deque<pim::_Contact> m_toFree;
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::thread m_thread;
};
