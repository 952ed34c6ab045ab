#include "map/sidecar_calibration.h"
#include "map/sidecar_readers.h"
#include "map/sidecar_writers.h"
#include "tests/map/geotiff_file.h"
#include "tests/test_support.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

constexpr int32_t kW = 600, kH = 400; // [pixel]

// `projinfo EPSG:32633 -o WKT1_ESRI -q`, then EPSG:27700
const char* const kUtm33Prj =
    "PROJCS[\"WGS_1984_UTM_Zone_33N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\","
    "SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],PRIMEM[\"Greenwich\",0.0],"
    "UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
    "PARAMETER[\"False_Easting\",500000.0],PARAMETER[\"False_Northing\",0.0],"
    "PARAMETER[\"Central_Meridian\",15.0],PARAMETER[\"Scale_Factor\",0.9996],"
    "PARAMETER[\"Latitude_Of_Origin\",0.0],UNIT[\"Meter\",1.0]]";
const char* const kBritishGridPrj =
    "PROJCS[\"British_National_Grid\",GEOGCS[\"GCS_OSGB_1936\",DATUM[\"D_OSGB_1936\","
    "SPHEROID[\"Airy_1830\",6377563.396,299.3249646]],PRIMEM[\"Greenwich\",0.0],"
    "UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
    "PARAMETER[\"False_Easting\",400000.0],PARAMETER[\"False_Northing\",-100000.0],"
    "PARAMETER[\"Central_Meridian\",-2.0],PARAMETER[\"Scale_Factor\",0.9996012717],"
    "PARAMETER[\"Latitude_Of_Origin\",49.0],UNIT[\"Meter\",1.0]]";

// 10 m pixels in UTM zone 33, the top-left pixel's corner at 400000 E, 5600000 N.
const GeoTags kUtm33 = {.shorts = {{ProjectedCSTypeGeoKey, 32633}},
                        .scale = {10, 10, 0},
                        .ties = {0, 0, 0, 400000, 5600000, 0}};
const char* const kUtm33World = "10\n0\n0\n-10\n400005\n5599995\n";

struct Position {
    PixelXY pixel;
    double lat, lon; // [deg] as cs2cs prints them
};

struct Case {
    const char* fault; // what a reader that gets this wrong does
    const char* picture;
    GeoTags tags;             // of a .tif picture
    const char* world;        // beside any other picture, with
    std::string prj;          // the .prj beside it
    const char* crs;          // the georeference's system; null: not compared
    std::vector<Position> at; // expected WGS 84 positions; none when refused
    const char* message = ""; // a refusal's
};

Case Tif(const char* fault, const char* picture, const GeoTags& tags, const char* crs,
         std::vector<Position> at, const char* message = "") {
    return {fault, picture, tags, nullptr, "", crs, std::move(at), message};
}

