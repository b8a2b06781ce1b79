// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a Manifest.db file description (a keyed archive, binary or XML
// property list) into a record. Kept apart so that the property-list
// library is reached from this one file.
#pragma once

#include "itunesbackup/mbdbparser.h"

// Fills target, digest, encryptionKey and the numbers of `item` from the
// archive's root object. Returns false, leaving `item` as it was, when the
// blob is no property list or no keyed archive.
bool readFileDescription(const QByteArray& blob, MBDBParser::_MBDBItem& item);
