#include "track/gpx_export.h"

#include "platform/c_numbers.h"
#include "platform/file_writes.h"
#include "track/track_journal.h"

#include <cerrno>
#include <cstring>

namespace {

// For an attribute or an element's text; a carriage return is kept as one,
// where XML would read it as a line feed.
std::string EscapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string FormatWaypoint(const GpxWaypoint& w) {
    std::string gpx = "  <wpt lat=\"" + FormatCReal("%.7f", w.position.lat) + "\" lon=\"" +
                      FormatCReal("%.7f", w.position.lon) + "\">";
    if (w.altitude)
        gpx += "<ele>" + FormatCReal("%.1f", *w.altitude) + "</ele>";
    if (w.timeMs)
        gpx += "<time>" + FormatUtcTime(*w.timeMs) + "</time>";
    if (!w.name.empty())
        gpx += "<name>" + EscapeXml(w.name) + "</name>";
    if (!w.symbol.empty())
        gpx += "<sym>" + EscapeXml(w.symbol) + "</sym>";
    return gpx + "</wpt>\n";
}

} // namespace

std::string FormatGpx(const std::vector<TrackPoint>& points, const std::string& creator,
                      const std::vector<GpxWaypoint>& waypoints) {
    std::string gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<gpx version=\"1.1\" creator=\"" +
                      EscapeXml(creator) + "\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (const GpxWaypoint& w : waypoints)
        gpx += FormatWaypoint(w);
    if (points.empty() && !waypoints.empty())
        return gpx + "</gpx>\n";
    gpx += "  <trk>\n";
    bool open = false;
    for (size_t i = 0; i < points.size(); ++i) {
        const TrackPoint& p = points[i];
        if (!open || p.sessionStart || p.timeMs - points[i - 1].timeMs > kSegmentGapMs) {
            if (open)
                gpx += "    </trkseg>\n";
            gpx += "    <trkseg>\n";
            open = true;
        }
        gpx += "      <trkpt lat=\"" + FormatCReal("%.7f", p.latitude) + "\" lon=\"" +
               FormatCReal("%.7f", p.longitude) + "\">";
        if (p.altitude)
            gpx += "<ele>" + FormatCReal("%.1f", *p.altitude) + "</ele>";
        gpx += "<time>" + FormatUtcTime(p.timeMs) + "</time></trkpt>\n";
    }
    if (open)
        gpx += "    </trkseg>\n";
    gpx += "  </trk>\n</gpx>\n";
    return gpx;
}

std::string WriteGpxFile(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".part";
    switch (ReplaceFile(path, temporary, bytes)) {
    case ReplaceResult::NotWritten:
        return "Cannot write \"" + temporary + "\": " + std::strerror(errno);
    case ReplaceResult::NotRenamed:
        return "Cannot replace \"" + path + "\": " + std::strerror(errno);
    case ReplaceResult::Replaced:
        break;
    }
    return {};
}

std::string ExportGpx(const std::vector<std::string>& journals, const std::string& outPath,
                      const std::string& creator, const std::vector<GpxWaypoint>& waypoints) {
    std::vector<TrackPoint> points;
    for (const std::string& journal : journals) {
        const std::vector<TrackPoint> day = ReadJournalFile(journal);
        points.insert(points.end(), day.begin(), day.end());
    }
    return WriteGpxFile(outPath, FormatGpx(points, creator, waypoints));
}

std::string ExportJournalRange(const std::string& folder, const std::string& fromDay,
                               const std::string& toDay, const std::string& outPath,
                               const std::string& creator,
                               const std::vector<GpxWaypoint>& waypoints) {
    std::vector<std::string> journals;
    for (const JournalDay& day : ListJournalDays(folder))
        if ((fromDay.empty() || day.day >= fromDay) && (toDay.empty() || day.day <= toDay))
            journals.push_back(day.path);
    if (journals.empty())
        return "No track recorded in \"" + folder + "\" for those days.";
    return ExportGpx(journals, outPath, creator, waypoints);
}
