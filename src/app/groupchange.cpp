// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/groupchange.h"

#include "model/localdb.h"

QList<pim::_Contact> applyGroupChange(LocalDb& db, QList<pim::_Contact> contacts, unsigned long long groupId,
                                      const QString& groupName, const std::function<void(qsizetype)>& step)
{
    if (groupId == 0 && !groupName.isEmpty())
        groupId = db.getGroupIdOrAdd(groupName);
    qsizetype done = 0;
    for (pim::_Contact& contact : contacts) {
        if (step)
            step(done++);
        QList<pim::Entity>& memberships = contact.entities[pim::ENTITY_GROUP];
        memberships.clear();
        if (groupId == 0)
            db.ungroup(contact.id);
        else
            memberships.append(db.setGroup(contact.id, groupId, groupName));
    }
    return contacts;
}
