#include "map/georeference.h"
#include "map/map_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Metres between two places, for comparing with values from cs2cs.
double Apart(LonLat a, LonLat b) {
    return GeodesicMetres(a, b);
}

// Catches a fit that swaps the axes, drops the rotation terms, refuses the
// points along a diagonal that older versions took, or accepts points that
// leave a direction unknown.
TEST(FitAffine, RecoversRotationAndRefusesDegeneratePoints) {
    const Affine truth{500000, 2.0, 0.3, 5500000, 0.25, -2.0};
    std::vector<PixelXY> pixels = {{0, 0}, {1000, 10}, {20, 800}, {900, 700}};
    std::vector<PixelXY> coords;
    for (const PixelXY& p : pixels)
        coords.push_back(truth.Apply(p));
    const std::optional<Affine> fit = FitAffine(pixels, coords);
    ASSERT_TRUE(fit);
    for (double v : {fit->e0 - truth.e0, fit->ex - truth.ex, fit->ey - truth.ey, fit->n0 - truth.n0,
                     fit->nx - truth.nx, fit->ny - truth.ny})
        EXPECT_NEAR(v, 0, 1e-6);
    const std::optional<PixelXY> back = fit->Invert(truth.Apply({321, 123}));
    ASSERT_TRUE(back);
    EXPECT_NEAR(back->x, 321, 1e-6);
    EXPECT_NEAR(back->y, 123, 1e-6);

    // Two points: a scale per axis, nothing turned.
    const auto two = FitAffine({{10, 20}, {110, 220}}, {{1000, 2000}, {1200, 1600}});
    ASSERT_TRUE(two);
    EXPECT_DOUBLE_EQ(two->ex, 2);
    EXPECT_DOUBLE_EQ(two->ny, -2);
    EXPECT_EQ(two->ey, 0);
    EXPECT_EQ(two->nx, 0);

    EXPECT_FALSE(FitAffine({{0, 0}, {100, 0}}, {{0, 0}, {1, 1}})) << "same row";
    // Points along a diagonal give a scale per axis, as they did before
    // rotation was fitted; on one row they give nothing.
    const auto diagonal = FitAffine({{0, 0}, {100, 100}, {200, 200}}, {{0, 0}, {1, -2}, {2, -4}});
    ASSERT_TRUE(diagonal);
    EXPECT_DOUBLE_EQ(diagonal->ex, 0.01);
    EXPECT_DOUBLE_EQ(diagonal->ny, -0.02);
    EXPECT_FALSE(FitAffine({{0, 5}, {100, 5}, {200, 5}}, {{0, 0}, {1, 1}, {2, 2}}))
        << "three points on a row";
    EXPECT_FALSE(FitAffine({{0, 0}}, {{0, 0}}));
    EXPECT_FALSE(FitAffine({{0, 0}, {100, 100}, {0, 100}}, {{0, 0}, {1, 1}}));
}

// A UTM sheet tied by grid points and a Gauss-Krueger sheet tied by
// longitude/latitude on its own datum: catches a datum ignored, points on
// the datum taken as WGS 84, and axes in latitude/longitude order.
TEST(Georeference, PlacesProjectedMapsAsCs2csDoes) {
    std::string problem;
    // 1 m pixels, north up: pixel (0, 0) is 500000 E, 5500000 N.
    const GeoreferenceDef utm{"EPSG:32633",
                              {{0, 0, 500000, 5500000, false},
                               {2000, 0, 502000, 5500000, false},
                               {0, 2000, 500000, 5498000, false}}};
    const auto g = CGeoreference::Create(utm, problem);
    ASSERT_TRUE(g) << problem;
    EXPECT_FALSE(g->IsBallpark());
    // echo "512345.6 5487654.3" | cs2cs -f %.9f EPSG:32633 +to EPSG:4326
    const std::optional<LonLat> at = g->PositionAt({12345.6, 12345.7});
    ASSERT_TRUE(at);
    EXPECT_LT(Apart(*at, {15.170645428, 49.541371450}), 0.01);
    const std::optional<PixelXY> px = g->PixelAt({15.0, 49.652542922});
    ASSERT_TRUE(px);
    EXPECT_NEAR(px->x, 0, 0.01);
    EXPECT_NEAR(px->y, 0, 0.01);
    EXPECT_LT(g->Errors().maxPixels, 1e-6);

    const char* gk = "+proj=tmerc +lat_0=0 +lon_0=21 +k=1 +x_0=4500000 +y_0=0 +ellps=krass "
                     "+towgs84=28,-121,-77 +units=m +type=crs";
    // Tie points on Pulkovo 1942; 10 m pixels with 4500000 E, 6010000 N at
    // pixel (0, 0). echo "21.1 54.2" | cs2cs +proj=longlat <datum> +to <gk>
    // gives 4506526.2119 6008287.3906, i.e. pixel (652.62119, 171.26094).
    const GeoreferenceDef onDatum{gk,
                                  {{0, 0, 4500000, 6010000, false},
                                   {652.62119, 171.26094, 21.1, 54.2, true},
                                   {0, 1000, 4500000, 6000000, false}}};
    const auto k = CGeoreference::Create(onDatum, problem);
    ASSERT_TRUE(k) << problem;
    EXPECT_LT(k->Errors().maxMetres, 0.05);
    // echo "4500000 6000000" | cs2cs -f %.9f <gk> +to EPSG:4326
    const std::optional<LonLat> corner = k->PositionAt({0, 1000});
    ASSERT_TRUE(corner);
    EXPECT_LT(Apart(*corner, {20.998118700, 54.125331275}), 0.01);
}

