// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What is known of the tree's current node that decides which entries of
// the File menu, the toolbar and the two context menus are offered. One
// rule for all of them, so that no entry is offered that its command would
// then refuse.
struct NodeFacts {
    // The database node behind the current node: 3 device, 5 local
    // database; 0 when there is none (a root, or nothing current).
    int type = 0;
    // Its device kind (1 iPhone, 2 Android), 0 for a local database.
    int kind = 0;
    // A group of it is current rather than the database itself.
    bool group = false;
    // A saved copy of a phone: it is read, never written.
    bool readOnly = false;
    // Its database could not be read when it was last loaded.
    bool unreadable = false;
    // Device nodes other than this one that a transfer can write to.
    int iPhoneTargets = 0;
    int androidTargets = 0;
};

// The entries a node offers, each true when its command can go ahead.
struct NodeEntries {
    bool backup = false;
    bool iPhoneToIPhone = false;
    bool localToIPhone = false;
    bool iPhoneToAndroid = false;
    bool androidToIPhone = false;
    bool androidToAndroid = false;
    bool localToAndroid = false;
    bool exportContacts = false;
    bool printContacts = false;
    bool addContact = false;
    // Edit, set group and delete of contacts, and clearing a phone.
    bool changeContacts = false;
    // Deleting the local database file itself.
    bool deleteDatabase = false;
    // The delete entry of the File menu and toolbar with no contact
    // selected: the database itself for a local database node, its
    // contacts otherwise.
    bool deleteNode = false;
};

NodeEntries g_nodeEntries(const NodeFacts& facts);
