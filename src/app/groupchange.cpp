// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/groupchange.h"

#include "model/localdb.h"

QList<pim::_Contact> applyGroupChange(LocalDb& db, QList<pim::_Contact> contacts, unsigned long long groupId,
                                      const QString& groupName)
{
    if (groupId == 0 && !groupName.isEmpty())
        groupId = db.getGroupIdOrAdd(groupName);
    for (pim::_Contact& contact : contacts) {
        QList<pim::Entity>& memberships = contact.entities[pim::ENTITY_GROUP];
        memberships.clear();
        if (groupId == 0)
            db.ungroup(contact.id);
        else
            memberships.append(db.setGroup(contact.id, groupId, groupName));
    }
    return contacts;
}
