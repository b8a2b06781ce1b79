// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QStringList>

// The duplicate-merge policy a database merges incoming contacts with: per
// entity type, which field keys decide emptiness, a minimal and a full
// match, and which keys a merge takes over (and whether a contact holds at
// most one entity of the type). Implementations hold no state, so one rule
// object may be asked from any number of threads at once.
class AbsContactCombineRule {
public:
    virtual ~AbsContactCombineRule();

    // Keys whose values, all empty as text, make an entity of the type count
    // as empty (the editor skips such entities).
    virtual QStringList checkEmptyFields(int type) = 0;
    // Keys on which a merge matches an incoming entity of a multi-valued
    // type against the stored ones.
    virtual QStringList checkEqualFieldsMin(int type) = 0;
    // Keys on which the editor decides that an edited entity changed.
    virtual QStringList checkEqualFieldsFull(int type) = 0;
    // Keys a merge takes over from an incoming entity (empty: never write
    // one). Always sets `single`: true when a contact holds at most one
    // entity of the type.
    virtual QStringList validFields(int type, bool& single) = 0;
    // Whether an incoming entity of a multi-valued type that holds none of
    // the minimal keys (an organisation without a company: a title alone)
    // and matches no stored entity joins the contact's first stored entity
    // of the type instead of standing as one of its own. Only when the
    // incoming contact holds no entity of the type with those keys: one
    // that lists its companies and a title alone beside them means a title
    // of its own. False unless a rule says so.
    virtual bool joinsFirstWithoutKeys(int type);
    // For a multi-valued type whose minimal keys hold the sub-type ("data2")
    // and label ("data3"): the sub-type codes, as text (empty text for
    // none), that without a label name no particular kind of the value, as
    // a reader stores one whose file named none. An incoming entity that
    // matches no stored one on every minimal key then matches on the others
    // alone: one of no particular kind goes into the first stored entity of
    // its value and leaves that one's kind, one of a kind goes into the
    // first stored entity of its value that names none and gives it its
    // kind. Empty (the default): entities of different kinds never meet.
    virtual QStringList noKindCodes(int type);
    // The keys whose values together make one value of the type, which a
    // merge takes whole or not at all: an address's parts, which its text
    // is made of, with its country's code. A stored entity that an
    // incoming one of the same minimal keys merges into takes the incoming
    // values under these keys only when the incoming one holds a value
    // under each of them that the stored one holds one under (the
    // incoming values then stand whole); else it keeps its own, so that no
    // entity holds parts of two. Where the entity whose values would go
    // holds one that the other lacks and their compared text leaves out (a
    // postal code without a city or region), the incoming entity does not
    // go into that stored one: no part a file gave is lost. By default an
    // address's parts.
    virtual QStringList wholeValueKeys(int type);

    // True when both entities hold equal values under every key (true for
    // no keys). A key absent on both sides is equal; absent on one side is
    // never equal to a present value, not even empty text. Present values
    // compare as pim::fieldEquals does (text "2" equals int 2).
    static bool isEntityEqual(const pim::Entity& left, const pim::Entity& right, QStringList keys);
    // True when the entity's value under every key is empty as text (true
    // for no keys). Nothing is trimmed: blanks are not empty.
    static bool isEntityEmpty(const pim::Entity& entity, QStringList keys);
};
