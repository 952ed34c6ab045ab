#include "map/georeference.h"
#include "map/map_projections.h"
#include "map/sidecar_writers.h"
#include "platform/c_numbers.h"
#include "platform/paths.h"

#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <proj.h>
#include <set>
#include <sstream>

namespace {

// How far the datum written may put the map's own latitude and longitude
// from where its georeference puts them: about what a three-parameter shift
// is good for. [m]
constexpr double kDatumTolerance = 50;

struct PjDelete {
    void operator()(PJ* p) const { proj_destroy(p); }
};
using PjPtr = std::unique_ptr<PJ, PjDelete>;

// A PROJ context of its own: files are written seldom, and from any thread.
class Context {
public:
    Context() : m_ctx(proj_context_create()) {
        proj_log_level(m_ctx, PJ_LOG_NONE);
        proj_context_set_enable_network(m_ctx, 0);
    }
    ~Context() { proj_context_destroy(m_ctx); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    operator PJ_CONTEXT*() const { return m_ctx; }

private:
    PJ_CONTEXT* m_ctx;
};

// A transform from `from` to `to` with longitude/latitude and
// easting/northing axes, as the georeference uses them.
PjPtr Transform(PJ_CONTEXT* ctx, const PJ* from, const PJ* to) {
    PjPtr raw{from && to ? proj_create_crs_to_crs_from_pj(ctx, from, to, nullptr, nullptr)
                         : nullptr};
    return raw ? PjPtr{proj_normalize_for_visualization(ctx, raw.get())} : nullptr;
}

std::optional<PixelXY> Apply(const PjPtr& pj, PixelXY p) {
    if (!pj)
        return std::nullopt;
    const PJ_COORD out = proj_trans(pj.get(), PJ_FWD, proj_coord(p.x, p.y, 0, 0));
    if (!std::isfinite(out.xy.x) || !std::isfinite(out.xy.y))
        return std::nullopt;
    return PixelXY{out.xy.x, out.xy.y};
}

// The parameters of a PROJ string, "+k" under its other name "k_0".
using Params = std::map<std::string, std::string>;

Params ParseProj(const std::string& text) {
    Params p;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        if (token.size() < 2 || token[0] != '+')
            continue;
        const size_t eq = token.find('=');
        p[token.substr(1, eq == std::string::npos ? eq : eq - 1)] =
            eq == std::string::npos ? "" : token.substr(eq + 1);
    }
    if (p.count("k") && !p.count("k_0"))
        p["k_0"] = p["k"];
    p.erase("k");
    return p;
}

// The projection parameters a .map file can carry, by the setup field
// that carries them.
struct ShapeKey {
    const char* key;
    unsigned field;
};
constexpr ShapeKey kShapeKeys[] = {
    {"lat_0", kSetupLatOrigin}, {"lon_0", kSetupLonOrigin}, {"k_0", kSetupScale},
    {"x_0", kSetupFalseOrigin}, {"y_0", kSetupFalseOrigin}, {"lat_1", kSetupParallels},
    {"lat_2", kSetupParallels},
};

// Parameter `key` of `p` as PROJ takes it when missing; NaN when not a number.
double Value(const Params& p, const std::string& key) {
    const auto it = p.find(key);
    if (it == p.end()) {
        if (key == "k_0")
            return 1;
        if (key == "lat_2")
            return Value(p, "lat_1");
        return 0;
    }
    double v = NAN;
    const std::string& t = it->second;
    const char* begin = t.data() + (!t.empty() && t[0] == '+');
    const auto [end, error] = std::from_chars(begin, t.data() + t.size(), v);
    return error == std::errc() && end == t.data() + t.size() ? v : NAN;
}

// Parameters of one projection [deg], [1], [m] agree to a few millimetres.
bool Same(double a, double b) {
    return std::fabs(a - b) <= 1e-7;
}

// What a .map file says of a coordinate system.
struct MapSystem {
    const MapProjection* projection = nullptr;
    ProjectionSetup setup;
    int zone = 0;
    bool south = false;
};

// The projection of the format that is the source's `p` (lon_0 from
// Greenwich). A fixed grid is matched whatever its false origin, and UTM in
// any transverse Mercator of its zones: the points are written in the file's
// own grid, so these differ from the source by a shift only.
std::optional<MapSystem> MatchProjection(const Params& p) {
    // Keys that say nothing of the projection: the datum is matched by its
    // effect, and the file's grid is in metres whatever the source's unit.
    static const std::set<std::string> kOther = {
        "proj", "zone", "south",   "ellps",   "a",        "b",      "rf",
        "f",    "R",    "datum",   "towgs84", "nadgrids", "units",  "to_meter",
        "pm",   "axis", "no_defs", "type",    "wktext",   "approx", "over"};
    for (const auto& [key, value] : p) {
        bool known = kOther.count(key) != 0;
        for (const ShapeKey& s : kShapeKeys)
            known = known || key == s.key;
        if (!known)
            return std::nullopt;
    }
    const std::string proj = p.count("proj") ? p.at("proj") : std::string();
    MapSystem sys;
    if (proj == "utm") {
        const double zone = Value(p, "zone");
        if (!(zone >= 1 && zone <= 60) || zone != std::floor(zone))
            return std::nullopt;
        for (const MapProjection& m : MapProjections())
            sys.projection = IsUtm(m) ? &m : sys.projection;
        sys.zone = int(zone);
        sys.south = p.count("south") != 0;
        return sys;
    }
    for (const MapProjection& m : MapProjections()) {
        const Params own = ParseProj(m.proj);
        if (own.size() == 1 || own.at("proj") != proj)
            continue;
        bool same = true;
        for (const ShapeKey& s : kShapeKeys)
            if (s.field != kSetupFalseOrigin)
                same = same && Same(Value(p, s.key), Value(own, s.key));
        if (same) {
            sys.projection = &m;
            return sys;
        }
    }
    const double lon0 = Value(p, "lon_0");
    const double zone = (lon0 + 183) / 6;
    if (proj == "tmerc" && Value(p, "lat_0") == 0 && Same(Value(p, "k_0"), 0.9996) && zone >= 1 &&
        zone <= 60 && Same(zone, std::round(zone))) {
        for (const MapProjection& m : MapProjections())
            sys.projection = IsUtm(m) ? &m : sys.projection;
        sys.zone = int(std::lround(zone));
        sys.south = Value(p, "y_0") == 10000000;
        return sys;
    }
    for (const MapProjection& m : MapProjections()) {
        const Params own = ParseProj(m.proj);
        if (own.size() != 1 || own.at("proj") != proj || IsUtm(m))
            continue;
        // The parameters it does not take must be as PROJ takes them missing.
        bool fits = true;
        for (const ShapeKey& s : kShapeKeys)
            if (!(m.setup & s.field))
                fits = fits && (!p.count(s.key) || Same(Value(p, s.key), Value({}, s.key)));
        if (!fits)
            return std::nullopt;
        ProjectionSetup& s = sys.setup;
        s.lat0 = Value(p, "lat_0");
        s.lon0 = lon0;
        s.k = Value(p, "k_0");
        s.falseE = Value(p, "x_0");
        s.falseN = Value(p, "y_0");
        if (p.count("lat_1"))
            s.lat1 = Value(p, "lat_1");
        if (p.count("lat_2"))
            s.lat2 = Value(p, "lat_2");
        for (double v :
             {s.lat0, s.lon0, s.k, s.falseE, s.falseN, s.lat1.value_or(0), s.lat2.value_or(0)})
            if (!std::isfinite(v))
                return std::nullopt;
        sys.projection = &m;
        return sys;
    }
    return std::nullopt;
}

// The semi-axes of the ellipsoid of `crs` [m].
std::optional<PixelXY> Ellipsoid(PJ_CONTEXT* ctx, const PJ* crs) {
    const PjPtr e{crs ? proj_get_ellipsoid(ctx, crs) : nullptr};
    double a = 0, b = 0;
    if (!e || !proj_ellipsoid_get_parameters(ctx, e.get(), &a, &b, nullptr, nullptr))
        return std::nullopt;
    return PixelXY{a, b};
}

// The prime meridian of `crs` [deg east of Greenwich].
std::optional<double> PrimeMeridian(PJ_CONTEXT* ctx, const PJ* crs) {
    const PjPtr geo{proj_crs_get_geodetic_crs(ctx, crs)};
    const PjPtr pm{geo ? proj_get_prime_meridian(ctx, geo.get()) : nullptr};
    double lon = 0, unit = 0; // [unit], [rad per unit]
    if (!pm || !proj_prime_meridian_get_parameters(ctx, pm.get(), &lon, &unit, nullptr))
        return std::nullopt;
    return lon * unit * 180 / M_PI;
}

// The map's own longitude (from Greenwich) and latitude [deg] at map
// coordinates `m`, on the datum of `crs`.
std::optional<LonLat> OwnLonLat(PJ_CONTEXT* ctx, const PJ* crs, PixelXY m) {
    const PjPtr geo{proj_crs_get_geodetic_crs(ctx, crs)};
    const std::optional<PixelXY> own = Apply(Transform(ctx, crs, geo.get()), m);
    const PjPtr cs{geo ? proj_crs_get_coordinate_system(ctx, geo.get()) : nullptr};
    const std::optional<double> pm = PrimeMeridian(ctx, crs);
    double unit = 0; // [rad per unit of the axes]
    if (!own || !cs || !pm ||
        !proj_cs_get_axis_info(ctx, cs.get(), 0, nullptr, nullptr, nullptr, &unit, nullptr, nullptr,
                               nullptr))
        return std::nullopt;
    return LonLat{own->x * unit * 180 / M_PI + *pm, own->y * unit * 180 / M_PI};
}

// The datum whose model puts the map's own latitude and longitude at the
// centre `centre` of the picture where the georeference puts it: among those
// on the map's ellipsoid, and WGS 84 (a system PROJ knows no shift for
// keeps its latitudes and longitudes on WGS 84).
const MapDatum* MatchDatum(PJ_CONTEXT* ctx, const PJ* crs, const CGeoreference& g, PixelXY centre) {
    const std::optional<LonLat> own = OwnLonLat(ctx, crs, g.PixelToMap().Apply(centre));
    const std::optional<LonLat> there = g.PositionAt(centre);
    const PjPtr geo{proj_crs_get_geodetic_crs(ctx, crs)};
    const std::optional<PixelXY> axes = Ellipsoid(ctx, geo.get());
    const PjPtr wgs84{proj_create(ctx, "EPSG:4326")};
    if (!own || !there || !axes || !wgs84)
        return nullptr;
    const MapProjection& latLon = MapProjections().front();
    const MapDatum* best = nullptr;
    double bestMetres = kDatumTolerance;
    for (const MapDatum& d : MapDatums()) {
        const PjPtr datum{proj_create(ctx, MapCrs(latLon, {}, 0, false, d).c_str())};
        const std::optional<PixelXY> a = Ellipsoid(ctx, datum.get());
        if (!a || (&d != &MapDatums().front() &&
                   !(std::fabs(a->x - axes->x) < 0.5 && std::fabs(a->y - axes->y) < 0.5)))
            continue;
        const std::optional<PixelXY> p =
            Apply(Transform(ctx, datum.get(), wgs84.get()), {own->lon, own->lat});
        const double metres = p ? GeodesicMetres({p->x, p->y}, *there) : HUGE_VAL;
        if (metres < bestMetres) {
            best = &d;
            bestMetres = metres;
        }
    }
    return best;
}

// A grid coordinate [m] to the millimetre, never "-0.000".
std::string Millimetres(double v) {
    return FixedDecimal(std::round(v * 1000) / 1000 + 0.0, 3);
}

// Degrees and decimal minutes with their letter, to 1e-6 minute (2 mm).
std::string DegMinText(double degrees, char positive, char negative) {
    const long long micro = std::llround(std::fabs(degrees) * 60e6); // [1e-6 minute]
    return Padded(std::to_string(micro / 60000000), 4) + "," +
           Padded(FixedDecimal(double(micro % 60000000) / 1e6, 6), 10) + "," +
           (degrees < 0 ? negative : positive);
}

} // namespace

