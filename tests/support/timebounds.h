// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A test proves behaviour, not speed: a time bound in a test catches only
// what no load of the machine explains, a freeze of seconds or a wait that
// missed its time-out. How fast things are is printed by the benchmarks in
// bench/ (and by tests, as information).
namespace timebound {

// Something that should happen at once (a cancel taking effect, a call that
// must not wait, the longest pause of the GUI thread): a freeze when longer.
inline constexpr long long kFreezeMs = 2000;

// Work of a second or two on a quiet machine whose broken form ran for
// minutes (a layout or parse that went over what it had done again and
// again): stuck when longer. A machine loaded many times over stays well
// inside it.
inline constexpr long long kStuckMs = 30000;

} // namespace timebound
