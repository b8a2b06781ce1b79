// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/localdbcombinerule.h"

// The local rule, except that it throws when asked about e-mails: stands for
// any failure in the middle of a contact's merge. With throwNonStd set it
// throws an int, which no std::exception handler catches.
class FailingCombineRule : public LocalDbCombineRule {
public:
    bool throwNonStd = false;
    QStringList validFields(int type, bool& single) override;
};
