#pragma once

#include "track/gpx_reader.h"

#include <cstdint>
#include <optional>
#include <string>

// Where Mark Position keeps its marks: $XDG_DATA_HOME/ostrel/marks.gpx, or
// ~/.local/share/ostrel/marks.gpx without it.
std::string DefaultMarksPath();

// The mark of a fix at `position` [deg], `altitude` [m] and `timeMs` [ms UTC]:
// a waypoint named with its UTC time, "2026-12-08T05:41:54Z".
GpxWaypoint MarkOfFix(LonLat position, std::optional<double> altitude, int64_t timeMs);

// The marks in `path`, a GPX file of waypoints; none and no message while
// there is no such file yet.
[[nodiscard]] GpxRead ReadMarks(const std::string& path);

// Adds `mark` after the marks in `path`, making its folders. The whole file
// is written beside it, flushed to the disk and renamed over it, so that a
// crash leaves either the marks before or the marks after. Empty when
// stored; otherwise the message, and the file is as it was: also when it
// cannot be read, or holds more than waypoints, which rewriting would lose.
[[nodiscard]] std::string AppendMark(const std::string& path, const GpxWaypoint& mark,
                                     const std::string& creator);
