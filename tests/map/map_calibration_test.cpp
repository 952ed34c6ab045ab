#include "gps/gps_receiver.h"
#include "map/map_calibration.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

CMapCalibration Cal(int32_t x1, int32_t y1, int32_t lon1, int32_t lat1, int32_t x2, int32_t y2,
                    int32_t lon2, int32_t lat2) {
    CMapCalibration c;
    c.m_nX1 = x1, c.m_nY1 = y1, c.m_nLon1 = lon1, c.m_nLat1 = lat1;
    c.m_nX2 = x2, c.m_nY2 = y2, c.m_nLon2 = lon2, c.m_nLat2 = lat2;
    return c;
}

TEST(MapTransformTest, WorldCalibrationBothWays) {
    const CMapCalibration world = WorldMapCalibration();
    EXPECT_TRUE(world.m_bPoint1Set && world.m_bPoint2Set);
    struct Case {
        CGeoPoint geo;
        CPoint scroll;
        CPoint client;
    };
    for (const Case& c :
         {Case{{41460, 173222}, {0, 0}, {285, 103}}, Case{{-648000, 324000}, {0, 0}, {21, 46}},
          Case{{648000, -324000}, {0, 0}, {519, 295}},
          Case{{648000, -324000}, {10, 5}, {509, 290}}}) {
        EXPECT_EQ(GeoToClient(c.geo, c.scroll, world), c.client) << c.geo.lon << "," << c.geo.lat;
    }
    EXPECT_EQ(ClientToGeo({283, 101}, {0, 0}, world), (CGeoPoint{33831, 180868}));
    EXPECT_EQ(ClientToGeo({273, 96}, {10, 5}, world), (CGeoPoint{33831, 180868}));
    EXPECT_EQ(ClientToGeo({21, 46}, {0, 0}, world), (CGeoPoint{-648000, 324000}));
    EXPECT_EQ(ClientToGeo({519, 295}, {0, 0}, world), (CGeoPoint{648000, -324000}));
}

TEST(MapTransformTest, QuotientTruncatesTowardZero) {
    // 7 * -1 / 10 = -0.7 becomes 0, not -1, before the addition.
    const CMapCalibration cal = Cal(100, 100, 0, 0, 107, 107, 10, 10);
    EXPECT_EQ(GeoToClient({-1, -1}, {0, 0}, cal), (CPoint{100, 100}));
    EXPECT_EQ(ClientToGeo({99, 99}, {0, 0}, Cal(100, 100, 0, 0, 110, 110, 7, 7)),
              (CGeoPoint{0, 0}));
}

TEST(MapTransformTest, DegenerateOrOutOfRangeGivesNoPosition) {
    const CMapCalibration world = WorldMapCalibration();
    CMapCalibration sameLon = world, sameLat = world, sameX = world, sameY = world;
    sameLon.m_nLon2 = sameLon.m_nLon1;
    sameLat.m_nLat2 = sameLat.m_nLat1;
    sameX.m_nX2 = sameX.m_nX1;
    sameY.m_nY2 = sameY.m_nY1;
    EXPECT_FALSE(GeoToClient({0, 0}, {0, 0}, sameLon));
    EXPECT_FALSE(GeoToClient({0, 0}, {0, 0}, sameLat));
    EXPECT_FALSE(ClientToGeo({0, 0}, {0, 0}, sameX));
    EXPECT_FALSE(ClientToGeo({0, 0}, {0, 0}, sameY));
    // Only pixels matter to the forward transform, only degrees to the inverse.
    EXPECT_TRUE(GeoToClient({0, 0}, {0, 0}, sameX));
    EXPECT_TRUE(ClientToGeo({0, 0}, {0, 0}, sameLon));

    EXPECT_FALSE(GeoToClient({648000, 0}, {0, 0}, Cal(0, 0, 0, 0, 2000000000, 10, 1, 10)));
    EXPECT_FALSE(GeoToClient({10, 0}, {0, 0}, Cal(kMax - 50, 0, 0, 0, kMax, 10, 1, 10)));
    EXPECT_FALSE(GeoToClient({0, 0}, {kMin, 0}, world));
    EXPECT_FALSE(ClientToGeo({10, 0}, {0, 0}, Cal(0, 0, kMax - 600, 0, 1, 1, kMax, 1)));
}

