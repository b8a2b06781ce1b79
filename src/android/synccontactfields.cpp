// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/synccontactfields_p.h"

#include "model/contact.h"

#include <array>

namespace synccontact_p {

namespace {

using K = FieldKind;
using L = QLatin1String;

QList<Field> labelled(std::initializer_list<Field> rest)
{
    QList<Field> fields { { K::Word, L("data2") }, { K::Text, L("data3") } };
    fields.append(QList<Field>(rest));
    return fields;
}

std::array<QList<Field>, pim::ENTITY_TYPE_LAST + 1> buildLayouts()
{
    std::array<QList<Field>, pim::ENTITY_TYPE_LAST + 1> l;
    l[pim::ENTITY_NAME] = { { K::Text, L("data5") }, { K::Text, L("data2") }, { K::Text, L("data4") },
        { K::Text, L("data3") }, { K::Text, L("data6") } };
    l[pim::ENTITY_PHOTO] = { { K::Bytes, L("data15") } };
    l[pim::ENTITY_PHONE] = labelled({ { K::Text, L("data1") } });
    l[pim::ENTITY_EMAIL] = labelled({ { K::Text, L("data1") } });
    l[pim::ENTITY_NICKNAME] = labelled({ { K::Text, L("data1") } });
    l[pim::ENTITY_EVENT] = labelled({ { K::Date, L("data1") } });
    l[pim::ENTITY_GROUP] = { { K::Text, L("data2") } };
    l[pim::ENTITY_IM] = labelled(
        { { K::Word, L("data5"), kImProtocolWordType }, { K::Text, L("data6") }, { K::Text, L("data1") } });
    l[pim::ENTITY_NOTES] = { { K::Text, L("data1") } };
    l[pim::ENTITY_ORG]
        = labelled({ { K::Text, L("data1") }, { K::Text, L("data5") }, { K::Text, L("data4") } });
    l[pim::ENTITY_REL] = labelled({ { K::Text, L("data1") } });
    l[pim::ENTITY_ADDR] = labelled({ { K::Text, L("data10") }, { K::Text, L("data8") },
        { K::Text, L("data7") }, { K::Text, L("data4") }, { K::Text, L("data9") } });
    l[pim::ENTITY_URL] = labelled({ { K::Text, L("data1") } });
    return l;
}

} // namespace

const QList<Field>& fieldsOf(int type)
{
    static const auto layouts = buildLayouts();
    static const QList<Field> none;
    return pim::isValidEntityType(type) ? layouts[size_t(type)] : none;
}

bool hasLabel(int type)
{
    const QList<Field>& fields = fieldsOf(type);
    return fields.size() > 1 && fields[1].key == QLatin1String("data3");
}

} // namespace synccontact_p
