// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactbuilders.h"

namespace testkit {

pim::Entity entityOf(const QVariantMap& fields)
{
    pim::Entity e;
    e.fields = fields;
    return e;
}

pim::_Contact contactOf(const QString& fullName, const QMap<int, QList<QVariantMap>>& entities)
{
    pim::_Contact c(0, QString(), fullName);
    for (auto it = entities.constBegin(); it != entities.constEnd(); ++it) {
        for (const QVariantMap& fields : it.value())
            c.entities[it.key()].append(entityOf(fields));
    }
    return c;
}

QVariantMap addressOf(QVariantMap fields)
{
    fields.insert(QStringLiteral("data1"), entityOf(fields).formattedAddr());
    return fields;
}

} // namespace testkit
