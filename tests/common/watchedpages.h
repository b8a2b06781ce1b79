// SPDX-License-Identifier: GPL-3.0-or-later
// A walk over another that lets a test look at its walker each time the
// walker asks for a page, and a database of source contacts to walk.
#pragma once

#include "model/contactpages.h"

#include <QSharedPointer>

#include <functional>
#include <memory>

class LocalDb;

class WatchedPages : public ContactPages {
public:
    // `beforePage` runs first at each request, with the number of pages
    // handed out so far (to probe what the walker did meanwhile, or to
    // damage the source); it may be empty.
    WatchedPages(std::unique_ptr<ContactPages> walk, std::function<void(int handed)> beforePage);

    qsizetype count() override { return m_walk->count(); }
    bool nextPage(QList<pim::_Contact>& page) override;
    void rewind() override;

    // The most contacts of pages older than the previous one that someone
    // besides this walk still shared at a request: a walker that keeps only
    // its page in hand (and what it made of it) leaves 0.
    qsizetype mostHeldBehind() const { return m_mostHeldBehind; }

private:
    qsizetype heldBehind() const;

    std::unique_ptr<ContactPages> m_walk;
    std::function<void(int)> m_beforePage;
    // Every page handed out, sharing its contacts with the walker.
    QList<QList<pim::_Contact>> m_handed;
    qsizetype m_mostHeldBehind = 0;
};

namespace testkit {

// A new local database at `path` holding `contacts`, merged in as an import
// merges them.
QSharedPointer<LocalDb> databaseOf(const QString& path, const QList<pim::_Contact>& contacts);

} // namespace testkit
