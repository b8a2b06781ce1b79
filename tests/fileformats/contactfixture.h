// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QByteArray>
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

// The logical lines of vCard bytes: continuation lines joined, split at CRLF.
inline QList<QByteArray> unfoldedLines(QByteArray bytes)
{
    bytes.replace("\r\n ", "");
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

} // namespace fixture