// The points' latitudes, longitudes and grid coordinates are worked out in
// the file's own model from where the georeference places them, so that the
// file places the map where the georeference does, even where PROJ relates
// the map's datum to WGS 84 otherwise than the format's three parameters.
std::string FormatGeoreferencedMapDataFile(const CGeoreference& g, const std::string& mapPath,
                                           int32_t w, int32_t h, std::string& problem) {
    if (w < 2 || h < 2) {
        problem = "the picture is too small to carry points";
        return {};
    }
    Context ctx;
    const PjPtr crs{proj_create(ctx, g.Crs().empty() ? "EPSG:4326" : g.Crs().c_str())};
    const char* projText = crs ? proj_as_proj_string(ctx, crs.get(), PJ_PROJ_4, nullptr) : nullptr;
    const std::optional<double> pm = crs ? PrimeMeridian(ctx, crs.get()) : std::nullopt;
    if (!projText || !pm) {
        problem = "PROJ cannot describe its coordinate system";
        return {};
    }
    Params params = ParseProj(projText);
    // The format counts longitudes from Greenwich; a Latitude/Longitude
    // map's points are turned into them by PROJ.
    if (*pm != 0 && params.count("proj") && params.at("proj") != "longlat")
        params["lon_0"] = FixedDecimal(Value(params, "lon_0") + *pm);
    const std::optional<MapSystem> sys = MatchProjection(params);
    if (!sys) {
        problem = "the .map format has no name for the projection of \"" + g.Description() + "\"";
        return {};
    }
    const PixelXY pixels[] = {{0, 0},
                              {double(w - 1), 0},
                              {0, double(h - 1)},
                              {double(w - 1), double(h - 1)},
                              {double((w - 1) / 2), double((h - 1) / 2)}};
    const MapDatum* datum = MatchDatum(ctx, crs.get(), g, pixels[4]);
    if (!datum) {
        problem = "the .map format has no name for the datum of \"" + g.Description() + "\"";
        return {};
    }
    const MapProjection& projection = *sys->projection;
    const PjPtr wgs84{proj_create(ctx, "EPSG:4326")};
    const PjPtr mapCrs{
        proj_create(ctx, MapCrs(projection, sys->setup, sys->zone, sys->south, *datum).c_str())};
    const PjPtr geoCrs{
        proj_create(ctx, MapCrs(MapProjections().front(), {}, 0, false, *datum).c_str())};
    const PjPtr toGrid = Transform(ctx, wgs84.get(), mapCrs.get());
    const PjPtr toGeo = Transform(ctx, wgs84.get(), geoCrs.get());
    const bool grid = !IsLatLon(projection);

    const std::string name = BaseName(mapPath);
    std::string t;
    auto line = [&t](const std::string& s) { t += s + "\r\n"; };
    line("OziExplorer Map Data File Version 2.2");
    line(SplitExtension(name).stem);
    line(name);
    line("1 ,Map Code,");
    line(std::string(datum->name) + ",WGS 84,   0.0000,   0.0000,WGS 84");
    line("Reserved 1");
    line("Reserved 2");
    line("Magnetic Variation,,,E");
    line(std::string("Map Projection,") + projection.name +
         ",PolyCal,No,AutoCalOnly,No,BSBUseWPX,No");
    for (size_t i = 0; i < 30; ++i) {
        const std::string n = (i < 9 ? "Point0" : "Point") + std::to_string(i + 1);
        if (i >= std::size(pixels)) {
            line(n + ",xy,     ,     ,in, deg,    ,          ,N,    ,          ,W, grid,   ,"
                     "           ,           ,N");
            continue;
        }
        const PixelXY px = pixels[i];
        const std::optional<LonLat> at = g.PositionAt(px);
        const std::optional<PixelXY> ll = at ? Apply(toGeo, {at->lon, at->lat}) : std::nullopt;
        const std::optional<PixelXY> en =
            at && grid ? Apply(toGrid, {at->lon, at->lat}) : std::nullopt;
        if (!ll || (grid && !en)) {
            problem = "a corner of the picture lies outside its coordinate system";
            return {};
        }
        line(n + ",xy," + Padded(std::to_string(int32_t(px.x)), 5) + "," +
             Padded(std::to_string(int32_t(px.y)), 5) + ",in, deg," + DegMinText(ll->y, 'N', 'S') +
             "," + DegMinText(ll->x, 'E', 'W') + ", grid," +
             Padded(IsUtm(projection) ? std::to_string(sys->zone) : std::string(), 3) + "," +
             (en ? Padded(Millimetres(en->x), 14) + "," + Padded(Millimetres(en->y), 14)
                 : std::string(",")) +
             "," + (sys->south ? "S" : "N"));
    }
    std::string setup = "Projection Setup,";
    const ProjectionSetup& s = sys->setup;
    const unsigned use = projection.setup;
    auto field = [&setup](bool used, double v) {
        setup += (used ? FixedDecimal(v) : std::string()) + ",";
    };
    field(use & kSetupLatOrigin, s.lat0);
    field(use & kSetupLonOrigin, s.lon0);
    field(use & kSetupScale, s.k);
    field(use & kSetupFalseOrigin, s.falseE);
    field(use & kSetupFalseOrigin, s.falseN);
    field(s.lat1 && (use & kSetupParallels), s.lat1.value_or(0));
    field(s.lat2 && (use & kSetupParallels), s.lat2.value_or(0));
    line(setup + ",,");
    line("Map Feature = MF ; Map Comment = MM     ; Map Boundary = MB");
    line("IWH,Map Image Width/Height," + std::to_string(w) + "," + std::to_string(h));
    return t;
}
