// SPDX-License-Identifier: GPL-3.0-or-later
// Short ways to write contacts in test tables.
#pragma once

#include "model/contact.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>

namespace testkit {

// An entity holding exactly these fields (id 0, no source id).
pim::Entity entityOf(const QVariantMap& fields);

// Postal address fields with the formatted text ("data1") that every
// reader stores beside the parts.
QVariantMap addressOf(QVariantMap fields);

// A contact with this full name and, per entity type, one entity per map.
pim::_Contact contactOf(const QString& fullName, const QMap<int, QList<QVariantMap>>& entities = {});

} // namespace testkit
