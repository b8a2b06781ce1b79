// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/phonedatarow.h"

#include "model/contact.h"

#include <array>

namespace pim {

namespace {

using K = RowColumnKind;
using L = QLatin1String;

QList<RowColumn> labelled(std::initializer_list<RowColumn> rest)
{
    QList<RowColumn> columns { { K::Code, L("data2") }, { K::Text, L("data3") } };
    columns.append(QList<RowColumn>(rest));
    return columns;
}

std::array<QList<RowColumn>, ENTITY_TYPE_LAST + 1> buildLayouts()
{
    std::array<QList<RowColumn>, ENTITY_TYPE_LAST + 1> l;
    l[ENTITY_NAME] = { { K::Text, L("data5") }, { K::Text, L("data2") }, { K::Text, L("data4") },
        { K::Text, L("data3") }, { K::Text, L("data6") } };
    l[ENTITY_PHOTO] = { { K::Bytes, L("data15") } };
    l[ENTITY_PHONE] = labelled({ { K::Text, L("data1") } });
    l[ENTITY_EMAIL] = labelled({ { K::Text, L("data1") } });
    l[ENTITY_NICKNAME] = labelled({ { K::Text, L("data1") } });
    l[ENTITY_EVENT] = labelled({ { K::Date, L("data1") } });
    l[ENTITY_GROUP] = { { K::Text, L("data2") } };
    l[ENTITY_IM] = labelled(
        { { K::Code, L("data5"), kImProtocolCodes }, { K::Text, L("data6") }, { K::Text, L("data1") } });
    l[ENTITY_NOTES] = { { K::Text, L("data1") } };
    l[ENTITY_ORG] = labelled({ { K::Text, L("data1") }, { K::Text, L("data5") }, { K::Text, L("data4") } });
    l[ENTITY_REL] = labelled({ { K::Text, L("data1") } });
    l[ENTITY_ADDR] = labelled({ { K::Text, L("data10") }, { K::Text, L("data8") }, { K::Text, L("data7") },
        { K::Text, L("data4") }, { K::Text, L("data9") } });
    l[ENTITY_URL] = labelled({ { K::Text, L("data1") } });
    return l;
}

} // namespace

const QList<RowColumn>& rowColumnsOf(int type)
{
    static const auto layouts = buildLayouts();
    static const QList<RowColumn> none;
    return isValidEntityType(type) ? layouts[size_t(type)] : none;
}

bool rowHasLabel(int type)
{
    const QList<RowColumn>& columns = rowColumnsOf(type);
    return columns.size() > 1 && columns[1].key == QLatin1String("data3");
}

int entityTypeOfRowKind(QStringView mimeType)
{
    static const struct {
        QLatin1StringView kind;
        int type;
    } kinds[] = {
        { QLatin1StringView("nickname"), ENTITY_NICKNAME },
        { QLatin1StringView("contact_event"), ENTITY_EVENT },
        { QLatin1StringView("relation"), ENTITY_REL },
    };
    if (!mimeType.startsWith(kRowKindPrefix))
        return 0;
    const QStringView kind = mimeType.mid(kRowKindPrefix.size());
    for (const auto& k : kinds) {
        if (kind == k.kind)
            return k.type;
    }
    return 0;
}

} // namespace pim
