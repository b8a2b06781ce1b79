// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QString>

#include <functional>

class LocalDb;

// Puts contacts into one group of `db`, or takes them out of every group,
// inside an edit the calling thread holds open. groupId 0 with a name picks
// the group of that name, adding it when there is none; groupId 0 with an
// empty name takes the contacts out of their groups. Returns the contacts
// with their group memberships replaced by the new one (none when taken
// out), as a phone is told of them. Throws the database's Error; the caller
// rolls its edit back.
// `step`, when given, is called with the number of contacts done before
// each next one (and may throw to stop).
QList<pim::_Contact> applyGroupChange(LocalDb& db, QList<pim::_Contact> contacts, unsigned long long groupId,
                                      const QString& groupName,
                                      const std::function<void(qsizetype)>& step = {});
