#pragma once

#include "gps/gps_fix.h"
#include "track/track_point.h"

#include <cstdint>
#include <optional>
#include <string>

// Turns the fix after each poll into the journal's points, by the rule that
// adds a route point: the latitude or longitude text changed, and both are
// present and not 0/0.
class CTrackRecorder {
public:
    // The point to journal, if the fix moved. It is stamped with the RMC
    // date and time when `rmcTaken` (an RMC was parsed in this poll), else
    // with the GGA time on the last RMC date; without a date the system's
    // UTC day `systemUtcMs` [ms] stands in. The first point marks a session start.
    std::optional<TrackPoint> Update(const CGpsFix& fix, bool rmcTaken, int64_t systemUtcMs);

private:
    std::string m_strLatitude;
    std::string m_strLongitude;
    bool m_bStarted = false;
};

// An NMEA "ddmm.mmmm" (or "dddmm.mmmm") text as degrees, negative in the
// hemisphere `negative` ("S" or "W"); nothing when it is no finite number.
std::optional<double> NmeaToDegrees(const std::string& text, const std::string& hemisphere,
                                    const char* negative);

// "ddmmyy" and "hhmmss[.sss]" as milliseconds since the epoch [UTC]; nothing
// when either is malformed.
std::optional<int64_t> NmeaDateTimeToMs(const std::string& date, const std::string& time);
