#include "track/track_recorder.h"

#include "map/map_calibration.h"

#include "gps/nmea_parser.h"
#include "gps/poll_tick.h"
#include "platform/c_numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t kDayMs = 86400000; // [ms]

// The epoch sentences, as bits of a set.
constexpr unsigned kRmcBit = 1;
constexpr unsigned kGgaBit = 2;

// [byte] An unfinished line longer than this is no sentence (those have at
// most 82 bytes) and is not kept for the next chunk.
constexpr size_t kLongestLine = 1000;

bool AllDigits(const std::string& text, size_t from, size_t count) {
    if (text.size() < from + count)
        return false;
    for (size_t i = from; i < from + count; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

int Two(const std::string& text, size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// "hhmmss[.sss]" as milliseconds since midnight; nothing when malformed.
std::optional<int64_t> TimeOfDayMs(const std::string& time) {
    if (!AllDigits(time, 0, 6))
        return std::nullopt;
    const int hour = Two(time, 0), minute = Two(time, 2), second = Two(time, 4);
    if (hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    // Fractions of a second, to the millisecond.
    int millis = 0;
    if (time.size() > 7 && time[6] == '.') {
        int scale = 100;
        for (size_t i = 7;
             i < time.size() && i < 10 && std::isdigit(static_cast<unsigned char>(time[i])); ++i) {
            millis += (time[i] - '0') * scale;
            scale /= 10;
        }
    }
    return ((hour * 60 + minute) * 60 + second) * int64_t(1000) + millis;
}

// The RMC or GGA sentence that ends `line` (from its last "$"), as an epoch
// bit and its time-of-day field; bit 0 for any other line.
std::pair<unsigned, std::string_view> EpochSentence(std::string_view line) {
    const size_t dollar = line.rfind('$');
    if (dollar == std::string_view::npos)
        return {0, {}};
    const std::string_view sentence = line.substr(dollar);
    if (sentence.size() < 7 || sentence[6] != ',')
        return {0, {}};
    const std::string_view talker = sentence.substr(1, 2), type = sentence.substr(3, 3);
    if (talker != "GP" && !IsOtherGnssTalker(talker))
        return {0, {}};
    const unsigned bit = type == "RMC" ? kRmcBit : type == "GGA" ? kGgaBit : 0;
    const std::string_view fields = sentence.substr(7);
    return {bit, fields.substr(0, fields.find_first_of(",*"))};
}

} // namespace

std::optional<int64_t> NmeaDateTimeToMs(const std::string& date, const std::string& time) {
    const std::optional<int64_t> ofDay = TimeOfDayMs(time);
    if (!ofDay || date.size() != 6 || !AllDigits(date, 0, 6))
        return std::nullopt;
    std::tm tm{};
    const int yy = Two(date, 4);
    tm.tm_year = (yy < 80 ? 2000 : 1900) + yy - 1900;
    tm.tm_mon = Two(date, 2) - 1;
    tm.tm_mday = Two(date, 0);
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1)
        return std::nullopt;
    return int64_t(timegm(&tm)) * 1000 + *ofDay;
}

std::vector<TrackPoint> CTrackRecorder::Record(const std::string& chunk, int64_t systemUtcMs) {
    std::vector<TrackPoint> points;
    m_strUnread += chunk;
    // Only lines ended by a line feed are whole.
    const size_t whole = m_strUnread.rfind('\n') + 1; // 0 without one
    const std::string_view text(m_strUnread.data(), whole);
    size_t epochStart = std::string_view::npos;
    std::string_view epochTime;
    unsigned types = 0;
    for (size_t at = 0; at < whole;) {
        const size_t end = text.find('\n', at);
        const auto [type, time] = EpochSentence(text.substr(at, end - at));
        if (type != 0 && (epochStart == std::string_view::npos || time != epochTime)) {
            if (epochStart != std::string_view::npos)
                TakeEpoch(text.substr(epochStart, at - epochStart), types, systemUtcMs, points);
            epochStart = at;
            epochTime = time;
            types = 0;
        }
        types |= type;
        at = end + 1;
    }
    size_t keep = whole; // where the bytes that wait for the next chunk begin
    if (epochStart != std::string_view::npos) {
        // A tick can end inside a receiver's burst: an epoch without the RMC
        // or GGA its predecessor had (both, before the first) waits for its
        // rest, though only one tick, and not when this tick brought nothing.
        const unsigned expected = m_nLastTypes != 0 ? m_nLastTypes : kRmcBit | kGgaBit;
        const bool wait =
            !chunk.empty() && !(m_bHeld && epochStart == 0) && (expected & ~types) != 0;
        if (wait)
            keep = epochStart;
        else
            TakeEpoch(text.substr(epochStart), types, systemUtcMs, points);
    }
    m_bHeld = keep < whole;
    if (m_strUnread.size() - whole > kLongestLine)
        m_strUnread.resize(whole);
    m_strUnread.erase(0, keep);
    return points;
}

void CTrackRecorder::TakeEpoch(std::string_view epoch, unsigned types, int64_t systemUtcMs,
                               std::vector<TrackPoint>& points) {
    const bool rmcTaken = ParseNewestSentences(m_fix, epoch);
    m_nLastTypes = types;
    if (std::optional<TrackPoint> point = Update(m_fix, rmcTaken, systemUtcMs))
        points.push_back(*point);
}

int64_t CTrackRecorder::Stamp(const CGpsFix& fix, bool rmcTaken, int64_t systemUtcMs) {
    const std::string& time =
        rmcTaken || fix.m_strGgaTime.empty() ? fix.m_strTime : fix.m_strGgaTime;
    std::optional<int64_t> stamp = NmeaDateTimeToMs(fix.m_strDate, time);
    if (stamp && !rmcTaken && m_lastStampMs && *stamp < *m_lastStampMs - kDayMs / 2) {
        // The time of day went back on the last RMC's date: midnight has
        // passed since that RMC.
        *stamp += (*m_lastStampMs - *stamp + kDayMs / 2) / kDayMs * kDayMs;
    } else if (!stamp) {
        // No RMC date yet: the day that puts the time nearest to the
        // system's clock, which may be a little off around midnight.
        if (const std::optional<int64_t> ofDay = TimeOfDayMs(time)) {
            stamp = systemUtcMs - systemUtcMs % kDayMs + *ofDay;
            if (*stamp > systemUtcMs + kDayMs / 2)
                *stamp -= kDayMs;
            else if (*stamp < systemUtcMs - kDayMs / 2)
                *stamp += kDayMs;
        }
    }
    m_lastStampMs = stamp ? *stamp : systemUtcMs;
    return *m_lastStampMs;
}

std::optional<TrackPoint> CTrackRecorder::Update(const CGpsFix& fix, bool rmcTaken,
                                                 int64_t systemUtcMs) {
    // Every epoch is timed, moved or not, so that midnight is seen to pass.
    const int64_t timeMs = Stamp(fix, rmcTaken, systemUtcMs);
    if (fix.m_strLatitude.empty() || fix.m_strLongitude.empty())
        return std::nullopt;
    if (fix.m_strLatitude == m_strLatitude && fix.m_strLongitude == m_strLongitude)
        return std::nullopt;
    const std::optional<double> lat = NmeaToDegrees(fix.m_strLatitude, fix.m_strNorthSouth, "S");
    const std::optional<double> lon = NmeaToDegrees(fix.m_strLongitude, fix.m_strEastWest, "W");
    if (!lat || !lon || std::fabs(*lat) > 90 || std::fabs(*lon) > 180)
        return std::nullopt;
    m_strLatitude = fix.m_strLatitude;
    m_strLongitude = fix.m_strLongitude;
    if (*lat == 0 && *lon == 0)
        return std::nullopt;

    TrackPoint point;
    point.latitude = *lat;
    point.longitude = *lon;
    point.timeMs = timeMs;
    point.altitude = OptionalCReal(fix.m_strAltitude);
    point.speedKnots = OptionalCReal(fix.m_strSpeedKnots);
    point.sessionStart = !m_bStarted;
    m_bStarted = true;
    return point;
}
