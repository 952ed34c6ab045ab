#include "track/track_point.h"

#include "platform/c_numbers.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// Fields between commas, empty ones kept.
std::vector<std::string_view> SplitCommas(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t end = line.find(',', start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

// A number that is all of `text`, finite; nothing otherwise.
std::optional<double> ParseWhole(std::string_view text) {
    if (text.empty() || text.size() > 40)
        return std::nullopt;
    for (char c : text)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+'))
            return std::nullopt;
    const double value = ParseCReal(std::string(text));
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

// "YYYY-MM-DDTHH:MM:SS[.mmm]Z" as milliseconds since the epoch.
std::optional<int64_t> ParseUtcTime(std::string_view text) {
    int year, month, day, hour, minute, second, consumed = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &consumed) != 6 ||
        consumed != 19)
        return std::nullopt;
    int millis = 0;
    std::string_view rest = text.substr(19);
    if (rest.size() == 5 && rest[0] == '.') {
        for (char c : rest.substr(1, 3)) {
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return std::nullopt;
            millis = millis * 10 + (c - '0');
        }
        rest = rest.substr(4);
    }
    if (rest != "Z" || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return int64_t(timegm(&tm)) * 1000 + millis;
}

} // namespace

std::string FormatUtcTime(int64_t timeMs) {
    const std::time_t seconds = std::time_t(timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000);
    const int millis = int(timeMs - int64_t(seconds) * 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buffer[96];
    if (millis == 0)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
                      tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec, millis);
    return buffer;
}

std::string FormatUtcDay(int64_t timeMs) {
    return FormatUtcTime(timeMs).substr(0, 10);
}

std::string FormatJournalLine(const TrackPoint& point) {
    std::string line = FormatUtcTime(point.timeMs);
    // A whole second gets its milliseconds too, so that every line has one width of time.
    if (line.size() == 20)
        line.insert(19, ".000");
    line += ',' + FormatCReal("%.7f", point.latitude);
    line += ',' + FormatCReal("%.7f", point.longitude);
    line += ',' + (point.altitude ? FormatCReal("%.1f", *point.altitude) : std::string());
    line += ',' + (point.speedKnots ? FormatCReal("%.1f", *point.speedKnots) : std::string());
    line += point.sessionStart ? ",S\n" : ",\n";
    return line;
}

std::optional<TrackPoint> ParseJournalLine(std::string_view line) {
    const std::vector<std::string_view> fields = SplitCommas(line);
    if (fields.size() != 6 || (fields[5] != "" && fields[5] != "S"))
        return std::nullopt;
    TrackPoint point;
    const std::optional<int64_t> time = ParseUtcTime(fields[0]);
    const std::optional<double> lat = ParseWhole(fields[1]);
    const std::optional<double> lon = ParseWhole(fields[2]);
    if (!time || !lat || !lon || std::fabs(*lat) > 90 || std::fabs(*lon) > 180)
        return std::nullopt;
    point.timeMs = *time;
    point.latitude = *lat;
    point.longitude = *lon;
    if (!fields[3].empty() && !(point.altitude = ParseWhole(fields[3])))
        return std::nullopt;
    if (!fields[4].empty() && !(point.speedKnots = ParseWhole(fields[4])))
        return std::nullopt;
    point.sessionStart = fields[5] == "S";
    return point;
}
