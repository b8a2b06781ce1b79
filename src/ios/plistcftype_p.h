// SPDX-License-Identifier: GPL-3.0-or-later
// The part shared by every copy of one PlistCFType handle.
#pragma once

#include <QLoggingCategory>

#include <plist/plist.h>

Q_DECLARE_LOGGING_CATEGORY(lcPlist)

class PlistCFTypePrivacy {
public:
    PlistCFTypePrivacy(plist_t node, bool owned)
        : node(node)
        , owned(owned)
    {
    }
    ~PlistCFTypePrivacy()
    {
        if (node && owned)
            plist_free(node);
    }
    PlistCFTypePrivacy(const PlistCFTypePrivacy&) = delete;
    PlistCFTypePrivacy& operator=(const PlistCFTypePrivacy&) = delete;

    plist_t p() const { return node; }

    plist_t node;
    bool owned;
};
