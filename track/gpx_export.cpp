#include "track/gpx_export.h"

#include "map/c_numbers.h"
#include "platform/unique_fd.h"
#include "track/track_journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The creator goes into an attribute.
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
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::string FormatGpx(const std::vector<TrackPoint>& points, const std::string& creator) {
    std::string gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<gpx version=\"1.1\" creator=\"" +
                      EscapeXml(creator) +
                      "\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                      "  <trk>\n";
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

std::string ExportGpx(const std::vector<std::string>& journals, const std::string& outPath,
                      const std::string& creator) {
    std::vector<TrackPoint> points;
    for (const std::string& journal : journals) {
        const std::vector<TrackPoint> day = ReadJournalFile(journal);
        points.insert(points.end(), day.begin(), day.end());
    }
    const std::string text = FormatGpx(points, creator);
    const std::string temporary = outPath + ".part";
    UniqueFd fd(
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd)
        return "Can not write \"" + temporary + "\": " + std::strerror(errno);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd.get(), text.data() + done, text.size() - done);
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            fd.reset();
            unlink(temporary.c_str());
            return "Can not write \"" + temporary + "\": " + std::strerror(error);
        }
        done += size_t(n);
    }
    if (fsync(fd.get()) != 0 || close(fd.release()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return "Can not write \"" + temporary + "\": " + std::strerror(error);
    }
    if (std::rename(temporary.c_str(), outPath.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return "Can not replace \"" + outPath + "\": " + std::strerror(error);
    }
    return {};
}

std::string ExportJournalRange(const std::string& folder, const std::string& fromDay,
                               const std::string& toDay, const std::string& outPath,
                               const std::string& creator) {
    std::vector<std::string> journals;
    for (const JournalDay& day : ListJournalDays(folder))
        if ((fromDay.empty() || day.day >= fromDay) && (toDay.empty() || day.day <= toDay))
            journals.push_back(day.path);
    if (journals.empty())
        return "No track recorded in \"" + folder + "\" for those days.";
    return ExportGpx(journals, outPath, creator);
}
