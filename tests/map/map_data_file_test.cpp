#include "map/georeference.h"
#include "map/map_projections.h"
#include "map/sidecar_readers.h"
#include "map/sidecar_writers.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

// A .map file of a 1000 x 1000 picture.
std::string MapFile(const std::string& datum, const std::string& projection,
                    const std::string& points, const std::string& setup = ",,,,,,,,,",
                    const std::string& extra = "") {
    return "OziExplorer Map Data File Version 2.2\r\nmap\r\nmap.png\r\n1 ,Map Code,\r\n" + datum +
           ",WGS 84,   0.0000,   0.0000,WGS 84\r\nReserved 1\r\nReserved 2\r\n"
           "Magnetic Variation,,,E\r\nMap Projection," +
           projection + ",PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n" + points +
           "Point09,xy,     ,     ,in, deg,    ,        ,N,    ,        ,W, grid,   ,      ,"
           "      ,N\r\nProjection Setup," +
           setup + "\r\n" + extra + "IWH,Map Image Width/Height,1000,1000\r\n";
}

std::string Point(int i, int x, int y, const std::string& geo, const std::string& grid) {
    char head[64];
    std::snprintf(head, sizeof head, "Point%02d,xy,%5d,%5d,in, deg,", i, x, y);
    return head + geo + ", grid," + grid + "\r\n";
}

std::string DegMin(double v, char positive, char negative) {
    const double a = std::fabs(v);
    char text[64];
    std::snprintf(text, sizeof text, "%4d,%8.4f,%c", int(a), (a - int(a)) * 60,
                  v < 0 ? negative : positive);
    return text;
}

const std::string kNoGeo = "    ,        ,N,    ,        ,E";
const std::string kNoGrid = "   ,           ,           ,N";

std::string Geo(double lat, double lon) {
    return DegMin(lat, 'N', 'S') + "," + DegMin(lon, 'E', 'W');
}

std::string Grid(const char* zone, double e, double n, char hemisphere) {
    char text[96];
    std::snprintf(text, sizeof text, "%3s,%12.3f,%12.3f,%c", zone, e, n, hemisphere);
    return text;
}

// Pixels (0, 0), (1000, 0) and (0, 1000), 1 m apart, from easting e0 and
// northing n0: pixel (500, 250) lies at e0 + 500, n0 - 250. With `msf` the
// pixels are written divided by it.
std::string GridPoints(double e0, double n0, const char* zone = "", char hemisphere = 'N',
                       int msf = 1) {
    return Point(1, 0, 0, kNoGeo, Grid(zone, e0, n0, hemisphere)) +
           Point(2, 1000 / msf, 0, kNoGeo, Grid(zone, e0 + 1000, n0, hemisphere)) +
           Point(3, 0, 1000 / msf, kNoGeo, Grid(zone, e0, n0 - 1000, hemisphere));
}

// The same pixels at lat0, lon0 and 0.01 degree east and south of it on the
// map's datum: pixel (500, 250) lies at lat0 - 0.0025, lon0 + 0.005.
std::string GeoPoints(double lat0, double lon0) {
    return Point(1, 0, 0, Geo(lat0, lon0), kNoGrid) +
           Point(2, 1000, 0, Geo(lat0, lon0 + 0.01), kNoGrid) +
           Point(3, 0, 1000, Geo(lat0 - 0.01, lon0), kNoGrid);
}

const char* const kNtf = "NTF France";

} // namespace

