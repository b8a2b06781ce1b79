// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/absimport.h"
#include "model/readaheadqueue.h"

#include <vector>

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
    using Batch = std::vector<pim::_Contact>;

    AbsImport& m_reader;
    // The caller's side: the batch being handed out, and the records the
    // caller is done with, given back a batch at a time.
    Batch m_taken;
    std::size_t m_next = 0;
    Batch m_spent;
    ReadAheadQueue<Batch> m_batches { kAhead / kBatch };
};
