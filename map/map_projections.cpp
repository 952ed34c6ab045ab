#include "map/map_projections.h"

#include "platform/c_numbers.h"

#include <array>
#include <charconv>
#include <cstring>

namespace {

constexpr unsigned kConic = kSetupLatOrigin | kSetupLonOrigin | kSetupFalseOrigin | kSetupParallels;

// The fixed grids carry the projection of the EPSG system beside them; the
// datum is the file's own. The Lambert zones of France are on the Paris
// meridian, 2d20'14.025" E of Greenwich: their lon_0 says so in degrees
// from Greenwich, so that the points' longitudes need no prime meridian.
constexpr std::array kProjections = std::to_array<MapProjection>({
    {"Latitude/Longitude", "+proj=longlat", 0},
    {"Mercator", "+proj=merc", kSetupLonOrigin | kSetupScale | kSetupFalseOrigin},
    {"Transverse Mercator", "+proj=tmerc",
     kSetupLatOrigin | kSetupLonOrigin | kSetupScale | kSetupFalseOrigin},
    {"(UTM) Universal Transverse Mercator", "+proj=utm", 0},
    {"Lambert Conformal Conic", "+proj=lcc", kConic | kSetupScale},
    {"Albers Equal Area", "+proj=aea", kConic},
    {"Polyconic (American)", "+proj=poly", kSetupLatOrigin | kSetupLonOrigin | kSetupFalseOrigin},
    {"Sinusoidal", "+proj=sinu", kSetupLonOrigin | kSetupFalseOrigin},
    {"(BNG) British National Grid", // EPSG:27700
     "+proj=tmerc +lat_0=49 +lon_0=-2 +k_0=0.9996012717 +x_0=400000 +y_0=-100000", 0},
    {"(IG) Irish Grid", // EPSG:29902
     "+proj=tmerc +lat_0=53.5 +lon_0=-8 +k_0=1.000035 +x_0=200000 +y_0=250000", 0},
    {"(SUI) Swiss Grid", // EPSG:21781
     "+proj=somerc +lat_0=46.95240555555556 +lon_0=7.439583333333333 +k_0=1 +x_0=600000 "
     "+y_0=200000",
     0},
    {"(SG) Swedish Grid", // EPSG:3021
     "+proj=tmerc +lat_0=0 +lon_0=15.80827777777778 +k_0=1 +x_0=1500000 +y_0=0", 0},
    {"(NZTM2) New Zealand TM 2000", // EPSG:2193
     "+proj=tmerc +lat_0=0 +lon_0=173 +k_0=0.9996 +x_0=1600000 +y_0=10000000", 0},
    {"(NZG) New Zealand Grid", // EPSG:27200
     "+proj=nzmg +lat_0=-41 +lon_0=173 +x_0=2510000 +y_0=6023150", 0},
    {"(I) France Zone I", // EPSG:27561
     "+proj=lcc +lat_1=49.5 +lat_0=49.5 +lon_0=2.337229166666667 +k_0=0.999877341 +x_0=600000 "
     "+y_0=200000",
     0},
    {"(II) France Zone II", // EPSG:27562
     "+proj=lcc +lat_1=46.8 +lat_0=46.8 +lon_0=2.337229166666667 +k_0=0.99987742 +x_0=600000 "
     "+y_0=200000",
     0},
    {"(III) France Zone III", // EPSG:27563
     "+proj=lcc +lat_1=44.1 +lat_0=44.1 +lon_0=2.337229166666667 +k_0=0.999877499 +x_0=600000 "
     "+y_0=200000",
     0},
    {"(IV) France Zone IV", // EPSG:27564
     "+proj=lcc +lat_1=42.165 +lat_0=42.165 +lon_0=2.337229166666667 +k_0=0.99994471 "
     "+x_0=234.358 +y_0=185861.369",
     0},
});

// "(BNG) British National Grid": "(BNG)" and "British National Grid".
struct NameParts {
    std::string code, words;
};

NameParts Parts(const std::string& name) {
    const size_t close = name.find(')');
    if (name.empty() || name[0] != '(' || close == std::string::npos)
        return {{}, name};
    return {name.substr(0, close + 1), name.substr(close + 1)};
}

} // namespace

std::span<const MapProjection> MapProjections() {
    return kProjections;
}

const MapProjection* FindMapProjection(const std::string& name) {
    const NameParts given = Parts(name);
    for (const MapProjection& p : kProjections) {
        const NameParts own = Parts(p.name);
        if (MapNameKey(name) == MapNameKey(p.name) ||
            (!given.code.empty() && MapNameKey(given.code) == MapNameKey(own.code)) ||
            (given.code.empty() && !own.code.empty() &&
             MapNameKey(given.words) == MapNameKey(own.words)))
            return &p;
    }
    return nullptr;
}

bool IsLatLon(const MapProjection& p) {
    return std::strcmp(p.proj, "+proj=longlat") == 0;
}
bool IsUtm(const MapProjection& p) {
    return std::strcmp(p.proj, "+proj=utm") == 0;
}

std::string MapCrs(const MapProjection& p, const ProjectionSetup& s, int zone, bool south,
                   const MapDatum& datum) {
    std::string t = p.proj;
    auto add = [&t](const char* key, double v) {
        t += std::string(" +") + key + "=" + FixedDecimal(v);
    };
    if (IsUtm(p))
        t += " +zone=" + std::to_string(zone) + (south ? " +south" : "");
    if (p.setup & kSetupLatOrigin)
        add("lat_0", s.lat0);
    if (p.setup & kSetupLonOrigin)
        add("lon_0", s.lon0);
    if (p.setup & kSetupParallels) {
        const double lat1 = s.lat1.value_or(s.lat2.value_or(s.lat0));
        add("lat_1", lat1);
        add("lat_2", s.lat2.value_or(lat1));
    }
    if (p.setup & kSetupScale)
        add("k_0", s.k);
    if (p.setup & kSetupFalseOrigin) {
        add("x_0", s.falseE);
        add("y_0", s.falseN);
    }
    t += std::string(" ") + datum.ellipsoid + " +towgs84=" + FixedDecimal(datum.dx) + "," +
         FixedDecimal(datum.dy) + "," + FixedDecimal(datum.dz);
    if (!IsLatLon(p))
        t += " +units=m";
    return t + " +no_defs +type=crs";
}