Case World(const char* fault, const char* picture, const char* world, const std::string& prj,
           const char* crs, std::vector<Position> at, const char* message = "") {
    return {fault, picture, {}, world, prj, crs, std::move(at), message};
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<Case> Cases() {
    GeoTags point = kUtm33, unknown = kUtm33;
    point.raster = RasterPixelIsPoint;
    unknown.shorts = {{ProjectedCSTypeGeoKey, 32699}};
    const GeoTags tm = {.shorts = {{ProjectedCSTypeGeoKey, KvUserDefined},
                                   {ProjectionGeoKey, KvUserDefined},
                                   {ProjCoordTransGeoKey, CT_TransverseMercator},
                                   {GeographicTypeGeoKey, GCS_WGS_84},
                                   {ProjLinearUnitsGeoKey, Linear_Meter}},
                        .doubles = {{ProjNatOriginLongGeoKey, 9},
                                    {ProjNatOriginLatGeoKey, 0},
                                    {ProjScaleAtNatOriginGeoKey, 1},
                                    {ProjFalseEastingGeoKey, 3500000},
                                    {ProjFalseNorthingGeoKey, 0}},
                        .scale = {10, 10, 0},
                        .ties = {0, 0, 0, 3500000, 5500000, 0}};
    // e = 400000 + 10 X + 2 Y, n = 5600000 + X - 10 Y [m] over the raster's
    // X, Y (pixel corners), by three tie points and by a transformation matrix.
    const GeoTags ties = {.shorts = {{ProjectedCSTypeGeoKey, 32633}},
                          .ties = {0, 0, 0, 400000, 5600000, 0, 600, 0, 0, 406000, 5600600, 0, 0,
                                   400, 0, 400800, 5596000, 0}};
    const GeoTags matrix = {
        .shorts = {{ProjectedCSTypeGeoKey, 32633}},
        .matrix = {10, 2, 0, 400000, 1, -10, 0, 5600000, 0, 0, 0, 0, 0, 0, 0, 1}};
    // printf "400005 5599995\n405995 5596005\n" | cs2cs -d 8 EPSG:32633 EPSG:4326
    const std::vector<Position> utm33At = {{{0, 0}, 50.54333546, 13.58873312},
                                           {{599, 399}, 50.50845579, 13.67425304}};
    // printf "400006 5599995.5\n406794 5596604.5\n" | cs2cs -d 8 EPSG:32633 EPSG:4326
    const std::vector<Position> turnedAt = {{{0, 0}, 50.54334012, 13.58874709},
                                            {{599, 399}, 50.51397359, 13.68536842}};
    return {
        Tif("a projected GeoTIFF refused, or its EPSG system lost", "utm.tif", kUtm33, "EPSG:32633",
            utm33At),
        // printf "400000 5600000\n405990 5596010\n" | cs2cs -d 8 EPSG:32633 EPSG:4326
        Tif("a point-type raster tied at the pixel corner (half a pixel off)", "point.tif", point,
            "EPSG:32633",
            {{{0, 0}, 50.54337955, 13.58866123}, {{599, 399}, 50.50849995, 13.67418129}}),
        // printf "3500005 5499995\n3505995 5496005\n" | cs2cs -d 8 +proj=tmerc +lat_0=0
        //   +lon_0=9 +k=1 +x_0=3500000 +y_0=0 +datum=WGS84 +units=m +type=crs +to EPSG:4326
        Tif("a projection of the file's own refused, its parameters misread or its datum lost",
            "tm.tif", tm, nullptr,
            {{{0, 0}, 49.63270982, 9.00006921}, {{599, 399}, 49.59680580, 9.08292579}}),
        // printf "6000010 2099990\n6011990 2092010\n" | cs2cs -d 8 EPSG:2227 EPSG:4326
        Tif("a system in US feet read as metres", "feet.tif",
            {.shorts = {{ProjectedCSTypeGeoKey, 2227}},
             .scale = {20, 20, 0},
             .ties = {0, 0, 0, 6000000, 2100000, 0}},
            "EPSG:2227",
            {{{0, 0}, 37.74617235, -122.44269030}, {{599, 399}, 37.72493660, -122.40070420}}),
        // printf "1640015 13779985\n1657985 13768015\n" | cs2cs -d 8 +proj=utm +zone=10
        //   +datum=NAD83 +units=us-ft +type=crs +to EPSG:4326
        Tif("coordinates in feet of a system in metres read in its metres", "feet_utm.tif",
            {.shorts = {{ProjectedCSTypeGeoKey, 26910},
                        {ProjLinearUnitsGeoKey, Linear_Foot_US_Survey}},
             .scale = {30, 30, 0},
             .ties = {0, 0, 0, 1640000, 13780000, 0}},
            nullptr,
            {{{0, 0}, 37.94892194, -123.00139348}, {{599, 399}, 37.91602256, -122.93907850}}),
        Tif("tie points after the first ignored, or not fitted with rotation", "ties.tif", ties,
            "EPSG:32633", turnedAt),
        Tif("a transformation matrix ignored or its rotation dropped", "matrix.tif", matrix,
            "EPSG:32633", turnedAt),
        // printf "52.99986111111111 -1.99986111111111\n52.88902777777778 -1.83347222222222\n"
        //   | cs2cs -d 8 EPSG:4277 EPSG:4326
        Tif("a geographic system on another datum taken as WGS 84", "osgb.tif",
            {.model = ModelTypeGeographic,
             .shorts = {{GeographicTypeGeoKey, 4277}},
             .scale = {1 / 3600.0, 1 / 3600.0, 0},
             .ties = {0, 0, 0, -2, 53, 0}},
            "EPSG:4277",
            {{{0, 0}, 53.00016915, -2.00130998}, {{599, 399}, 52.88935121, -1.83493642}}),
        Tif("an EPSG code PROJ does not know reported as a damaged file", "nozone.tif", unknown,
            nullptr, {},
            "The position in \"nozone.tif\" is in the coordinate system EPSG:32699, which Ostrel "
            "cannot use: the map opens uncalibrated. Calibrate it with two right-clicks."),
        World("a world file's .prj not read, or not without its byte order mark", "utm.png",
              kUtm33World, "\xEF\xBB\xBF" + std::string(kUtm33Prj) + "\r\n", kUtm33Prj, utm33At),
        // printf "530000 180000\n531297.75 179501.5\n" | cs2cs -d 8 EPSG:27700 EPSG:4326
        World("a turned world file refused, or its rotation terms swapped", "london.jpg",
              "2\n0.5\n0.25\n-2\n530000\n180000\n", kBritishGridPrj, kBritishGridPrj,
              {{{0, 0}, 51.50399083, -0.12835394}, {{599, 399}, 51.49921131, -0.10985223}}),
        World("a turned world file in degrees refused", "turned.png",
              "1e-4\n1e-5\n2e-5\n-1e-4\n10\n50\n", "", "",
              {{{0, 0}, 50, 10}, {{599, 399}, 49.96609, 10.06788}}),
        World("metres without a .prj taken as degrees, or a message that does not say what to do",
              "metres.png", kUtm33World, "", nullptr, {},
              "The position in \"metres.pgw\" is in map units, and no \"metres.prj\" beside it "
              "says which: the map opens uncalibrated. Put the map's .prj file beside it, or "
              "calibrate it with two right-clicks."),
        World("a .prj PROJ cannot read not named", "bad.png", kUtm33World,
              "PROJCS[\"broken\",GEOGCS[", nullptr, {},
              "The calibration file \"bad.pgw\" is ignored: PROJ cannot read the coordinate "
              "system in \"bad.prj\" (missing ])."),
    };
}

// Writes the files of `c` into `dir`.
void WriteCase(const fs::path& dir, const Case& c) {
    const fs::path picture = dir / c.picture;
    if (picture.extension() == ".tif") {
        WriteGeoTiff(picture, kW, kH, c.tags);
        return;
    }
    const std::string stem = (dir / picture.stem()).string();
    Write(WorldFileName(picture.string(), 0), c.world);
    if (!c.prj.empty())
        Write(stem + ".prj", c.prj);
}

} // namespace

