#include "track/marks.h"

#include "platform/user_folders.h"
#include "track/gpx_export.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

std::string DefaultMarksPath() {
    return UserFolder("XDG_DATA_HOME", ".local/share", "ostrel") + "/marks.gpx";
}

GpxWaypoint MarkOfFix(LonLat position, std::optional<double> altitude, int64_t timeMs) {
    GpxWaypoint mark;
    mark.position = position;
    mark.altitude = altitude;
    mark.timeMs = timeMs;
    mark.name = FormatUtcTime(timeMs);
    return mark;
}

GpxRead ReadMarks(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return {};
    return ReadGpxFile(path);
}

std::string AppendMark(const std::string& path, const GpxWaypoint& mark,
                       const std::string& creator) {
    GpxRead marks = ReadMarks(path);
    if (!marks.message.empty())
        return marks.message;
    if (!marks.data.routes.empty() || !marks.data.tracks.empty() || marks.skipped > 0)
        return "Cannot add the mark to \"" + path +
               "\": it holds routes, tracks or unreadable points, which rewriting would lose";
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), 0755))
        return "Cannot make the folder of \"" + path + "\": " + std::strerror(errno);
    marks.data.waypoints.push_back(mark);
    return WriteGpxFile(path, FormatGpx({}, creator, marks.data.waypoints));
}
