#include "map/calibration_export.h"

#include "map/calibration_store.h"
#include "map/map_model.h"
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
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// True when `b` puts the corners and the centre of a w x h picture where
// `a` does, to a hundredth of a pixel.
bool SameModel(const CMapModel& a, const CMapModel& b, int32_t w, int32_t h) {
    for (const PixelXY p : {PixelXY{0, 0}, PixelXY{w - 1.0, 0}, PixelXY{0, h - 1.0},
                            PixelXY{w - 1.0, h - 1.0}, PixelXY{w / 2.0, h / 2.0}}) {
        const std::optional<LonLat> g = a.PositionAt(p);
        const std::optional<PixelXY> q = g ? b.PixelAt(*g) : std::nullopt;
        if (!q || !(std::hypot(q->x - p.x, q->y - p.y) < 0.01))
            return false;
    }
    return true;
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
    // The model the map's window uses: the store's line, else a file beside it.
    const LoadedModel loaded = LoadMapModel(mapPath, size.width, size.height);
    if (loaded.source == CalibrationSource::None) {
        out.message = loaded.refused
                          ? loaded.message
                          : "\"" + mapPath + "\" has no calibration: none is stored in " +
                                kCalibrationStoreName + " and none lies beside it";
        return out;
    }
    const CMapCalibration& cal = loaded.cal;
    const CGeoreference* georef = loaded.georef.get();
    if (!georef && (cal.m_nX1 == cal.m_nX2 || cal.m_nY1 == cal.m_nY2)) {
        out.message = "the calibration of \"" + mapPath + "\" has its points on one line";
        return out;
    }

    const std::string mapFile = MapDataFileName(mapPath);
    const std::string worldFile = WorldFileName(mapPath, 0);
    const std::string prjFile = PrjFileName(mapPath);
    if (mapFile == mapPath || worldFile == mapPath || prjFile == mapPath) {
        out.message = "\"" + mapPath + "\" has no extension to name the files after";
        return out;
    }
    // What each file says. A georeference also names its system in a .prj;
    // the two-point calibration is in degrees on WGS 84, as world files are
    // read without one.
    std::vector<std::pair<std::string, std::string>> files; // path, text
    std::string skipped; // why a file could not be written, if one could not
    if (georef) {
        std::string problem;
        const std::string map =
            FormatGeoreferencedMapDataFile(*georef, mapPath, size.width, size.height, problem);
        if (!map.empty())
            files.emplace_back(mapFile, map);
        else
            skipped = "no .map file: " + problem;
        const std::string prj = FormatPrjFile(georef->Crs(), problem);
        if (!prj.empty()) {
            files.emplace_back(worldFile, FormatWorldFile(georef->PixelToMap()));
            files.emplace_back(prjFile, prj);
        } else {
            skipped += (skipped.empty() ? "" : "; ") + std::string("no world file: ") + problem;
        }
    } else {
        files.emplace_back(mapFile, FormatMapDataFile(cal, mapPath, size.width, size.height));
        files.emplace_back(worldFile, FormatWorldFile(ModelFromCalibration(cal)));
    }
    // The files the calibration was read from say it already.
    std::erase_if(files, [&](const auto& f) {
        return f.first == loaded.file ||
               (loaded.source == CalibrationSource::WorldFile && f.first == prjFile);
    });
    if (files.empty()) {
        out.message = "nothing to write for \"" + mapPath +
                      "\": " + (skipped.empty() ? "its calibration files are there" : skipped);
        return out;
    }
    const std::vector<std::string> recorded =
        force ? std::vector<std::string>() : ReadRecord(record);
    for (const auto& [target, text] : files) {
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
    std::vector<std::string> targets;
    for (const auto& [target, text] : files) {
        if (!WriteWhole(target, text, problem)) {
            out.message = problem;
            return out;
        }
        targets.push_back(target);
    }

    // What was written must read back as the same model.
    const CMapModel model{cal, georef};
    for (CalibrationSource kind : {CalibrationSource::MapDataFile, CalibrationSource::WorldFile}) {
        const std::string& written = kind == CalibrationSource::MapDataFile ? mapFile : worldFile;
        if (std::find(targets.begin(), targets.end(), written) == targets.end())
            continue;
        const SidecarCalibration back = ReadSidecarFile(mapPath, kind, size.width, size.height);
        if (back.result != SidecarCalibration::Found ||
            !SameModel(model, {back.cal, back.georef.get()}, size.width, size.height)) {
            out.message =
                "the written files do not read back as the calibration of \"" + mapPath + "\"";
            return out;
        }
    }
    std::string written;
    for (size_t n = 0; n < targets.size(); ++n)
        written += (n == 0                    ? ""
                    : n + 1 == targets.size() ? " and "
                                              : ", ") +
                   ("\"" + targets[n] + "\"");
    if (std::string problem; !Remember(record, targets, problem)) {
        out.message = "wrote " + written + ", but cannot note them: " + problem +
                      "; a later export replaces them only when asked to";
        return out;
    }
    out.ok = true;
    out.message = "Wrote " + written + (skipped.empty() ? "" : " (" + skipped + ")");
    return out;
}
