// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/abscontactcombinerule.h"

AbsContactCombineRule::~AbsContactCombineRule() = default;

bool AbsContactCombineRule::joinsFirstWithoutKeys(int)
{
    return false;
}

QStringList AbsContactCombineRule::noKindCodes(int)
{
    return {};
}

QStringList AbsContactCombineRule::wholeValueKeys(int type)
{
    if (type != pim::ENTITY_ADDR)
        return {};
    // Street lines, city, region, postal code, country and its code.
    return { QStringLiteral("data4"), QStringLiteral("data7"), QStringLiteral("data8"), QStringLiteral("data9"),
             QStringLiteral("data10"), QStringLiteral("data11") };
}

bool AbsContactCombineRule::isEntityEqual(const pim::Entity& left, const pim::Entity& right, QStringList keys)
{
    static const QVariant absent;
    for (const QString& key : keys) {
        // Looked up in place: a merge compares every incoming entity with
        // every stored one, and copying each value out showed in profiles.
        const auto li = left.fields.constFind(key);
        const auto ri = right.fields.constFind(key);
        const QVariant& l = li != left.fields.cend() ? li.value() : absent;
        const QVariant& r = ri != right.fields.cend() ? ri.value() : absent;
        // An invalid value stands for an absent key (a lookup through
        // operator[] leaves one behind); only two absent values are equal.
        if (!l.isValid() || !r.isValid()) {
            if (l.isValid() != r.isValid())
                return false;
            continue;
        }
        if (l.typeId() == QMetaType::QString && r.typeId() == QMetaType::QString) {
            if (*static_cast<const QString*>(l.constData()) != *static_cast<const QString*>(r.constData()))
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
