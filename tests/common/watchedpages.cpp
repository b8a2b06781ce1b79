// SPDX-License-Identifier: GPL-3.0-or-later
#include "watchedpages.h"

#include "model/localdb.h"
#include "model/localdbcombinerule.h"

#include <algorithm>

WatchedPages::WatchedPages(std::unique_ptr<ContactPages> walk, std::function<void(int)> beforePage)
    : m_walk(std::move(walk))
    , m_beforePage(std::move(beforePage))
{
}

bool WatchedPages::nextPage(QList<pim::_Contact>& page)
{
    m_mostHeldBehind = std::max(m_mostHeldBehind, heldBehind());
    if (m_beforePage)
        m_beforePage(int(m_handed.size()));
    const bool more = m_walk->nextPage(page);
    m_handed.append(page);
    return more;
}

void WatchedPages::rewind()
{
    m_walk->rewind();
    m_handed.clear();
}

// A contact counts as held while its name or its entities are shared: the
// copies a walker makes of a contact share both with the page's.
qsizetype WatchedPages::heldBehind() const
{
    qsizetype held = 0;
    for (qsizetype p = 0; p + 1 < m_handed.size(); ++p) {
        const QList<pim::_Contact>& page = m_handed.at(p);
        if (!page.isDetached()) {
            held += page.size();
            continue;
        }
        for (const pim::_Contact& contact : page)
            held += !contact.fullName.isDetached() || !contact.entities.isDetached();
    }
    return held;
}

namespace testkit {

QSharedPointer<LocalDb> databaseOf(const QString& path, const QList<pim::_Contact>& contacts)
{
    QSharedPointer<LocalDb> db(new LocalDb(path, QSharedPointer<LocalDbCombineRule>::create()));
    db->create();
    db->beginEdit();
    for (const pim::_Contact& contact : contacts) {
        bool existed = false;
        db->mergeContact(contact, existed);
    }
    db->endEdit(true);
    return db;
}

} // namespace testkit
