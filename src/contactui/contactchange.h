// SPDX-License-Identifier: GPL-3.0-or-later
// One change of a contact edit, as the edit dialog computes it and the
// threads that send edits to phones consume it. Qt Core only, so a worker
// can take a list of changes without pulling in the dialog's widgets.
#pragma once

#include "model/contact.h"

struct ContactChange {
    // Fixed numbers: the phone send threads test them.
    enum ChangeAction { ACTION_ADDED = 1, ACTION_UPDATED = 2, ACTION_DELETED = 3 };

    ContactChange() = default;
    ContactChange(int type, int action, pim::Entity entity)
        : type(type)
        , action(action)
        , entity(std::move(entity))
    {
    }

    int type = 0; // entity type code
    int action = 0; // a ChangeAction
    // An added entity carries the row id it was stored under; an updated or
    // deleted one its stored id and source id.
    pim::Entity entity;
};
