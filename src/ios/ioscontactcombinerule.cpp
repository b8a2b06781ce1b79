// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/ioscontactcombinerule.h"

namespace {

const QString kData1 = QStringLiteral("data1");
const QString kData2 = QStringLiteral("data2");
const QString kData3 = QStringLiteral("data3");
const QString kData4 = QStringLiteral("data4");
const QString kData5 = QStringLiteral("data5");

} // namespace

IOSContactCombineRule::~IOSContactCombineRule() = default;

QStringList IOSContactCombineRule::checkEmptyFields(int type)
{
    switch (type) {
    case pim::ENTITY_PHOTO:
        return {kData4};
    case pim::ENTITY_ORG:
        return {kData1, kData5, kData4};
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_IM:
    case pim::ENTITY_NOTES:
    case pim::ENTITY_REL:
    case pim::ENTITY_ADDR:
    case pim::ENTITY_URL:
        return {kData1};
    default:
        return {};
    }
}

QStringList IOSContactCombineRule::checkEqualFieldsMin(int type)
{
    switch (type) {
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
        return {kData1, kData2};
    case pim::ENTITY_IM:
        return {kData1, kData5};
    default:
        return checkEmptyFields(type);
    }
}

QStringList IOSContactCombineRule::checkEqualFieldsFull(int type)
{
    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
        return {kData1, kData2, kData3};
    case pim::ENTITY_IM:
        return {kData1, kData5, kData2, kData3};
    case pim::ENTITY_ADDR:
        // The formatted text follows from the parts, so an edit compares
        // the parts.
        return {QStringLiteral("data10"), QStringLiteral("data11"), QStringLiteral("data8"),
                QStringLiteral("data7"), kData4, QStringLiteral("data9"), kData2, kData3};
    default:
        return checkEmptyFields(type);
    }
}

QStringList IOSContactCombineRule::validFields(int type, bool& single)
{
    single = false;
    switch (type) {
    case pim::ENTITY_PHOTO:
        single = true;
        return {kData4, QStringLiteral("data15")};
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_NOTES:
    case pim::ENTITY_ORG:
        single = true;
        return checkEmptyFields(type);
    case pim::ENTITY_ADDR:
        return QStringList{kData1} + checkEqualFieldsFull(type);
    default:
        return checkEqualFieldsFull(type);
    }
}
