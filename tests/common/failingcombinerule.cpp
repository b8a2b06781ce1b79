// SPDX-License-Identifier: GPL-3.0-or-later
#include "failingcombinerule.h"

#include <stdexcept>

QStringList FailingCombineRule::validFields(int type, bool& single)
{
    if (type == pim::ENTITY_EMAIL) {
        if (throwNonStd)
            throw 42;
        throw std::runtime_error("rule refused the e-mail");
    }
    return LocalDbCombineRule::validFields(type, single);
}