// Catches a projection or datum built with a wrong parameter, a setup field
// read into the wrong place, a fixed grid mistyped, a lost hemisphere or
// zone, the Paris meridian ignored, MSF not applied, and grid points taken for
// latitudes. Each expected position is the pixel's through cs2cs (commands
// beside each row, to "+to +proj=longlat +datum=WGS84").
TEST(MapDataFile, PlacesEachProjectionAndDatumAsPROJDoes) {
    struct Case {
        const char* what;
        std::string text;
        PixelXY pixel;
        double lon, lat; // [deg] WGS 84
    } cases[] = {
        // echo 400500 5799750 | cs2cs +proj=utm +zone=33 +datum=WGS84
        {"UTM north",
         MapFile("WGS 84", "(UTM) Universal Transverse Mercator",
                 GridPoints(400000, 5800000, "33")),
         {500, 250},
         13.53953264,
         52.33901940},
        {"MSF",
         MapFile("WGS 84", "(UTM) Universal Transverse Mercator",
                 GridPoints(400000, 5800000, "33", 'N', 2), ",,,,,,,,,", "MSF,2\r\n"),
         {500, 250},
         13.53953264,
         52.33901940},
        // echo 330500 6249750 | cs2cs +proj=utm +zone=56 +south +datum=WGS84
        {"UTM south, by its code",
         MapFile("WGS84", "(UTM)", GridPoints(330000, 6250000, "56", 'S')),
         {500, 250},
         151.16726238,
         -33.87898775},
        // echo 530500 180750 | cs2cs <EPSG:27700's projection> +ellps=airy
        //   +towgs84=375,-111,431
        {"BNG, by its words",
         MapFile("Ord Srvy Grt Britn", "British National Grid", GridPoints(530000, 181000)),
         {500, 250},
         -0.12085704,
         51.51056201},
        // echo 315500 233750 | cs2cs <EPSG:29902's> +ellps=mod_airy +towgs84=506,-122,611
        {"IG",
         MapFile("Ireland 1965", "(IG) Irish Grid", GridPoints(315000, 234000)),
         {500, 250},
         -6.26668106,
         53.34161121},
        // echo 600500 199750 | cs2cs <EPSG:21781's> +ellps=bessel
        //   +towgs84=674.374,15.056,405.346
        {"SUI",
         MapFile("CH-1903", "(SUI) Swiss Grid", GridPoints(600000, 200000)),
         {500, 250},
         7.44520025,
         46.94883384},
        // echo 1628500 6579750 | cs2cs <EPSG:3021's> +ellps=bessel +towgs84=500,-37,569
        {"SG",
         MapFile("RT 90", "(SG) Swedish Grid", GridPoints(1628000, 6580000)),
         {500, 250},
         18.06217960,
         59.31904679},
        // echo 1757500 5919750 | cs2cs <EPSG:2193's> +ellps=GRS80 +towgs84=0,0,0
        {"NZTM2",
         MapFile("NZGD2000", "(NZTM2) New Zealand TM 2000", GridPoints(1757000, 5920000)),
         {500, 250},
         174.76671167,
         -36.85505446},
        // echo 2667500 6478750 | cs2cs <EPSG:27200's> +ellps=intl +towgs84=84,-22,209
        {"NZG",
         MapFile("Geodetic Datum 1949", "(NZG) New Zealand Grid", GridPoints(2667000, 6479000)),
         {500, 250},
         174.76243282,
         -36.87940357},
        // echo 650500 325750 | cs2cs <EPSG:27561's, +pm=paris> +towgs84=-168,-60,320
        {"France I",
         MapFile(kNtf, "(I) France Zone I", GridPoints(650000, 326000)),
         {500, 250},
         3.05014391,
         50.62837691},
        // echo 601500 427750 | cs2cs <EPSG:27562's, +pm=paris> +towgs84=-168,-60,320
        {"France II",
         MapFile(kNtf, "(II) France Zone II", GridPoints(601000, 428000)),
         {500, 250},
         2.35693250,
         48.84809810},
        // echo 700500 147750 | cs2cs <EPSG:27563's, +pm=paris> +towgs84=-168,-60,320
        {"France III",
         MapFile(kNtf, "(III) France Zone III", GridPoints(700000, 148000)),
         {500, 250},
         3.58188004,
         43.62285123},
        // echo 580500 184750 | cs2cs <EPSG:27564's, +pm=paris> +towgs84=-168,-60,320
        {"France IV",
         MapFile(kNtf, "(IV) France Zone IV", GridPoints(580000, 185000)),
         {500, 250},
         9.34197375,
         41.94055511},
        // echo 3565500 5932750 | cs2cs +proj=tmerc +lat_0=0 +lon_0=9 +k=1 +x_0=3500000
        //   +y_0=0 +ellps=bessel +towgs84=634,27,451
        {"TM",
         MapFile("Potsdam Rauenberg DHDN", "Transverse Mercator", GridPoints(3565000, 5933000),
                 "0,9,1,3500000,0,,,,,"),
         {500, 250},
         9.98648463,
         53.52217880},
        // echo 100500 499750 | cs2cs +proj=lcc +lat_0=33 +lon_0=-97 +lat_1=33 +lat_2=45
        //   +x_0=0 +y_0=0 +ellps=clrk66 +towgs84=-8,160,176
        {"LCC",
         MapFile("NAD27 CONUS", "Lambert Conformal Conic", GridPoints(100000, 500000),
                 "33,-97,,0,0,33,45,,,"),
         {500, 250},
         -95.85771679,
         37.51265027},
        // echo 1000500 5999750 | cs2cs +proj=merc +lon_0=0 +k=1 +x_0=0 +y_0=0 +datum=WGS84
        {"Mercator",
         MapFile("WGS 84", "Mercator", GridPoints(1000000, 6000000), ",0,1,0,0,,,,,"),
         {500, 250},
         8.98764442,
         47.54378904},
        // echo 500 1499750 | cs2cs +proj=aea +lat_0=23 +lon_0=-96 +lat_1=29.5 +lat_2=45.5
        //   +x_0=0 +y_0=0 +ellps=GRS80 +towgs84=0,0,0
        {"Albers",
         MapFile("NAD83", "Albers Equal Area", GridPoints(0, 1500000), "23,-96,,0,0,29.5,45.5,,,"),
         {500, 250},
         -95.99436285,
         36.54473603},
        // echo 5000500 8999750 | cs2cs +proj=poly +lat_0=0 +lon_0=-54 +x_0=5000000
        //   +y_0=10000000 +datum=WGS84
        {"Polyconic",
         MapFile("WGS 84", "Polyconic (American)", GridPoints(5000000, 9000000),
                 "0,-54,,5000000,10000000,,,,,"),
         {500, 250},
         -53.99545224,
         -9.04520477},
        // echo 1000500 4999750 | cs2cs +proj=sinu +lon_0=0 +x_0=0 +y_0=0 +datum=WGS84
        {"Sinusoidal",
         MapFile("WGS 84", "Sinusoidal", GridPoints(1000000, 5000000)),
         {500, 250},
         12.71866739,
         45.13322426},
        // echo 37.605 55.7475 | cs2cs +proj=longlat +ellps=krass +towgs84=28,-130,-95
        {"Pulkovo",
         MapFile("Pulkovo 1942 (1)", "Latitude/Longitude", GeoPoints(55.75, 37.6)),
         {500, 250},
         37.60308792,
         55.74746661},
        // echo -104.995 39.9975 | cs2cs +proj=longlat +ellps=clrk66 +towgs84=-8,160,176
        {"NAD27",
         MapFile("NAD27 CONUS", "Latitude/Longitude", GeoPoints(40, -105)),
         {500, 250},
         -104.99557526,
         39.99748810},
        // echo 139.765 35.6775 | cs2cs +proj=longlat +ellps=bessel +towgs84=-148,507,685
        {"Tokyo",
         MapFile("Tokyo", "Latitude/Longitude", GeoPoints(35.68, 139.76)),
         {500, 250},
         139.76178052,
         35.68076692},
        {"WGS 84, three points",
         MapFile("WGS 84", "Latitude/Longitude", GeoPoints(50, 10)),
         {500, 250},
         10.005,
         49.9975},
        // The zone (32) from the points' longitude; pixel (1000, 1000) is at
        // g(0,1000) + g(1000,0) - g(0,0) of the points' grid coordinates by
        //   cs2cs +proj=longlat +ellps=intl +to +proj=utm +zone=32 +ellps=intl, then
        // echo 687273.4105 5318341.3865 | cs2cs +proj=utm +zone=32 +ellps=intl
        //   +towgs84=-87,-98,-121
        {"UTM by latitude and longitude",
         MapFile("European 1950", "(UTM) Universal Transverse Mercator", GeoPoints(48, 11.5)),
         {1000, 1000},
         11.50894410,
         47.98915455},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        [&c] {
            const SidecarRead read = ReadMapDataFile(c.text);
            ASSERT_EQ(read.result, SidecarRead::Georeferenced) << read.problem;
            std::string problem;
            const std::unique_ptr<CGeoreference> g = CGeoreference::Create(read.def, problem);
            ASSERT_TRUE(g) << problem << ": " << read.def.crs;
            const std::optional<LonLat> at = g->PositionAt(c.pixel);
            ASSERT_TRUE(at);
            EXPECT_LT(GeodesicMetres(*at, {c.lon, c.lat}), 1.0) << at->lon << " " << at->lat;
            const std::optional<PixelXY> px = g->PixelAt({c.lon, c.lat});
            ASSERT_TRUE(px);
            EXPECT_LT(std::hypot(px->x - c.pixel.x, px->y - c.pixel.y), 0.5);
        }();
    }
}

