#pragma once

#include "gps/gps_fix.h"

#include <cstdio>
#include <functional>
#include <string>

// The fix as one JSON object: the fourteen fields in record order, each
// value the field's bytes with quote, backslash and every byte outside
// printable ASCII escaped (a byte b as \u00bb).
std::string FixToJson(const CGpsFix& fix);

// Runs the receiver without a window on the port of the settings: every
// `intervalMs` [ms] a poll tick, and after each tick that read something
// one line of FixToJson on `out`. A serial receiver that vanishes, or is not
// there at the start, is looked for every second; one line on `err` says it
// went (or is not there yet), one that it is back. A network source says on
// `err` each change of its state (PollResult::status). Stops after `ticks`
// ticks (-1: never) or on SIGINT or SIGTERM. With `recordPath`, every byte
// read also goes to that file. The exit status: 0, or 1 when the port name
// names nothing that can be opened or the recording file cannot be opened
// (said on `err`). `moreFields`, when given, adds fields to each line: it
// returns them as `,"name":value...` for the fix.
int RunMonitor(int ticks, int intervalMs, std::FILE* out, std::FILE* err,
               const std::string& recordPath = {},
               const std::function<std::string(const CGpsFix&)>& moreFields = {});
