#include "map/sidecar_calibration.h"

#include "map/proj_context.h"
#include "map/sidecar_readers.h"
#include "platform/paths.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sys/stat.h>

namespace {

// Sidecar files are small; anything longer is not one. [byte]
constexpr std::streamsize kMaxSidecarBytes = 1 << 20;

// The text of a .prj file as PROJ takes it: without the byte order mark
// some editors write, or the blank around it.
std::string CrsText(const std::string& prj) {
    const size_t bom = prj.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    const size_t a = prj.find_first_not_of(" \t\r\n", bom);
    if (a == std::string::npos)
        return {};
    return prj.substr(a, prj.find_last_not_of(" \t\r\n") - a + 1);
}

bool ReadSmallFile(const std::string& path, std::string& text) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(size_t(std::min<std::streamsize>(st.st_size, kMaxSidecarBytes)), '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    return true;
}

} // namespace

std::string MapDataFileName(const std::string& mapPath) {
    return SplitExtension(mapPath).stem + ".map";
}

std::string WorldFileName(const std::string& mapPath, int style) {
    const auto [stem, ext] = SplitExtension(mapPath);
    if (style == 0 && ext.size() >= 2)
        return stem + "." + ext.front() + ext.back() + "w";
    if (style == 1 && !ext.empty())
        return stem + "." + ext + "w";
    return stem + ".wld";
}

SidecarCalibration CalibrationFromRead(const std::string& source, CalibrationSource kind,
                                       SidecarRead read, int32_t w, int32_t h) {
    SidecarCalibration out;
    out.source = source;
    out.kind = kind;
    const std::string name = "\"" + BaseName(source) + "\"";
    std::string problem;
    if (read.result == SidecarRead::Usable && !read.hasPoints) {
        // Degrees per pixel rarely land on whole arc-seconds: the
        // georeference keeps them exact, where two points of the store's
        // kind would be off by up to half an arc-second.
        const double x1 = w / 8, y1 = h / 8;
        const double x2 = std::max(x1 + 1, w - 1.0 - w / 8), y2 = std::max(y1 + 1, h - 1.0 - h / 8);
        read.def = {{},
                    {{x1, y1, read.model.LonAt(x1), read.model.LatAt(y1), false},
                     {x2, y2, read.model.LonAt(x2), read.model.LatAt(y2), false}}};
        read.result = SidecarRead::Georeferenced;
    }
    if (read.result == SidecarRead::Georeferenced) {
        out.georef = CGeoreference::Create(read.def, problem);
        if (!out.georef) {
            out.result = SidecarCalibration::Refused;
            out.message = "The calibration file " + name + " is ignored: " + problem + ".";
        } else {
            out.result = SidecarCalibration::Found;
            if (out.georef->IsBallpark())
                out.message = "The datum of " + name +
                              " has no known shift to WGS 84: positions may be off by "
                              "up to a few hundred metres";
            else if (kind == CalibrationSource::MapDataFile && out.georef->PointPixels().size() > 2)
                out.message = "Calibration from " + name + ": largest point error " +
                              std::to_string(std::lround(out.georef->Errors().maxMetres)) + " m";
        }
    } else if (read.result == SidecarRead::Unknown) {
        out.result = SidecarCalibration::Refused;
        out.message = "The position in " + name + " is in " + read.problem +
                      ", which Ostrel cannot use: the map opens uncalibrated. "
                      "Calibrate it with two right-clicks.";
    } else if (read.result == SidecarRead::Damaged) {
        out.result = SidecarCalibration::Refused;
        out.message = "The calibration file " + name + " is ignored: " + read.problem + ".";
    } else {
        out.result = SidecarCalibration::Found;
        out.cal = read.points;
    }
    return out;
}

std::string PrjFileName(const std::string& mapPath) {
    return SplitExtension(mapPath).stem + ".prj";
}

SidecarCalibration ReadSidecarFile(const std::string& mapPath, CalibrationSource kind, int32_t w,
                                   int32_t h) {
    SidecarCalibration out;
    std::string text;
    if (kind == CalibrationSource::MapDataFile) {
        const std::string name = MapDataFileName(mapPath);
        if (name != mapPath && ReadSmallFile(name, text))
            out = CalibrationFromRead(name, kind, ReadMapDataFile(text), w, h);
        return out;
    }
    if (kind == CalibrationSource::GeoTiff) {
        const std::string lower = AsciiLower(SplitExtension(mapPath).ext);
        if (lower != "tif" && lower != "tiff")
            return out;
        const SidecarRead geo = ReadGeoTiff(mapPath);
        // A TIFF without GeoTIFF tags is just a picture.
        if (geo.result != SidecarRead::Damaged || !geo.problem.empty())
            out = CalibrationFromRead(mapPath, kind, geo, w, h);
        return out;
    }
    if (kind != CalibrationSource::WorldFile)
        return out;
    for (int style = 0; style < 3; ++style) {
        const std::string name = WorldFileName(mapPath, style);
        if (name == mapPath || !ReadSmallFile(name, text))
            continue;
        // The .prj beside it names the system of its numbers, as ESRI WKT.
        const std::string prjName = PrjFileName(mapPath);
        std::string prj;
        const bool hasPrj = prjName != mapPath && ReadSmallFile(prjName, prj);
        const SidecarRead read =
            ReadWorldFile(text, hasPrj ? std::optional(CrsText(prj)) : std::nullopt, w, h);
        std::string problem;
        if (read.result == SidecarRead::Georeferenced && hasPrj &&
            !CProjContext().Crs(read.def.crs, problem)) {
            out.source = name;
            out.kind = kind;
            out.result = SidecarCalibration::Refused;
            out.message = "The calibration file \"" + BaseName(name) +
                          "\" is ignored: PROJ cannot read the coordinate system in \"" +
                          BaseName(prjName) + "\" (" + problem + ").";
        } else if (read.result == SidecarRead::Unknown && !hasPrj) {
            out.source = name;
            out.kind = kind;
            out.result = SidecarCalibration::Refused;
            out.message = "The position in \"" + BaseName(name) + "\" is in map units, and no \"" +
                          BaseName(prjName) +
                          "\" beside it says which: the map opens uncalibrated. Put the map's "
                          ".prj file beside it, or calibrate it with two right-clicks.";
        } else {
            out = CalibrationFromRead(name, kind, read, w, h);
        }
        return out;
    }
    return out;
}

SidecarCalibration FindSidecarCalibration(const std::string& mapPath, int32_t w, int32_t h) {
    for (CalibrationSource kind : {CalibrationSource::MapDataFile, CalibrationSource::WorldFile,
                                   CalibrationSource::GeoTiff}) {
        SidecarCalibration found = ReadSidecarFile(mapPath, kind, w, h);
        if (found.result != SidecarCalibration::None)
            return found;
    }
    return {};
}
