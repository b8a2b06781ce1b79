// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contactpages.h"

#include "model/localdb.h"

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

void LocalDbContactPages::readOrder()
{
    if (m_ordered)
        return;
    m_order = m_db->contactOrder(m_groupId);
    m_ordered = true;
}

qsizetype LocalDbContactPages::count()
{
    readOrder();
    return qsizetype(m_order.size());
}

bool LocalDbContactPages::nextPage(QList<pim::_Contact>& page)
{
    readOrder();
    page.clear();
    // A page of contacts that were all removed meanwhile is skipped.
    while (page.isEmpty() && m_next < m_order.size()) {
        const std::size_t n = std::min<std::size_t>(std::size_t(m_pageSize), m_order.size() - m_next);
        page = m_db->contactsById(m_order.data() + m_next, qsizetype(n));
        m_next += n;
    }
    return !page.isEmpty();
}
