// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/abscontactcombinerule.h"

// The duplicate rule of the user's local databases and of Android device
// databases: phones, e-mails, relations and websites match on their value;
// dates on their value and kind (a date of no particular kind meets any
// date of its day); instant messaging on user name and protocol; organisations on
// their company (a title alone joins the first one); photo, nickname and group membership are single-valued;
// names are never merged into a stored contact.
class LocalDbCombineRule : public AbsContactCombineRule {
public:
    LocalDbCombineRule() = default;
    ~LocalDbCombineRule() override;

    QStringList checkEmptyFields(int type) override;
    QStringList checkEqualFieldsMin(int type) override;
    QStringList checkEqualFieldsFull(int type) override;
    QStringList validFields(int type, bool& single) override;
    bool joinsFirstWithoutKeys(int type) override;
    QStringList noKindCodes(int type) override;
};
