// SPDX-License-Identifier: GPL-3.0-or-later
// Structural checks run on untrusted property-list bytes before libplist
// parses them. libplist recurses once per nesting level, expands an object
// once per reference to it (a small file of shared references becomes a
// huge tree) and trusts offsets it has not fully checked; these walks are
// iterative and refuse such input instead.
#pragma once

#include <QString>

#include <cstddef>

namespace plistcheck {

// A binary property list ("bplist00"): trailer, offset table, every object
// reachable from the top object (markers, lengths, bounds), references
// (in range, no cycles, dictionary keys are strings), nesting at most
// maxDepth and at most maxNodes nodes once references are expanded.
// Returns false and says why in reason when any check fails.
bool checkBinary(const char* data, size_t size, int maxDepth, long long maxNodes, QString* reason);

// XML text: valid UTF-8 without NUL characters; element nesting at most
// maxDepth and at most maxNodes elements, counted conservatively over all
// elements outside comments, CDATA and declarations.
bool checkXml(const char* data, size_t size, int maxDepth, long long maxNodes, QString* reason);

} // namespace plistcheck
