// SPDX-License-Identifier: GPL-3.0-or-later
#include "abscontactcombinerule.h"

AbsContactCombineRule::~AbsContactCombineRule() = default;

bool AbsContactCombineRule::isEntityEqual(const pim::Entity& left, const pim::Entity& right, QStringList keys)
{
    for (const QString& key : keys) {
        const QVariant l = left.fields.value(key);
        const QVariant r = right.fields.value(key);
        // An invalid value stands for an absent key (a lookup through
        // operator[] leaves one behind); only two absent values are equal.
        if (!l.isValid() || !r.isValid()) {
            if (l.isValid() != r.isValid())
                return false;
            continue;
        }
        if (!pim::fieldEquals(l, r))
            return false;
    }
    return true;
}

bool AbsContactCombineRule::isEntityEmpty(const pim::Entity& entity, QStringList keys)
{
    for (const QString& key : keys) {
        const QVariant v = entity.fields.value(key);
        const bool empty = v.typeId() == QMetaType::QByteArray ? v.toByteArray().isEmpty()
                                                               : pim::fieldText(v).isEmpty();
        if (!empty)
            return false;
    }
    return true;
}
