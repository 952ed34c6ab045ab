#include "map/calibration_export.h"

#include "map/calibration_store.h"
#include "map/sidecar_calibration.h"
#include "map/sidecar_readers.h"
#include "map/sidecar_writers.h"
#include "picture/map_cache.h"
#include "picture/map_picture.h"
#include "platform/file_writes.h"
#include "platform/unique_file.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Files an export wrote, one "<size> <mtime ns> <path>" a line, so that a
// later export may replace them but no file of the user's.
constexpr const char* kExportRecord = "exported.txt";

std::string Stamp(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return {};
    return std::to_string(st.st_size) + " " +
           std::to_string(int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec) + " " +
           path;
}

std::string RecordIn(const std::string& dir) {
    return dir + "/" + kExportRecord;
}

std::vector<std::string> ReadRecord(const ExportRecordPlace& place) {
    std::vector<std::string> lines;
    std::ifstream in(RecordIn(place.dir));
    std::ifstream old;
    if (!in.is_open())
        old.open(RecordIn(place.oldDir));
    for (std::string line; std::getline(in.is_open() ? in : old, line);)
        lines.push_back(line);
    return lines;
}

bool WriteWhole(const std::string& path, const std::string& text, std::string& problem) {
    const std::string temp = path + ".tmp-" + std::to_string(getpid());
    if (ReplaceFile(path, temp, text) == ReplaceResult::Replaced)
        return true;
    problem = "cannot write \"" + path + "\" (" + std::strerror(errno) + ")";
    return false;
}

// Notes `paths` as written by an export. False, with the reason in
// `problem`, when the record cannot be written.
bool Remember(const ExportRecordPlace& place, const std::vector<std::string>& paths,
              std::string& problem) {
    std::vector<std::string> lines = ReadRecord(place);
    for (const std::string& path : paths) {
        const std::string tail = " " + path;
        std::erase_if(lines, [&](const std::string& l) {
            return l.size() >= tail.size() &&
                   l.compare(l.size() - tail.size(), tail.size(), tail) == 0;
        });
        lines.push_back(Stamp(path));
    }
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    if (!MakeFolders(place.dir, 0700)) {
        problem = "cannot make \"" + place.dir + "\" (" + std::strerror(errno) + ")";
        return false;
    }
    if (!WriteWhole(RecordIn(place.dir), text, problem))
        return false;
    // Read from the new place from now on.
    if (place.oldDir != place.dir)
        unlink(RecordIn(place.oldDir).c_str());
    return true;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string ExportRecordPlace::DefaultDir() {
    return UserFolder("XDG_STATE_HOME", ".local/state", "ostrel");
}

std::string ExportRecordPlace::DefaultOldDir() {
    return CMapCache::DefaultDir();
}

ExportOutcome ExportCalibration(const std::string& mapArg, bool force,
                                const ExportRecordPlace& record) {
    ExportOutcome out;
    // The store keys a map by its full path, as the program opens it.
    const std::string mapPath = std::filesystem::absolute(mapArg).lexically_normal().string();
    const UniqueFile file = OpenFile(mapPath.c_str(), "rb");
    struct stat st {};
    if (!file || fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
        out.message = "cannot read \"" + mapPath + "\"";
        return out;
    }
    // The size of the picture places a calibration from a file beside it.
    const PictureSize size = ReadPictureSize(mapPath, file.get());
    if (!size.ok) {
        out.message = size.message;
        return out;
    }
    CMapCalibration cal;
    std::string source; // the file beside the picture it came from, if any
    if (!ReadStoredCalibration(mapPath, cal)) {
        const SidecarCalibration side = FindSidecarCalibration(mapPath, size.width, size.height);
        if (side.result != SidecarCalibration::Found) {
            out.message = side.result == SidecarCalibration::Refused
                              ? side.message
                              : "\"" + mapPath + "\" has no calibration: none is stored in " +
                                    kCalibrationStoreName + " and none lies beside it";
            return out;
        }
        cal = side.cal;
        source = side.source;
    }
    if (cal.m_nX1 == cal.m_nX2 || cal.m_nY1 == cal.m_nY2) {
        out.message = "the calibration of \"" + mapPath + "\" has its points on one line";
        return out;
    }

    const std::string mapFile = MapDataFileName(mapPath);
    const std::string worldFile = WorldFileName(mapPath, 0);
    if (mapFile == mapPath || worldFile == mapPath) {
        out.message = "\"" + mapPath + "\" has no extension to name the files after";
        return out;
    }
    // The file the calibration was read from says it already.
    std::vector<std::string> targets;
    for (const std::string& target : {mapFile, worldFile})
        if (target != source)
            targets.push_back(target);
    const std::vector<std::string> recorded =
        force ? std::vector<std::string>() : ReadRecord(record);
    for (const std::string& target : targets) {
        if (!force && access(target.c_str(), F_OK) == 0 &&
            std::find(recorded.begin(), recorded.end(), Stamp(target)) == recorded.end()) {
            out.message = "\"" + target +
                          "\" exists and was not written by an export; "
                          "--force replaces it";
            out.refused = target;
            return out;
        }
    }
    std::string problem;
    const GeoModel model = ModelFromCalibration(cal);
    for (const std::string& target : targets) {
        const std::string text = target == mapFile
                                     ? FormatMapDataFile(cal, mapPath, size.width, size.height)
                                     : FormatWorldFile(model);
        if (!WriteWhole(target, text, problem)) {
            out.message = problem;
            return out;
        }
    }

    // What was written must read back as the same calibration.
    for (const std::string& target : targets) {
        bool same = false;
        if (target == mapFile) {
            const SidecarRead back = ReadMapDataFile(ReadWhole(mapFile));
            const CMapCalibration& p = back.points;
            same = back.result == SidecarRead::Usable && back.hasPoints && p.m_nX1 == cal.m_nX1 &&
                   p.m_nY1 == cal.m_nY1 && p.m_nX2 == cal.m_nX2 && p.m_nY2 == cal.m_nY2 &&
                   p.m_nLon1 == cal.m_nLon1 && p.m_nLat1 == cal.m_nLat1 &&
                   p.m_nLon2 == cal.m_nLon2 && p.m_nLat2 == cal.m_nLat2;
        } else {
            const SidecarRead back = ReadWorldFile(ReadWhole(worldFile));
            same = back.result == SidecarRead::Usable && ModelMatches(back.model, cal);
        }
        if (!same) {
            out.message =
                "the written files do not read back as the calibration of \"" + mapPath + "\"";
            return out;
        }
    }
    std::string written = "\"" + targets.front() + "\"";
    if (targets.size() > 1)
        written += " and \"" + targets.back() + "\"";
    if (std::string problem; !Remember(record, targets, problem)) {
        out.message = "wrote " + written + ", but cannot note them: " + problem +
                      "; a later export replaces them only when asked to";
        return out;
    }
    out.ok = true;
    out.message = "Wrote " + written;
    return out;
}