// Catches a datum row that PROJ cannot build (a mistyped ellipsoid shows
// only when a file names it) and a name that finds another row.
TEST(MapDataFile, EveryDatumIsFoundAndBuilt) {
    const MapProjection& latLon = *FindMapProjection("Latitude/Longitude");
    for (const MapDatum& d : MapDatums()) {
        EXPECT_EQ(FindMapDatum(d.name), &d) << d.name;
        const GeoreferenceDef def{MapCrs(latLon, {}, 0, false, d),
                                  {{0, 0, 10, 50, true}, {100, 100, 10.01, 49.99, true}}};
        std::string problem;
        EXPECT_TRUE(CGeoreference::Create(def, problem)) << def.crs << ": " << problem;
    }
}

// Catches unknown names taken for known ones, broken fields read as zeros
// or skipped (a point lost silently moves the map), points of two UTM zones
// fitted together, and a bad scale factor or setup put in force.
TEST(MapDataFile, RefusesWhatItCannotPlace) {
    const std::string utm = "(UTM) Universal Transverse Mercator";
    const std::string good = GridPoints(400000, 5800000, "33");
    auto broken = [&](const std::string& point) { return MapFile("WGS 84", utm, good + point); };
    const SidecarRead::Result damaged = SidecarRead::Damaged, unknown = SidecarRead::Unknown;
    const struct Case {
        std::string text;
        SidecarRead::Result result;
        const char* problem;
    } cases[] = {
        {MapFile("WGS 84", "(XYZ) Foo Grid", good), unknown, "the projection \"(XYZ) Foo Grid\""},
        {MapFile("Potsdam", utm, good), unknown, "the datum \"Potsdam\""},
        {MapFile("", utm, good), damaged, "its datum line names no datum"},
        {MapFile("WGS 84", "", good), damaged, "its \"Map Projection\" line names no projection"},
        {MapFile("WGS 84", utm, good + Point(4, 9, 9, kNoGeo, Grid("32", 1, 2, 'N'))), damaged,
         "its points lie in different UTM zones (33N and 32N)"},
        {MapFile("WGS 84", utm, GridPoints(400000, 5800000)), damaged,
         "its UTM points name no zone"},
        {MapFile("WGS 84", utm, GridPoints(400000, 5800000, "33"), ",,,,,,,,,", "MSF,0\r\n"),
         damaged, "its map scale factor (MSF) is not a positive number"},
        {MapFile("WGS 84", utm, good, ",,,,,,,,,", "MSF,two\r\n"), damaged,
         "its map scale factor (MSF) is not a positive number"},
        {MapFile("WGS 84", "Transverse Mercator", good, "0,9,0,500000,0,,,,,"), damaged,
         "its \"Projection Setup\" line cannot be read"},
        {MapFile("WGS 84", "Lambert Conformal Conic", good, "95,9,1,0,0,40,50,,,"), damaged,
         "its \"Projection Setup\" line cannot be read"},
        {MapFile("WGS 84", "Latitude/Longitude", Point(1, 0, 0, Geo(50, 10), kNoGrid)), damaged,
         "it has no two usable points apart in both directions"},
        {broken("Point04,xy,   12a,   40,in, deg,  50, 0.0,N,  10, 0.0,E, grid,,,,N\r\n"), damaged,
         "its Point04 cannot be read"},
        {broken(Point(4, 9, 9, "  50, 60.0000,N,  10,  0.0000,E", kNoGrid)), damaged,
         "its Point04 cannot be read"},
        {broken(Point(4, 9, 9, "  50,  1.0000,E,  10,  0.0000,E", kNoGrid)), damaged,
         "its Point04 cannot be read"},
        {broken(Point(4, 9, 9, kNoGeo, " 33,  4000x0,  5800000,N")), damaged,
         "its Point04 cannot be read"},
        {broken(Point(4, 9, 9, kNoGeo, " 33,        ,  5800000,N")), damaged,
         "its Point04 cannot be read"},
        {broken(Point(4, 9, 9, kNoGeo, " TQ,  400000,  5800000,N")), damaged,
         "its Point04 cannot be read"},
        {broken(Point(4, 9, 9, kNoGeo, " 61,  400000,  5800000,N")), damaged,
         "its Point04 cannot be read"},
    };
    for (const Case& c : cases) {
        const SidecarRead read = ReadMapDataFile(c.text);
        EXPECT_EQ(read.result, c.result) << c.text;
        EXPECT_EQ(read.problem, c.problem) << c.text;
    }
}

