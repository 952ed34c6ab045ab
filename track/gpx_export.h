#pragma once

#include "track/track_point.h"

#include <string>
#include <vector>

// More than this between two points starts a new track segment [ms].
constexpr int64_t kSegmentGapMs = 60000;

// `points` as a GPX 1.1 document: one track, a new segment after a gap of
// more than kSegmentGapMs or at a session start, each point with its
// latitude and longitude [degree, 7 decimals], elevation when known, and UTC
// time. `creator` names the program and its version.
std::string FormatGpx(const std::vector<TrackPoint>& points, const std::string& creator);

// The points of the journal files `journals`, in order, written by
// FormatGpx to `outPath` through a temporary file beside it that is renamed
// into place. Empty when written; otherwise the message, and `outPath` is
// as it was.
std::string ExportGpx(const std::vector<std::string>& journals, const std::string& outPath,
                      const std::string& creator);

// ExportGpx of the journal days in `folder` from `fromDay` to `toDay`
// ("YYYY-MM-DD", inclusive; empty for no bound). A message when no day with
// points is in that range, or when writing fails.
std::string ExportJournalRange(const std::string& folder, const std::string& fromDay,
                               const std::string& toDay, const std::string& outPath,
                               const std::string& creator);
