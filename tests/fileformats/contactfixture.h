// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QPair>
#include <QVariant>

#include <initializer_list>

// Small builders for the contacts the export tests feed their writers.
namespace fixture {

using Fields = std::initializer_list<QPair<const char*, QVariant>>;

inline pim::Entity entity(Fields fields)
{
    pim::Entity e;
    for (const auto& f : fields)
        e.fields.insert(QString::fromLatin1(f.first), f.second);
    return e;
}

inline pim::_Contact contact(const QString& fullName,
                             std::initializer_list<QPair<int, pim::Entity>> entities = {})
{
    pim::_Contact c;
    c.fullName = fullName;
    for (const auto& e : entities)
        c.entities[e.first].append(e.second);
    return c;
}

} // namespace fixture
