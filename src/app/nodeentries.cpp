// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/nodeentries.h"

#include "app/itemmodelmaintree.h"

NodeEntries g_nodeEntries(const NodeFacts& facts)
{
    using Tree = ItemModelMainTree;
    NodeEntries entries;
    const bool device = facts.type == Tree::TYPE_DEVICE;
    const bool local = facts.type == Tree::TYPE_LOCALDB;
    if (!device && !local)
        return entries;
    entries.deleteDatabase = local && !facts.group;
    // Everything else reads the database; a file that cannot be read only
    // leaves the way to delete it.
    if (!facts.unreadable) {
        const bool iPhone = device && facts.kind == Tree::KIND_IOS;
        const bool android = device && facts.kind == Tree::KIND_ANDROID;
        entries.backup = device;
        entries.iPhoneToIPhone = iPhone && facts.iPhoneTargets > 0;
        entries.localToIPhone = local && facts.iPhoneTargets > 0;
        entries.iPhoneToAndroid = iPhone && facts.androidTargets > 0;
        entries.androidToIPhone = android && facts.iPhoneTargets > 0;
        entries.androidToAndroid = android && facts.androidTargets > 0;
        entries.localToAndroid = local && facts.androidTargets > 0;
        entries.exportContacts = true;
        entries.printContacts = true;
        entries.addContact = !facts.readOnly;
        entries.changeContacts = !facts.readOnly;
    }
    entries.deleteNode = entries.deleteDatabase || entries.changeContacts;
    return entries;
}