// Catches a datum with no known shift passed off as exact, and a system
// PROJ cannot read put in force.
TEST(Georeference, SaysWhenItCannotBeExact) {
    std::string problem;
    const std::vector<TiePoint> degrees = {{0, 0, 139, 36, false}, {100, 100, 140, 35, false}};
    const auto tokyo =
        CGeoreference::Create({"+proj=longlat +ellps=bessel +no_defs +type=crs", degrees}, problem);
    ASSERT_TRUE(tokyo) << problem;
    EXPECT_TRUE(tokyo->IsBallpark());

    const auto wgs84 = CGeoreference::Create({"", degrees}, problem);
    ASSERT_TRUE(wgs84) << problem;
    EXPECT_FALSE(wgs84->IsBallpark());
    EXPECT_EQ(wgs84->Description(), "WGS 84");

    problem.clear();
    EXPECT_FALSE(CGeoreference::Create({"+proj=nonesuch +type=crs", degrees}, problem));
    EXPECT_NE(problem.find("PROJ does not know"), std::string::npos) << problem;
    EXPECT_FALSE(CGeoreference::Create({"", {{0, 0, 200, 0, false}, {1, 1, 0, 0, false}}}, problem))
        << "a longitude beyond 180";
    EXPECT_FALSE(CGeoreference::Create({"EPSG:32633", {{0, 0, 5e5, 5e6, false}}}, problem));
}

// The window's model: without a georeference it must give exactly the
// designed integer result; with one, the exact degrees of the fix.
TEST(MapModel, DesignedCalibrationStaysAsItWasAndGeoreferenceUsesExactDegrees) {
    const CMapCalibration cal{true, true, 36000, 180000, 39600, 176400, 100, 100, 1100, 1100};
    const CMapModel designed{cal};
    for (const CGeoPoint g : {CGeoPoint{36001, 179999}, CGeoPoint{37777, 177777}}) {
        const FixPosition fix{g, {99, 9}}; // degrees that the designed model must not use
        EXPECT_EQ(designed.ToClient(fix, {5, 7}), GeoToClient(g, {5, 7}, cal));
    }
    EXPECT_EQ(designed.AtClient({300, 400}, {0, 0}), ClientToGeo({300, 400}, {0, 0}, cal));
    const std::optional<LonLat> p = designed.PositionAt({100, 100});
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->lon, 10);
    EXPECT_DOUBLE_EQ(p->lat, 50);

    std::string problem;
    const auto g = CGeoreference::Create(
        {"", {{100, 100, 10, 50, false}, {1100, 1100, 11, 49, false}}}, problem);
    ASSERT_TRUE(g) << problem;
    const CMapModel own{cal, g.get()};
    // 1 mdeg pixels: 10.0016 deg is pixel 101.6, its whole arc-seconds
    // (36005) only 101.39.
    EXPECT_EQ(own.ToClient({{36005, 180000}, {10.0016, 50}}, {0, 0}), (CPoint{102, 100}));
    EXPECT_EQ(own.ToClient({{36001, 180000}, {10.0004, 50}}, {3, 4}), (CPoint{97, 96}));
    EXPECT_EQ(own.AtClient({600, 600}, {0, 0}), (CGeoPoint{37800, 178200}));
}

// Catches minutes cut to whole arc-seconds, the hemisphere ignored, and a
// text that is no number read as one.
TEST(NmeaToDegrees, KeepsEveryDigit) {
    EXPECT_DOUBLE_EQ(*NmeaToDegrees("4807.03812", "N", "S"), 48 + 7.03812 / 60);
    EXPECT_DOUBLE_EQ(*NmeaToDegrees("01131.5", "W", "W"), -(11 + 31.5 / 60));
    EXPECT_FALSE(NmeaToDegrees("nan", "N", "S"));
    EXPECT_FALSE(NmeaToDegrees("1e999", "N", "S"));
}

} // namespace
