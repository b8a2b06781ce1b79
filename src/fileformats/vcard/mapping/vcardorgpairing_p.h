// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vcardrules {

// Pairs a card's ORG and TITLE lines into organizations once the card is
// read, each line read into a part of its own. A run of TITLE lines right
// after a run of as many ORG lines, or the other way round, pairs with it
// in order: ORG, ORG, TITLE, TITLE gives the first title to the first
// company. Any other part fills the last organization while that lacks
// such a part, else starts the next. So ORG, TITLE, ORG, TITLE (as phones
// write them) and TITLE, ORG, TITLE, ORG (as this program's own export
// does) give two organizations, each with its own title; ORG, ORG, TITLE
// (a phone's first organization without a title) gives the title to the
// second; ORG, TITLE, TITLE makes an organization of the second title
// alone. A department line of its own joins the first organization.
// TITLE and ORG lines of one grouped item ("item2.TITLE", "item2.ORG", as
// this program's own export writes organisations that order cannot pair)
// make one organization and pair with no line outside the item.
class OrgPairing {
public:
    enum Kind { COMPANY, TITLE };

    // A part that holds nothing is left out.
    void add(Kind kind, pim::Entity part, const QString& group)
    {
        if (!pim::isBlankEntry(pim::ENTITY_ORG, part))
            m_parts.append({ kind, std::move(part), group.toLower() });
    }
    void addDepartment(const QString& department)
    {
        if (!pim::isBlankText(department))
            m_departments.append(department);
    }
    // Appends the organizations to the contact.
    void settle(pim::_Contact& contact);

private:
    struct Part {
        Kind kind;
        pim::Entity entity;
        QString group;
    };
    QList<Part> m_parts;
    QStringList m_departments;
};

} // namespace vcardrules
