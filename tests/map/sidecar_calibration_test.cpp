#include "map/calibration_export.h"
#include "map/calibration_store.h"
#include "map/map_model.h"
#include "map/sidecar_calibration.h"
#include "map/sidecar_readers.h"
#include "tests/map/geotiff_file.h"
#include "tests/render/bmp_file.h"
#include "tests/test_support.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// A 800 x 400 map of 1 arc-second pixels whose top-left pixel centre is at
// 10 E, 50 N: pixel (x, y) lies at 10 + x / 3600 E, 50 - y / 3600 N.
constexpr int32_t kW = 800, kH = 400;

const char* const kMapDataHead = "OziExplorer Map Data File Version 2.2\r\nmap\r\nmap.bmp\r\n"
                                 "1 ,Map Code,\r\nWGS 84,WGS 84,   0.0000,   0.0000,WGS 84\r\n"
                                 "Reserved 1\r\nReserved 2\r\nMagnetic Variation,,,E\r\n";
const char* const kMapDataLatLon =
    "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n";
// 50 N 10 E at pixel (0, 0); 49 56.6667 N 10 3.3333 E at (200, 200).
const char* const kMapDataPoints =
    "Point01,xy,    0,    0,in, deg,  50,  0.0000,N,  10,  0.0000,E, grid,   ,  ,  ,N\r\n"
    "Point02,xy,  200,  200,in, deg,  49, 56.6667,N,  10,  3.3333,E, grid,   ,  ,  ,N\r\n"
    "Point03,xy,     ,     ,in, deg,    ,        ,N,    ,        ,W, grid,   ,  ,  ,N\r\n";
const char* const kWorld = "0.000277777777778\n0\n0\n-0.000277777777778\n10\n50\n";

// The readout at `pixel` of the model that `side` gives a window.
std::string Readout(const SidecarCalibration& side, CPoint pixel) {
    const std::optional<CGeoPoint> g =
        CMapModel{side.cal, side.georef.get()}.AtClient(pixel, {0, 0});
    return g ? FormatReadout(*g) : "none";
}

// A GeoTIFF of kW x kH 8-bit grey pixels with a geographic model on WGS 84,
// or with a UTM zone instead.
void WriteGeoTiff(const fs::path& path, bool projected) {
    GeoTags tags{.scale = {1 / 3600.0, 1 / 3600.0, 0},
                 // The corner of the top-left pixel, half a pixel from its centre.
                 .ties = {0, 0, 0, 10 - 0.5 / 3600, 50 + 0.5 / 3600, 0}};
    if (projected) {
        tags.shorts = {{ProjectedCSTypeGeoKey, 32632}};
        tags.texts = {{PCSCitationGeoKey, "WGS 84 / UTM zone 32N"}};
    } else {
        tags.model = ModelTypeGeographic;
        tags.shorts = {{GeographicTypeGeoKey, GCS_WGS_84}};
    }
    WriteGeoTiff(path, kW, kH, tags);
}

} // namespace

