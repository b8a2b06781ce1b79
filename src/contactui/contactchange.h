// SPDX-License-Identifier: GPL-3.0-or-later
// One change of an edit, without the dialog that computes it: the phone
// send threads consume change lists and must not pull in widgets.
#pragma once

#include "model/contact.h"

struct _ChangeData {
    // Fixed numbers: the phone send threads test them.
    enum CHANGE_ACTION { ACTION_ADDED = 1, ACTION_UPDATED = 2, ACTION_DELETED = 3 };

    _ChangeData(int type, CHANGE_ACTION action, pim::Entity entity)
        : type(type), action(action), entity(std::move(entity))
    {
    }
    int type;
    CHANGE_ACTION action;
    pim::Entity entity; // an update carries the stored id and srcId
};
