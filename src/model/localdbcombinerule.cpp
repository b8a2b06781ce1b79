// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/localdbcombinerule.h"

namespace {

// The lists that every value-like type (phone, e-mail, date, relation,
// website) shares: matched on the value, compared with sub-type and label.
const QStringList kValue{QStringLiteral("data1")};
const QStringList kValueLabel{QStringLiteral("data1"), QStringLiteral("data2"), QStringLiteral("data3")};

bool isValueType(int type)
{
    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
        return true;
    default:
        return false;
    }
}

} // namespace

LocalDbCombineRule::~LocalDbCombineRule() = default;

QStringList LocalDbCombineRule::checkEmptyFields(int type)
{
    switch (type) {
    case pim::ENTITY_PHOTO:
        return {QStringLiteral("data4")};
    case pim::ENTITY_ORG:
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data4")};
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_GROUP:
    case pim::ENTITY_IM:
    case pim::ENTITY_NOTES:
    case pim::ENTITY_REL:
    case pim::ENTITY_ADDR:
    case pim::ENTITY_URL:
        return kValue;
    default:
        return {};
    }
}

QStringList LocalDbCombineRule::checkEqualFieldsMin(int type)
{
    switch (type) {
    case pim::ENTITY_IM:
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data6")};
    case pim::ENTITY_ORG:
        // A person works for several organisations; one is told from the
        // other by its company, and a new title or department of the same
        // company updates it.
        return {QStringLiteral("data1")};
    case pim::ENTITY_EVENT:
        // A birthday and a wedding anniversary often fall on one day: the
        // kind tells one date from the other.
        return kValueLabel;
    default:
        return checkEmptyFields(type);
    }
}

QStringList LocalDbCombineRule::checkEqualFieldsFull(int type)
{
    if (isValueType(type))
        return kValueLabel;
    switch (type) {
    case pim::ENTITY_IM:
        return {QStringLiteral("data1"), QStringLiteral("data5"), QStringLiteral("data6"),
                QStringLiteral("data2"), QStringLiteral("data3")};
    case pim::ENTITY_ORG:
        return checkEmptyFields(type);
    case pim::ENTITY_ADDR:
        // The formatted text is derived from the parts, so the editor
        // compares the parts, the country code among them.
        return {QStringLiteral("data10"), QStringLiteral("data11"), QStringLiteral("data8"),
                QStringLiteral("data7"), QStringLiteral("data4"), QStringLiteral("data9"),
                QStringLiteral("data2"), QStringLiteral("data3")};
    default:
        return checkEqualFieldsMin(type);
    }
}

QStringList LocalDbCombineRule::validFields(int type, bool& single)
{
    single = false;
    switch (type) {
    case pim::ENTITY_PHOTO:
        single = true;
        return {QStringLiteral("data4"), QStringLiteral("data15")};
    case pim::ENTITY_NICKNAME:
        single = true;
        // The kind ("data2") travels with the value, so a copy keeps it.
        return checkEqualFieldsMin(type) + QStringList{QStringLiteral("data2")};
    case pim::ENTITY_ORG:
        // Not single: merged into one, a second organisation took the
        // first one's place and kept its department. The kind travels with
        // it, a label of the user's own as much as a sub-type.
        return checkEqualFieldsFull(type) + QStringList{QStringLiteral("data2"), QStringLiteral("data3")};
    case pim::ENTITY_GROUP:
        single = true;
        return {QStringLiteral("data1"), QStringLiteral("data2")};
    case pim::ENTITY_NOTES:
        return kValue;
    case pim::ENTITY_ADDR:
        return QStringList{QStringLiteral("data1")} + checkEqualFieldsFull(type);
    default:
        return checkEqualFieldsFull(type);
    }
}

bool LocalDbCombineRule::joinsFirstWithoutKeys(int type)
{
    // A title or department that comes without a company (a card of TITLE
    // alone, a table's job title column) is of the organisation the
    // contact is known by, not a second one.
    return type == pim::ENTITY_ORG;
}

QStringList LocalDbCombineRule::noKindCodes(int type)
{
    // A date whose file named no kind is stored as Other, or without a
    // sub-type at all (a table's date column without its type cell). A
    // stored row cannot tell that from a chosen Other, so it is the same
    // date as one of its day that another file names the kind of: a
    // birthday is not stored twice.
    if (type == pim::ENTITY_EVENT)
        return {QString(), QStringLiteral("0")};
    return {};
}