// Catches a sidecar read in the wrong order of preference, a wrong axis or
// sign, and pixel corners taken for centres, per kind of file.
TEST(SidecarCalibration, EachKindGivesTheReadoutAtTwoPixels) {
    TempDir dir;
    const fs::path map = dir.Path() / "map.bmp";
    auto write = [](const fs::path& p, const std::string& text) { std::ofstream(p) << text; };
    struct Case {
        const char* file; // beside map.bmp, or the picture itself
        std::string text;
    } cases[] = {
        {"map.map", std::string(kMapDataHead) + kMapDataLatLon + kMapDataPoints},
        {"map.bpw", kWorld},
        {"map.bmpw", kWorld},
        {"map.wld", kWorld},
        {"map.tif", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fs::path target = map;
        if (std::string(c.file) == "map.tif") {
            target = dir.Path() / "map.tif";
            WriteGeoTiff(target, false);
        } else {
            write(dir.Path() / c.file, c.text);
        }
        const SidecarCalibration side = FindSidecarCalibration(target.string(), kW, kH);
        ASSERT_EQ(side.result, SidecarCalibration::Found) << side.message;
        EXPECT_EQ(side.source, (dir.Path() / c.file).string());
        EXPECT_EQ(Readout(side, {0, 0}), "LON:  10\xB0  0.00' E      LAT:  50\xB0  0.00' N");
        EXPECT_EQ(Readout(side, {600, 300}), "LON:  10\xB0 10.00' E      LAT:  49\xB0 55.00' N");
        fs::remove(dir.Path() / c.file);
    }
}

// Catches a fit that ignores a point, a fitted or projected .map file not
// put in force, damaged files put in force, and readers that run off the end.
TEST(SidecarCalibration, FittedProjectedAndDamagedFiles) {
    // Two more points, one of them 30 m (1 arc-second of latitude) off the
    // plane of the others: the affine fit through all four leaves errors of a
    // few metres at each, and puts the map where they agree.
    const std::string four = std::string(kMapDataHead) + kMapDataLatLon + kMapDataPoints +
                             "Point04,xy,  400,    0,in, deg,  50,  0.0000,N,  10,  6.6667,E, "
                             "grid,   ,  ,  ,N\r\n"
                             "Point05,xy,    0,  400,in, deg,  49, 53.3500,N,  10,  0.0000,E, "
                             "grid,   ,  ,  ,N\r\n";
    const SidecarRead fitted = ReadMapDataFile(four);
    ASSERT_EQ(fitted.result, SidecarRead::Georeferenced) << fitted.problem;
    EXPECT_EQ(fitted.def.crs, "");
    EXPECT_EQ(fitted.def.points.size(), 4u);
    TempDir dir;
    std::ofstream(dir.Path() / "fitted.map") << four;
    const SidecarCalibration side =
        FindSidecarCalibration((dir.Path() / "fitted.bmp").string(), kW, kH);
    ASSERT_EQ(side.result, SidecarCalibration::Found) << side.message;
    ASSERT_TRUE(side.georef);
    EXPECT_GT(side.georef->Errors().maxMetres, 5);
    EXPECT_LT(side.georef->Errors().maxMetres, 30);
    EXPECT_EQ(side.message.rfind("Calibration from \"fitted.map\": largest point error ", 0), 0u);
    const std::optional<LonLat> middle = side.georef->PositionAt({200, 200});
    ASSERT_TRUE(middle);
    EXPECT_LT(GeodesicMetres(*middle, {10 + 3.3333 / 60, 49 + 56.6667 / 60}), 30);

    const std::string tm = std::string(kMapDataHead) +
                           "Map Projection,Transverse Mercator,PolyCal,No,AutoCalOnly,No\r\n" +
                           kMapDataPoints;
    EXPECT_EQ(ReadMapDataFile(tm).result, SidecarRead::Georeferenced);
    EXPECT_EQ(ReadMapDataFile(tm).def.crs.rfind("+proj=tmerc ", 0), 0u);
    std::string potsdam = std::string(kMapDataHead) + kMapDataLatLon + kMapDataPoints;
    potsdam.replace(potsdam.find("WGS 84"), 6, "Potsdam");
    EXPECT_EQ(ReadMapDataFile(potsdam).result, SidecarRead::Unknown);
    EXPECT_EQ(ReadMapDataFile(potsdam).problem, "the datum \"Potsdam\"");
    EXPECT_EQ(ReadWorldFile("10\n0\n0\n-10\n500000\n5500000\n").result, SidecarRead::Unknown);

    WriteGeoTiff(dir.Path() / "utm.tif", true);
    const SidecarCalibration geo =
        FindSidecarCalibration((dir.Path() / "utm.tif").string(), kW, kH);
    ASSERT_EQ(geo.result, SidecarCalibration::Found) << geo.message;
    EXPECT_EQ(geo.georef->Crs(), "EPSG:32632");

    const std::string damaged[] = {
        "",
        "OziExplorer Map Data File Version 2.2\r\n",
        std::string(kMapDataHead) + kMapDataLatLon, // no points
        std::string(kMapDataHead) + kMapDataLatLon +
            "Point01,xy,0,0,in, deg,  95,  0.0,N,  10,  0.0,E\r\n",
    };
    for (const std::string& text : damaged)
        EXPECT_EQ(ReadMapDataFile(text).result, SidecarRead::Damaged) << text;
    for (const char* text :
         {"", "1\n0\n0\n-1\n10\n", "0.1\n0.1\n0.1\n0.1\n10\n50\n", "0.1\n0\n0\n-0.1\n10\n50\n7\n",
          "0.1\n0\n0\n-0.1\nten\n50\n", "nan\n0\n0\n-0.1\n10\n50\n"})
        EXPECT_EQ(ReadWorldFile(text).result, SidecarRead::Damaged) << text;

    std::ofstream(dir.Path() / "bad.jgw") << "garbage";
    const SidecarCalibration ignored =
        FindSidecarCalibration((dir.Path() / "bad.jpg").string(), kW, kH);
    EXPECT_EQ(ignored.result, SidecarCalibration::Refused);
    EXPECT_EQ(ignored.message.rfind("The calibration file \"bad.jgw\" is ignored: ", 0), 0u);
}

// Catches files that other programs (and our readers) read differently from
// the stored calibration, and an export that overwrites the user's files.
TEST(CalibrationExport, WritesFilesThatReadBackAndKeepsTheUsersOwn) {
    TempDir dir(true);
    const fs::path map = dir.Path() / "city.bmp";
    std::ofstream(map, std::ios::binary) << PlainBmp(300, 200, 0x00FF00);
    std::ofstream(kCalibrationStoreName)
        << map.string() << ",10,20,-4000,35500,250,180,4000,-32500\r\n";
    const ExportRecordPlace record{(dir.Path() / "state").string(),
                                   (dir.Path() / "cache").string()};

    ExportOutcome out = ExportCalibration("./city.bmp", false, record);
    ASSERT_TRUE(out.ok) << out.message;
    fs::remove(kCalibrationStoreName);
    const SidecarCalibration back = FindSidecarCalibration(map.string(), 300, 200);
    ASSERT_EQ(back.result, SidecarCalibration::Found) << back.message;
    EXPECT_EQ(back.cal.m_nX1, 10);
    EXPECT_EQ(back.cal.m_nLon1, -4000);
    EXPECT_EQ(back.cal.m_nLat2, -32500);
    fs::remove(dir.Path() / "city.map");
    const SidecarCalibration world = FindSidecarCalibration(map.string(), 300, 200);
    ASSERT_EQ(world.result, SidecarCalibration::Found) << world.message;
    EXPECT_EQ(Readout(world, {250, 180}), Readout(back, {250, 180}));

    // Again from the world file it wrote itself: allowed.
    out = ExportCalibration(map.string(), false, record);
    EXPECT_TRUE(out.ok) << out.message;
    // A foreign file in the way is replaced only with --force...
    std::ofstream(kCalibrationStoreName)
        << map.string() << ",10,20,-4000,35500,250,180,4000,-32500\r\n";
    std::ofstream(dir.Path() / "city.bpw") << "0.1\n0\n0\n-0.1\n10\n50\n";
    out = ExportCalibration(map.string(), false, record);
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.message.find("--force"), std::string::npos) << out.message;
    EXPECT_EQ(ReadFileBytes(dir.Path() / "city.bpw"), "0.1\n0\n0\n-0.1\n10\n50\n");
    EXPECT_TRUE(ExportCalibration(map.string(), true, record).ok);
    fs::remove(kCalibrationStoreName);
}

