#include "map/calibration_export.h"

#include "map/calibration_store.h"
#include "map/sidecar_calibration.h"
#include "map/sidecar_readers.h"
#include "map/sidecar_writers.h"
#include "picture/map_picture.h"
#include "platform/file_writes.h"
#include "platform/unique_file.h"

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

std::vector<std::string> ReadRecord(const CMapCache& cache) {
    std::vector<std::string> lines;
    std::ifstream in(cache.Dir() + "/" + kExportRecord);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool WrittenByUs(const CMapCache& cache, const std::string& path) {
    const std::string stamp = Stamp(path);
    for (const std::string& line : ReadRecord(cache))
        if (line == stamp)
            return true;
    return false;
}

void Remember(const CMapCache& cache, const std::string& path) {
    std::vector<std::string> lines = ReadRecord(cache);
    const std::string tail = " " + path;
    std::erase_if(lines, [&](const std::string& l) {
        return l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0;
    });
    lines.push_back(Stamp(path));
    std::ofstream out(cache.Dir() + "/" + kExportRecord, std::ios::trunc);
    for (const std::string& line : lines)
        out << line << '\n';
}

bool WriteWhole(const std::string& path, const std::string& text, std::string& problem) {
    const std::string temp = path + ".tmp-" + std::to_string(getpid());
    if (ReplaceFile(path, temp, text) == ReplaceResult::Replaced)
        return true;
    problem = "cannot write \"" + path + "\" (" + std::strerror(errno) + ")";
    return false;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ExportOutcome ExportCalibration(const std::string& mapArg, bool force, const CMapCache& cache) {
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
    CDib dib;
    const MapPictureOutcome picture = OpenMapPicture(mapPath, file.get(), dib, cache, nullptr);
    if (picture.result != MapPictureOutcome::Opened) {
        out.message = picture.message;
        return out;
    }
    CMapCalibration cal;
    if (!ReadStoredCalibration(mapPath, cal)) {
        const SidecarCalibration side =
            FindSidecarCalibration(mapPath, dib.GetWidth(), dib.GetHeight());
        if (side.result != SidecarCalibration::Found) {
            out.message = side.result == SidecarCalibration::Refused
                              ? side.message
                              : "\"" + mapPath + "\" has no calibration: none is stored in " +
                                    kCalibrationStoreName + " and none lies beside it";
            return out;
        }
        cal = side.cal;
    }
    if (cal.m_nX1 == cal.m_nX2 || cal.m_nY1 == cal.m_nY2) {
        out.message = "the calibration of \"" + mapPath + "\" has its points on one line";
        return out;
    }

    const std::string mapFile = MapDataFileName(mapPath);
    const std::string worldFile = WorldFileName(mapPath, 0);
    for (const std::string& target : {mapFile, worldFile}) {
        if (target == mapPath) {
            out.message = "\"" + mapPath + "\" has no extension to name the files after";
            return out;
        }
        if (!force && access(target.c_str(), F_OK) == 0 && !WrittenByUs(cache, target)) {
            out.message = "\"" + target +
                          "\" exists and was not written by an export; "
                          "--force replaces it";
            out.refused = target;
            return out;
        }
    }
    std::string problem;
    if (!cache.Prepare(problem)) {
        out.message = problem;
        return out;
    }
    const GeoModel model = ModelFromCalibration(cal);
    if (!WriteWhole(mapFile, FormatMapDataFile(cal, mapPath, dib.GetWidth(), dib.GetHeight()),
                    problem) ||
        !WriteWhole(worldFile, FormatWorldFile(model), problem)) {
        out.message = problem;
        return out;
    }
    Remember(cache, mapFile);
    Remember(cache, worldFile);

    // What was written must read back as the same calibration.
    const SidecarRead mapBack = ReadMapDataFile(ReadWhole(mapFile));
    const SidecarRead worldBack = ReadWorldFile(ReadWhole(worldFile));
    const CMapCalibration& p = mapBack.points;
    if (mapBack.result != SidecarRead::Usable || !mapBack.hasPoints || p.m_nX1 != cal.m_nX1 ||
        p.m_nY1 != cal.m_nY1 || p.m_nX2 != cal.m_nX2 || p.m_nY2 != cal.m_nY2 ||
        p.m_nLon1 != cal.m_nLon1 || p.m_nLat1 != cal.m_nLat1 || p.m_nLon2 != cal.m_nLon2 ||
        p.m_nLat2 != cal.m_nLat2 || worldBack.result != SidecarRead::Usable ||
        !ModelMatches(worldBack.model, cal)) {
        out.message =
            "the written files do not read back as the calibration of \"" + mapPath + "\"";
        return out;
    }
    out.ok = true;
    out.message = "Wrote \"" + mapFile + "\" and \"" + worldFile + "\"";
    return out;
}
