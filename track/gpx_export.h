#pragma once

#include "track/gpx_data.h"
#include "track/track_point.h"

#include <string>
#include <vector>

// More than this between two points starts a new track segment [ms].
constexpr int64_t kSegmentGapMs = 60000;

// `points` as a GPX 1.1 document: `waypoints` first, each with its latitude
// and longitude [degree, 7 decimals], elevation [m, 1 decimal] and UTC time
// when known, name and symbol when not empty; then one track, a new segment
// after a gap of more than kSegmentGapMs or at a session start, each point
// with its latitude and longitude, elevation when known, and UTC time. The
// track is left out when it would be empty beside waypoints. `creator` names
// the program and its version.
std::string FormatGpx(const std::vector<TrackPoint>& points, const std::string& creator,
                      const std::vector<GpxWaypoint>& waypoints = {});

// The points of the journal files `journals`, in order, with `waypoints`,
// written by FormatGpx to `outPath` through a temporary file beside it that
// is renamed into place. Empty when written; otherwise the message, and
// `outPath` is as it was.
std::string ExportGpx(const std::vector<std::string>& journals, const std::string& outPath,
                      const std::string& creator, const std::vector<GpxWaypoint>& waypoints = {});

// ExportGpx of the journal days in `folder` from `fromDay` to `toDay`
// ("YYYY-MM-DD", inclusive; empty for no bound), with `waypoints`. A message
// when no day with points is in that range, or when writing fails.
std::string ExportJournalRange(const std::string& folder, const std::string& fromDay,
                               const std::string& toDay, const std::string& outPath,
                               const std::string& creator,
                               const std::vector<GpxWaypoint>& waypoints = {});

// Writes `bytes` to `path` through the temporary file `path`.part, flushed to
// the disk and renamed into place. Empty when written; otherwise the
// message, and `path` is as it was.
[[nodiscard]] std::string WriteGpxFile(const std::string& path, const std::string& bytes);