// Catches an export of a map calibrated by its own world file that refuses
// to write anything (the world file is no export's), the record of exports
// lost when it moved out of the cache, a record that cannot be written
// reported as success, and a scan decoded only to learn its size.
TEST(CalibrationExport, LeavesTheFileItReadAndKeepsItsRecordAsState) {
    TempDir dir(true);
    const fs::path cache = dir.Path() / "cache", state = dir.Path() / "state";
    fs::create_directories(cache);
    ASSERT_EQ(std::system(("convert -size 800x400 xc:green " + (dir.Path() / "own.png").string() +
                           " 2>/dev/null")
                              .c_str()),
              0);
    std::ofstream(dir.Path() / "own.pgw") << kWorld;
    // An export recorded by an older version, in the cache folder.
    std::ofstream(dir.Path() / "old.bmp", std::ios::binary) << PlainBmp(300, 200, 0x00FF00);
    std::ofstream(kCalibrationStoreName)
        << (dir.Path() / "old.bmp").string() << ",10,20,-4000,35500,250,180,4000,-32500\r\n";
    const ExportRecordPlace legacy{cache.string(), cache.string()};
    ASSERT_TRUE(ExportCalibration("old.bmp", false, legacy).ok);
    ASSERT_TRUE(fs::exists(cache / "exported.txt"));

    const ExportRecordPlace record{state.string(), cache.string()};
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ExportOutcome out = ExportCalibration("own.png", false, record);
    unsetenv("XDG_CACHE_HOME");
    ASSERT_TRUE(out.ok) << out.message;
    EXPECT_EQ(ReadFileBytes(dir.Path() / "own.pgw"), kWorld) << "the file it was read from";
    // Degrees of a world file are kept exact: the .map has more than two points.
    const SidecarRead back = ReadMapDataFile(ReadFileBytes(dir.Path() / "own.map"));
    EXPECT_EQ(back.result, SidecarRead::Georeferenced) << back.problem;
    for (const auto& e : fs::directory_iterator(cache))
        EXPECT_NE(e.path().extension(), ".bmp") << "decoded to learn its size: " << e.path();

    // The older record was read once and moved: its exports are still ours.
    EXPECT_FALSE(fs::exists(cache / "exported.txt"));
    EXPECT_TRUE(ExportCalibration("old.bmp", false, record).ok);

    // A record that cannot be written is reported, the files still written.
    fs::remove_all(state);
    std::ofstream(state) << "a file where the folder should be";
    out = ExportCalibration("old.bmp", true, record);
    EXPECT_FALSE(out.ok);
    EXPECT_NE(out.message.find("cannot note them"), std::string::npos) << out.message;
    EXPECT_TRUE(fs::exists(dir.Path() / "old.map"));
    fs::remove(kCalibrationStoreName);
}
