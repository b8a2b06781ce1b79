// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/abscontactcombinerule.h"

// The duplicate rule of the databases that mirror an iPhone. It follows what
// the phone itself can hold: no group memberships (the phone's contact sync
// carries none), one note per contact, dates and related names that differ
// in kind kept apart (a birthday and an anniversary on the same day are two
// records on the phone), and no custom IM protocol name (the phone's IM
// record has no place for it).
class IOSContactCombineRule : public AbsContactCombineRule {
public:
    IOSContactCombineRule() = default;
    ~IOSContactCombineRule() override;

    QStringList checkEmptyFields(int type) override;
    QStringList checkEqualFieldsMin(int type) override;
    QStringList checkEqualFieldsFull(int type) override;
    QStringList validFields(int type, bool& single) override;
};
