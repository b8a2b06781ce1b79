// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/contactreadahead.h"

ContactReadAhead::ContactReadAhead(AbsImport& reader)
    : m_reader(reader)
{
    m_batches.start([this](ReadAheadQueue<Batch>& batches) {
        Batch batch;
        try {
            while (m_reader.hasNext()) {
                batch.push_back(m_reader.nextContact());
                if (batch.size() == kBatch && !batches.put(std::exchange(batch, Batch())))
                    return;
            }
        } catch (...) {
            // The records read before the failure come first.
            if (!batch.empty())
                batches.put(std::move(batch));
            throw;
        }
        if (!batch.empty())
            batches.put(std::move(batch));
    });
}

ContactReadAhead::~ContactReadAhead()
{
    finish();
}

bool ContactReadAhead::next(pim::_Contact& contact)
{
    if (m_next == m_taken.size()) {
        // The emptied batch too: the reading thread allocated its room.
        if (!m_taken.empty())
            m_batches.giveBack(std::exchange(m_taken, Batch()));
        if (!m_spent.empty())
            m_batches.giveBack(std::exchange(m_spent, Batch()));
        if (!m_batches.take(m_taken))
            return false;
        m_next = 0;
    }
    m_spent.push_back(std::move(contact));
    contact = std::move(m_taken[m_next++]);
    return true;
}

void ContactReadAhead::finish()
{
    m_batches.stop();
}