TEST(MapTransformTest, ExtremeStoredValuesStayDefined) {
    // Hand-edited store numbers: any answer is fine, undefined behaviour is not.
    const int32_t v[] = {kMin, -1, 0, 1, kMax};
    for (int32_t a : v)
        for (int32_t b : v)
            for (int32_t c : v)
                for (int32_t d : v) {
                    const CMapCalibration cal = Cal(a, b, c, d, d, c, b, a);
                    (void)GeoToClient({a, b}, {c, d}, cal);
                    (void)ClientToGeo({c, d}, {a, b}, cal);
                }
}

TEST(NmeaToArcSecondsTest, Table) {
    struct Case {
        const char* text;
        int digits;
        const char* hemi;
        const char* neg;
        int32_t expected;
    };
    const Case cases[] = {
        {"4807.038", 2, "N", "S", 173222},
        {"01131.000", 3, "W", "W", -41460},
        {"5959.9999", 2, "N", "S", 215999}, // 59.9999' is 3599", not 3600"
        {"4807.038", 2, "S", "S", -173222},
        {"4807.038", 2, "s", "S", 173222},
        {"4807.038", 2, "South", "S", 173222},
        {"4807.038", 2, "", "S", 173222},
        {"01", 3, "E", "W", 3600}, // shorter than the degree digits: no minutes
        {"", 3, "E", "W", 0},
        {"xx07.5", 2, "N", "S", 450},
        {"000000001.9", 2, "N", "S", 60}, // minutes read from 7 characters only
        {"001e99999", 2, "N", "S", kMax}, // infinite minutes saturate
        {"001e99999", 2, "S", "S", kMin},
        {"00nan", 2, "N", "S", 0},
        {"99999999999999", 12, "N", "S", kMax},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NmeaToArcSeconds(c.text, c.digits, c.hemi, c.neg), c.expected)
            << c.text << " " << c.hemi;
}

TEST(FormatReadoutTest, Table) {
    struct Case {
        CGeoPoint geo;
        const char* text;
    };
    const Case cases[] = {
        {{33831, 180868}, "LON:   9\xB0 23.85' E      LAT:  50\xB0 14.47' N"},
        {{-1800, -1800}, "LON:   0\xB0 30.00' W      LAT:   0\xB0 30.00' S"},
        {{-648000, 324000}, "LON: 180\xB0  0.00' W      LAT:  90\xB0  0.00' N"},
        {{0, 0}, "LON:   0\xB0  0.00' E      LAT:   0\xB0  0.00' N"},
        {{kMin, kMax}, "LON: 596523\xB0 14.13' W      LAT: 596523\xB0 14.12' N"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatReadout(c.geo), c.text) << c.geo.lon << "," << c.geo.lat;
}

// A real receiver log recorded near Bend, Oregon, placed on the crop of the
// world picture that covers 135..90 W, 56.25..33.75 N in 256 x 128 pixels.
TEST(MapTransformTest, RealFixesLandOnTheirMapPixel) {
    OSTREL_REQUIRE_TESTDATA("nmea/ublox-f9p-hpnmea.log");
    const CMapCalibration crop = Cal(0, 0, -486000, 202500, 256, 128, -324000, 121500);
    std::istringstream log(ReadFileBytes(TestDataDir() / "nmea/ublox-f9p-hpnmea.log"));
    std::string line;
    std::vector<std::string> f;
    int fixes = 0;
    while (std::getline(log, line)) {
        if (line.rfind("$GNRMC,", 0) != 0)
            continue;
        CGpsReceiver::SplitFields(line, ",", f);
        ASSERT_GE(f.size(), 7u) << line;
        const CGeoPoint g{NmeaToArcSeconds(f[5], 3, f[6], "W"),
                          NmeaToArcSeconds(f[3], 2, f[4], "S")};
        EXPECT_EQ(GeoToClient(g, {0, 0}, crop), (CPoint{77, 69})) << line;
        ++fixes;
    }
    EXPECT_EQ(fixes, 9);
}

} // namespace
