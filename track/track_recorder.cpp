#include "track/track_recorder.h"

#include "platform/c_numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

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

std::optional<double> OptionalNumber(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const double value = ParseCReal(text);
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

} // namespace

std::optional<double> NmeaToDegrees(const std::string& text, const std::string& hemisphere,
                                    const char* negative) {
    const double value = ParseCReal(text);
    if (!std::isfinite(value))
        return std::nullopt;
    const double degrees = std::trunc(value / 100);
    const double result = degrees + (value - degrees * 100) / 60;
    return hemisphere == negative ? -result : result;
}

std::optional<int64_t> NmeaDateTimeToMs(const std::string& date, const std::string& time) {
    if (date.size() != 6 || !AllDigits(date, 0, 6) || !AllDigits(time, 0, 6))
        return std::nullopt;
    std::tm tm{};
    const int yy = Two(date, 4);
    tm.tm_year = (yy < 80 ? 2000 : 1900) + yy - 1900;
    tm.tm_mon = Two(date, 2) - 1;
    tm.tm_mday = Two(date, 0);
    tm.tm_hour = Two(time, 0);
    tm.tm_min = Two(time, 2);
    tm.tm_sec = Two(time, 4);
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60)
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
    return int64_t(timegm(&tm)) * 1000 + millis;
}

std::optional<TrackPoint> CTrackRecorder::Update(const CGpsFix& fix, bool rmcTaken,
                                                 int64_t systemUtcMs) {
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
    const std::string& time =
        rmcTaken || fix.m_strGgaTime.empty() ? fix.m_strTime : fix.m_strGgaTime;
    std::string date = fix.m_strDate;
    if (date.size() != 6) {
        // No RMC date yet: today's, as the system knows it.
        const std::time_t seconds = std::time_t(systemUtcMs / 1000);
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1,
                      tm.tm_year % 100);
        date = buffer;
    }
    const std::optional<int64_t> stamp = NmeaDateTimeToMs(date, time);
    point.timeMs = stamp ? *stamp : systemUtcMs;
    point.altitude = OptionalNumber(fix.m_strAltitude);
    point.speedKnots = OptionalNumber(fix.m_strSpeedKnots);
    point.sessionStart = !m_bStarted;
    m_bStarted = true;
    return point;
}
