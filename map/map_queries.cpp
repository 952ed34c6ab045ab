#include "map/map_queries.h"

#include "map/map_model.h"
#include "picture/map_picture.h"
#include "platform/c_numbers.h"
#include "platform/unique_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

namespace {

struct OpenedMap {
    std::string path; // as the window and the store name it
    int32_t width = 0, height = 0;
    LoadedModel loaded;
    CMapModel Model() const { return {loaded.cal, loaded.georef.get()}; }
};

// The picture's size and its model; false, with the message printed, when
// either is missing.
bool Open(const std::string& mapArg, OpenedMap& map, std::FILE* err) {
    map.path = std::filesystem::absolute(mapArg).lexically_normal().string();
    const UniqueFile file = OpenFile(map.path.c_str(), "rb");
    struct stat st {};
    if (!file || fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(err, "ostrel: cannot read \"%s\"\n", map.path.c_str());
        return false;
    }
    const PictureSize size = ReadPictureSize(map.path, file.get());
    if (!size.ok) {
        std::fprintf(err, "ostrel: %s\n", size.message.c_str());
        return false;
    }
    map.width = size.width;
    map.height = size.height;
    map.loaded = LoadMapModel(map.path, size.width, size.height);
    return true;
}

bool Calibrated(const OpenedMap& map, std::FILE* err) {
    if (map.loaded.source != CalibrationSource::None)
        return true;
    if (map.loaded.refused)
        std::fprintf(err, "ostrel: %s\n", map.loaded.message.c_str());
    std::fprintf(err, "ostrel: \"%s\" is not calibrated\n", map.path.c_str());
    return false;
}

std::string Degrees(double v) {
    return FormatCReal("%.7f", v);
}

} // namespace

int PrintPixelToPosition(const std::string& mapPath, PixelXY pixel, std::FILE* out,
                         std::FILE* err) {
    OpenedMap map;
    if (!Open(mapPath, map, err) || !Calibrated(map, err))
        return 1;
    const std::optional<LonLat> g = map.Model().PositionAt(pixel);
    if (!g) {
        std::fprintf(err, "ostrel: pixel %s,%s has no place on the earth on this map\n",
                     FormatCReal("%.2f", pixel.x).c_str(), FormatCReal("%.2f", pixel.y).c_str());
        return 1;
    }
    std::fprintf(out, "%s %s\n", Degrees(g->lon).c_str(), Degrees(g->lat).c_str());
    return 0;
}

int PrintPositionToPixel(const std::string& mapPath, LonLat position, std::FILE* out,
                         std::FILE* err) {
    OpenedMap map;
    if (!Open(mapPath, map, err) || !Calibrated(map, err))
        return 1;
    const std::optional<PixelXY> p = map.Model().PixelAt(position);
    if (!p) {
        std::fprintf(err, "ostrel: %s,%s cannot be placed on this map\n",
                     Degrees(position.lon).c_str(), Degrees(position.lat).c_str());
        return 1;
    }
    std::fprintf(out, "%s %s\n", FormatCReal("%.2f", p->x).c_str(),
                 FormatCReal("%.2f", p->y).c_str());
    return 0;
}

int PrintMapInfo(const std::string& mapPath, std::FILE* out, std::FILE* err) {
    OpenedMap map;
    if (!Open(mapPath, map, err))
        return 1;
    const LoadedModel& loaded = map.loaded;
    std::fprintf(out, "Picture: %d x %d pixels\n", map.width, map.height);
    std::string source = SourceName(loaded.source);
    if (!loaded.file.empty() && loaded.source != CalibrationSource::None)
        source += " \"" + loaded.file + "\"";
    std::fprintf(out, "Calibration: %s\n", source.c_str());
    if (loaded.source == CalibrationSource::None) {
        if (loaded.refused)
            std::fprintf(out, "Refused: %s\n", loaded.message.c_str());
        return 0;
    }
    const CMapModel model = map.Model();
    std::vector<PixelXY> pixels;
    std::vector<LonLat> positions;
    if (const CGeoreference* g = loaded.georef.get()) {
        std::string system = g->Description();
        if (!g->Crs().empty() && g->Crs() != system && g->Crs().size() < 200)
            system += " (" + g->Crs() + ")";
        std::fprintf(out, "Coordinate system: %s\n", system.c_str());
        if (g->IsBallpark())
            std::fprintf(out, "Datum shift: none known to PROJ, a ballpark one is used\n");
        pixels = g->PointPixels();
        positions = g->PointPositions();
    } else {
        std::fprintf(out, "Coordinate system: longitude/latitude on WGS 84, two points\n");
        const CMapCalibration& c = loaded.cal;
        pixels = {{double(c.m_nX1), double(c.m_nY1)}, {double(c.m_nX2), double(c.m_nY2)}};
        positions = {{c.m_nLon1 / 3600.0, c.m_nLat1 / 3600.0},
                     {c.m_nLon2 / 3600.0, c.m_nLat2 / 3600.0}};
    }
    const PointErrors e = ErrorsOf(
        pixels, positions, [&](PixelXY p) { return model.PositionAt(p); },
        [&](LonLat g) { return model.PixelAt(g); });
    std::fprintf(out, "Points: %zu; largest error %s pixels (%s m), RMS %s pixels (%s m)\n",
                 pixels.size(), FormatCReal("%.2f", e.maxPixels).c_str(),
                 FormatCReal("%.1f", e.maxMetres).c_str(), FormatCReal("%.2f", e.rmsPixels).c_str(),
                 FormatCReal("%.1f", e.rmsMetres).c_str());
    // The picture's outer edges are half a pixel beyond the pixel centres.
    const double right = map.width - 0.5, bottom = map.height - 0.5;
    const struct {
        const char* name;
        PixelXY pixel;
    } places[] = {{"Top left", {-0.5, -0.5}},
                  {"Top right", {right, -0.5}},
                  {"Bottom left", {-0.5, bottom}},
                  {"Bottom right", {right, bottom}},
                  {"Centre", {map.width / 2.0 - 0.5, map.height / 2.0 - 0.5}}};
    std::fprintf(out, "WGS 84 longitude and latitude [deg]:\n");
    for (const auto& place : places) {
        const std::optional<LonLat> g = model.PositionAt(place.pixel);
        if (g)
            std::fprintf(out, "  %-13s %13s %12s\n", place.name, Degrees(g->lon).c_str(),
                         Degrees(g->lat).c_str());
        else
            std::fprintf(out, "  %-13s off the earth\n", place.name);
    }
    return 0;
}
