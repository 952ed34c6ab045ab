#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One position of the track journal.
struct TrackPoint {
    int64_t timeMs = 0;               // [ms] since 1970-01-01 00:00 UTC
    double latitude = 0;              // [degree], north positive
    double longitude = 0;             // [degree], east positive
    std::optional<double> altitude;   // [m] above mean sea level, when GGA gave one
    std::optional<double> speedKnots; // [kn]
    bool sessionStart = false;        // the first point since the program started
};

// The journal's line of `point`, line feed included:
// "2026-12-08T05:41:54.250Z,37.9421000,23.6465000,12.3,5.2,S" with the
// altitude and speed fields empty when unknown and "S" only on a session's
// first point.
std::string FormatJournalLine(const TrackPoint& point);

// The point of one journal line (without its line feed); nothing for a line
// that is not one, a torn one included.
std::optional<TrackPoint> ParseJournalLine(std::string_view line);

// `timeMs` as "YYYY-MM-DDTHH:MM:SS.mmmZ" (UTC), the milliseconds left out when
// they are 0.
std::string FormatUtcTime(int64_t timeMs);

// The UTC day of `timeMs` as "YYYY-MM-DD".
std::string FormatUtcDay(int64_t timeMs);