// Catches a written file that places the map elsewhere than its
// georeference (a datum or projection named wrongly, a parameter or false
// origin lost, the Paris meridian, the hemisphere, minutes that round up to
// 60), and systems written under a name the format does not give them.
TEST(MapDataFile, WritesGeoreferencesThatReadBackInPlace) {
    constexpr int32_t kW = 1200, kH = 900;
    // Turned a little and 5 map units a pixel from `e0`, `n0` at pixel (0, 0).
    auto ties = [](double e0, double n0, double unit) {
        return std::vector<TiePoint>{{0, 0, e0, n0, false},
                                     {kW, 0, e0 + kW * unit, n0 + 60 * unit, false},
                                     {0, kH, e0 + 40 * unit, n0 - kH * unit, false}};
    };
    const double deg = 5e-5; // [deg] a pixel
    const struct System {
        const char* crs;
        std::vector<TiePoint> points;
        const char* projection; // as written; empty: refused
        const char* datum;
    } systems[] = {
        {"EPSG:32633", ties(400000, 5800000, 5), "(UTM) Universal Transverse Mercator", "WGS 84"},
        {"EPSG:32756", ties(330000, 6250000, 5), "(UTM) Universal Transverse Mercator", "WGS 84"},
        {"EPSG:27700", ties(530000, 181000, 5), "(BNG) British National Grid",
         "Ord Srvy Grt Britn"},
        {"EPSG:2056", ties(2600000, 1200000, 5), "(SUI) Swiss Grid", "CH-1903"},
        {"EPSG:21781", ties(600000, 200000, 5), "(SUI) Swiss Grid", "CH-1903"},
        {"EPSG:27572", ties(601000, 2428000, 5), "(II) France Zone II", "NTF France"},
        {"EPSG:3395", ties(1000000, 6000000, 5), "Mercator", "WGS 84"},
        {"EPSG:31467", ties(3565000, 5933000, 5), "Transverse Mercator", "Potsdam Rauenberg DHDN"},
        {"EPSG:5070", ties(0, 1500000, 5), "Albers Equal Area", "WGS 84"},
        {"EPSG:4284", ties(37.6, 55.75, deg), "Latitude/Longitude", "Pulkovo 1942 ("},
        {"EPSG:4326", ties(9.999999999, 50.000000001, deg), "Latitude/Longitude", "WGS 84"},
        // No known shift: kept on WGS 84.
        {"+proj=tmerc +lon_0=9 +x_0=3500000 +ellps=bessel +type=crs", ties(3565000, 5933000, 5),
         "Transverse Mercator", "WGS 84"},
        {"EPSG:3857", ties(1000000, 6000000, 5), "", ""},
        {"+proj=longlat +R=6371000 +towgs84=0,0,0 +type=crs", ties(10, 50, deg), "", ""},
    };
    const PixelXY pixels[] = {{0, 0}, {kW - 1, kH - 1}, {600, 450}, {300, 700}, {1100, 50}};
    for (const System& s : systems) {
        SCOPED_TRACE(s.crs);
        [&] {
            std::string problem;
            const auto g = CGeoreference::Create({s.crs, s.points}, problem);
            ASSERT_TRUE(g) << problem;
            const std::string text =
                FormatGeoreferencedMapDataFile(*g, "/maps/city.png", kW, kH, problem);
            if (!*s.projection) {
                EXPECT_EQ(text, "");
                EXPECT_NE(problem.find("has no name for the"), std::string::npos) << problem;
                return;
            }
            ASSERT_NE(text, "") << problem;
            EXPECT_NE(text.find(std::string("\r\nMap Projection,") + s.projection + ","),
                      std::string::npos)
                << text;
            EXPECT_NE(text.find(std::string("\r\n") + s.datum), std::string::npos) << text;
            const SidecarRead read = ReadMapDataFile(text);
            ASSERT_EQ(read.result, SidecarRead::Georeferenced) << read.problem;
            const auto back = CGeoreference::Create(read.def, problem);
            ASSERT_TRUE(back) << problem;
            for (const PixelXY p : pixels) {
                const std::optional<LonLat> there = g->PositionAt(p);
                const std::optional<LonLat> read = back->PositionAt(p);
                ASSERT_TRUE(there && read);
                const std::optional<PixelXY> p1 = back->PixelAt(*there);
                const std::optional<PixelXY> p2 = g->PixelAt(*read);
                ASSERT_TRUE(p1 && p2);
                EXPECT_LT(std::hypot(p1->x - p.x, p1->y - p.y), 0.05) << p.x << "," << p.y;
                EXPECT_LT(std::hypot(p2->x - p.x, p2->y - p.y), 0.05) << p.x << "," << p.y;
            }
        }();
    }
    std::string problem;
    const auto g = CGeoreference::Create({"EPSG:32633", ties(400000, 5800000, 5)}, problem);
    ASSERT_TRUE(g);
    EXPECT_EQ(FormatGeoreferencedMapDataFile(*g, "tiny.png", 1, 1, problem), "");
    EXPECT_EQ(problem, "the picture is too small to carry points");
}
