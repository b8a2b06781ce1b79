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
// inside it (such work took 18 s beside 24 busy loops and other builds).
inline constexpr long long kStuckMs = 60000;

// Something a test waits for that comes by itself within a few seconds on a
// quiet machine: a simulator's start, a phone found, authorised or answering,
// a worker's end, a file another process writes, the error of a time-out the
// test shortened. The wait ends as it comes, so only a failure costs all of
// it; a machine loaded many times over stays far inside it.
inline constexpr int kWaitMs = 120000;

} // namespace timebound
