#include "map/geodesic.h"
#include "track/geodesy.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <ostream>

namespace {

struct GeodCase {
    const char* what;
    LonLat from, to;
    double metres;  // [m] as geod gives it
    double azimuth; // [deg] geod's az12, -180..180
};

void PrintTo(const GeodCase& c, std::ostream* os) {
    *os << c.what;
}

// Each row as PROJ's own tool gives it (latitude first):
//   echo "51.5074 -0.1278 48.8566 2.3522" | geod -I +ellps=WGS84 -f %.6f
// prints az12, az21 and the distance [m].
const GeodCase kGeod[] = {
    {"London to Paris", {-0.1278, 51.5074}, {2.3522, 48.8566}, 343923.120, 148.045928},
    {"62 m off Piraeus", {23.6465, 37.9421}, {23.6470, 37.9425}, 62.473, 44.709613},
    {"1 m north on the equator", {0, 0}, {0, 0.00001}, 1.106, 0},
    {"New York to Singapore", {-73.78, 40.64}, {103.99, 1.36}, 15347512.941, 3.305773},
    {"Fiji across the antimeridian", {178.5, -17.7}, {-179.2, -18.1}, 247704.595, 100.647702},
    {"Bering Sea across the antimeridian", {179.9, 65.0}, {-179.9, 65.1}, 14594.381, 40.096012},
    {"over the north pole", {0, 89.9}, {180, 89.9}, 22338.796, 0},
    {"near the south pole", {45, -89.5}, {-120, -89.8}, 77640.164, -175.729250},
    {"nearly antipodal", {0, 0}, {179.5, 0.5}, 19936288.579, 25.671873},
    {"Sydney to Santiago", {151.21, -33.87}, {-70.67, -33.45}, 11368700.748, 145.334283},
};

class GeodTable : public testing::TestWithParam<GeodCase> {};

// Catches a spherical or wrongly flattened earth (London-Paris is 365 m off
// on a sphere) and a bearing left in -180..180 or off by the wrap at 360.
TEST_P(GeodTable, DistanceAndBearingMatchPROJsGeod) {
    const GeodCase& c = GetParam();
    const DistanceBearing got = DistanceAndBearing(c.from, c.to);
    EXPECT_NEAR(got.metres, c.metres, 0.5);
    EXPECT_GE(got.bearing, 0);
    EXPECT_LT(got.bearing, 360);
    const double expected = c.azimuth < 0 ? c.azimuth + 360 : c.azimuth;
    // 359.999 and 0.001 are 0.002 apart.
    const double apart = std::fabs(got.bearing - expected);
    EXPECT_LT(std::min(apart, 360 - apart), 0.01) << got.bearing;
}

INSTANTIATE_TEST_SUITE_P(Pairs, GeodTable, testing::ValuesIn(kGeod));

struct CrossCase {
    const char* what;
    LonLat position, from, to;
    bool right;
};

void PrintTo(const CrossCase& c, std::ostream* os) {
    *os << c.what;
}

const CrossCase kCross[] = {
    {"300 m off a short leg", {23.66, 37.95}, {23.6465, 37.9421}, {23.70, 37.99}, true},
    {"north of an eastward equator leg", {10, 1}, {0, 0}, {20, 0}, false},
    {"south of a westward transatlantic leg",
     {-10, 30},
     {-0.1278, 51.5074},
     {-73.78, 40.64},
     false},
    {"a leg across the antimeridian", {179.9, -17.0}, {178.5, -17.7}, {-179.2, -18.1}, false},
    {"400 km east of a meridian leg", {5, 45}, {0, 0}, {0, 80}, true},
    {"behind the leg's start", {0.01, -0.5}, {0, 0}, {0, 1}, true},
};

class CrossTable : public testing::TestWithParam<CrossCase> {};

// Catches a cross-track error solved on a sphere (some 0.3 % off), a foot
// that is not the nearest point of the leg, and a side given the wrong way.
TEST_P(CrossTable, IsTheDistanceToTheNearestPointOfTheLeg) {
    const CrossCase& c = GetParam();
    const CrossTrack got = CrossTrackOf(c.position, c.from, c.to);
    EXPECT_EQ(got.metres > 0, c.right) << got.metres;
    const double azimuth = Wgs84Inverse(c.from, c.to).azimuthFrom;
    const auto distanceAt = [&](double along) {
        return Wgs84Inverse(Wgs84Direct(c.from, azimuth, along).position, c.position).metres;
    };
    EXPECT_NEAR(std::fabs(got.metres), distanceAt(got.along), 1e-3);
    double nearest = HUGE_VAL;
    for (double along = got.along - 2000; along <= got.along + 2000; along += 1)
        nearest = std::min(nearest, distanceAt(along));
    EXPECT_NEAR(std::fabs(got.metres), nearest, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Legs, CrossTable, testing::ValuesIn(kCross));

// Catches a division by a leg without direction.
TEST(CrossTrack, AZeroLengthLegGivesNothing) {
    const CrossTrack got = CrossTrackOf({1, 1}, {2, 2}, {2, 2});
    EXPECT_EQ(got.metres, 0);
    EXPECT_EQ(got.along, 0);
}

} // namespace
