#pragma once

#include "gps/gps_fix.h"
#include "track/track_point.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Turns what the receiver sent into the journal's points, by the rule that
// adds a route point: the latitude or longitude text changed, and both are
// present and not 0/0.
class CTrackRecorder {
public:
    // The points of every epoch (an RMC and/or a GGA of one time of day, with
    // the sentences that follow them) in `chunk`, the bytes one poll tick
    // read, in order. Each epoch's RMC, GGA and VTG are parsed into a fix of
    // the recorder's own as the poll tick parses them, then go through
    // Update. A sentence cut off at the end of the chunk waits for its rest
    // in the next one; so does, for one tick, a last epoch that lacks the RMC
    // or GGA the epoch before it had (the first: either of them).
    // `systemUtcMs` as for Update.
    std::vector<TrackPoint> Record(const std::string& chunk, int64_t systemUtcMs);

    // The point to journal, if the fix moved. It is stamped with the RMC
    // date and time when `rmcTaken` (an RMC was parsed into it just now),
    // else with the GGA time on the last RMC date, the next day once that
    // time of day went back past midnight. Without a date the system's UTC
    // clock `systemUtcMs` [ms] gives the day nearest to it. The first point
    // marks a session start.
    std::optional<TrackPoint> Update(const CGpsFix& fix, bool rmcTaken, int64_t systemUtcMs);

private:
    int64_t Stamp(const CGpsFix& fix, bool rmcTaken, int64_t systemUtcMs);
    void TakeEpoch(std::string_view epoch, unsigned types, int64_t systemUtcMs,
                   std::vector<TrackPoint>& points);

    std::string m_strLatitude;
    std::string m_strLongitude;
    bool m_bStarted = false;
    std::optional<int64_t> m_lastStampMs; // [ms] the last epoch's time
    CGpsFix m_fix;                        // as the epochs taken so far left it
    std::string m_strUnread;              // bytes of earlier chunks still waiting (see Record)
    bool m_bHeld = false;                 // m_strUnread begins with an epoch held back once
    unsigned m_nLastTypes = 0;            // the RMC and GGA the last epoch taken had
};

// "ddmmyy" and "hhmmss[.sss]" as milliseconds since the epoch [UTC]; nothing
// when either is malformed.
std::optional<int64_t> NmeaDateTimeToMs(const std::string& date, const std::string& time);