// Each row names the fault it catches; the positions expected are cs2cs's.
TEST(WorldFileGeoTiff, EachFilePlacesTheMapAsPROJDoes) {
    TempDir dir;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(std::string(c.picture) + ": catches " + c.fault);
        WriteCase(dir.Path(), c);
        const SidecarCalibration side =
            FindSidecarCalibration((dir.Path() / c.picture).string(), kW, kH);
        if (c.at.empty()) {
            EXPECT_EQ(side.result, SidecarCalibration::Refused);
            EXPECT_EQ(side.message, c.message);
            continue;
        }
        ASSERT_EQ(side.result, SidecarCalibration::Found) << side.message;
        ASSERT_TRUE(side.georef);
        // Every system here has a known way to WGS 84: a datum lost to its
        // ellipsoid would leave PROJ guessing.
        EXPECT_FALSE(side.georef->IsBallpark()) << side.message;
        if (c.crs) {
            EXPECT_EQ(side.georef->Crs(), c.crs);
        }
        for (const Position& p : c.at) {
            const std::optional<LonLat> g = side.georef->PositionAt(p.pixel);
            ASSERT_TRUE(g);
            EXPECT_LT(GeodesicMetres(*g, {p.lon, p.lat}), 1.0) << p.pixel.x << "," << p.pixel.y;
        }
    }
}

// Catches a world file written with too few decimals, rotation terms in the
// wrong places, and a .prj that names another system (or loses a datum shift)
// yet is written as if it were the map's.
TEST(WorldFileGeoTiff, WrittenFilesReadBackAsTheSameMap) {
    TempDir dir;
    for (const Case& c : Cases()) {
        if (c.at.empty())
            continue;
        SCOPED_TRACE(c.picture);
        WriteCase(dir.Path(), c);
        const SidecarCalibration side =
            FindSidecarCalibration((dir.Path() / c.picture).string(), kW, kH);
        ASSERT_TRUE(side.georef) << side.message;
        std::string problem;
        const std::string prj = FormatPrjFile(side.georef->Crs(), problem);
        ASSERT_FALSE(prj.empty()) << problem;
        const fs::path copy = dir.Path() / ("copy_" + fs::path(c.picture).stem().string());
        Write(copy.string() + ".pgw", FormatWorldFile(side.georef->PixelToMap()));
        Write(copy.string() + ".prj", prj);
        const SidecarCalibration back = FindSidecarCalibration(copy.string() + ".png", kW, kH);
        ASSERT_TRUE(back.georef) << back.message;
        for (const PixelXY p : {PixelXY{0, 0}, PixelXY{599, 0}, PixelXY{300, 200}, PixelXY{0, 399},
                                PixelXY{599, 399}}) {
            const std::optional<LonLat> g = back.georef->PositionAt(p);
            ASSERT_TRUE(g);
            const std::optional<PixelXY> q = side.georef->PixelAt(*g);
            ASSERT_TRUE(q);
            EXPECT_LT(std::hypot(q->x - p.x, q->y - p.y), 0.01) << p.x << "," << p.y;
        }
    }
    std::string problem;
    EXPECT_EQ(
        FormatPrjFile("+proj=utm +zone=33 +ellps=krass +towgs84=28,-130,-95 +type=crs", problem),
        "");
    EXPECT_EQ(problem, "ESRI WKT cannot hold its datum shift to WGS 84");
}
