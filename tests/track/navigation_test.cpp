#include "map/geodesic.h"
#include "track/geodesy.h"
#include "track/navigation.h"

#include <gtest/gtest.h>
#include <ostream>

namespace {

const LonLat kStart{23.60, 37.90}; // off Piraeus

// The place `offset` [m] right (negative: left) of the point `along` [m]
// down the geodesic that leaves `from` towards `azimuth` [deg].
LonLat Beside(LonLat from, double azimuth, double along, double offset) {
    const GeodesicEnd on = Wgs84Direct(from, azimuth, along);
    return Wgs84Direct(on.position, on.azimuth + 90, offset).position;
}

// Three points: 2 km north-east, then 2 km south-east (a right turn of 90 deg).
std::vector<NavTarget> Route() {
    const LonLat second = Wgs84Direct(kStart, 45, 2000).position;
    const LonLat third = Wgs84Direct(second, 135, 2000).position;
    return {{"Start", kStart}, {"Turn", second}, {"End", third}};
}

// A boat passes the three points: it leaves 20 m from the first, runs the
// first leg from 100 m left of it to 100 m right, passes the turn 80 m
// inside it (beyond the arrival radius) and runs on past the last point.
// Catches a target that never moves on without arriving, one that moves on
// twice at one point or past the last, and a cross-track error that keeps
// its side when the track crosses the leg.
TEST(Navigation, ARouteReplayAdvancesTwiceAndTheLegIsCrossed) {
    const std::vector<NavTarget> route = Route();
    std::vector<LonLat> log;
    const double firstLeg = Wgs84Inverse(route[0].position, route[1].position).azimuthFrom;
    log.push_back(Beside(kStart, firstLeg, -20, 0));
    for (double along = 0; along <= 1900; along += 20)
        log.push_back(Beside(kStart, firstLeg, along, -100 + 180 * along / 1900));
    const double secondLeg = Wgs84Inverse(route[1].position, route[2].position).azimuthFrom;
    for (double along = 100; along <= 2300; along += 20)
        log.push_back(Beside(route[1].position, secondLeg, along, 80));

    CNavigation nav;
    nav.FollowRoute(route);
    int advances = 0, sideChanges = 0;
    std::optional<bool> right;
    for (const LonLat& at : log) {
        const std::optional<NavReadout> readout = nav.Update(at, 6.0);
        ASSERT_TRUE(readout);
        advances += readout->advanced;
        EXPECT_EQ(readout->target, route[nav.TargetIndex()].name);
        if (nav.TargetIndex() == 0) {
            EXPECT_FALSE(readout->crossTrack) << "no leg leads to the first point";
            continue;
        }
        ASSERT_TRUE(readout->crossTrack);
        if (nav.TargetIndex() == 1) {
            const bool now = *readout->crossTrack > 0;
            sideChanges += right && *right != now;
            right = now;
        }
    }
    EXPECT_EQ(advances, 2);
    EXPECT_EQ(nav.TargetIndex(), 2u);
    EXPECT_EQ(sideChanges, 1);
    EXPECT_TRUE(*right) << "the first leg's run ended on its right";
}

// Catches the turn's bisector taken at the wrong angle: on a straight route
// the target moves on just abeam of the middle point, not before.
TEST(Navigation, AStraightRouteMovesOnAbeamOfThePoint) {
    const LonLat middle = Wgs84Direct(kStart, 0, 1000).position;
    const LonLat end = Wgs84Direct(kStart, 0, 2000).position;
    CNavigation nav;
    nav.FollowRoute({{"A", kStart}, {"B", middle}, {"C", end}});
    (void)nav.Update(kStart, std::nullopt);
    ASSERT_EQ(nav.TargetIndex(), 1u);
    EXPECT_FALSE(nav.Update(Beside(kStart, 0, 990, 200), std::nullopt)->advanced);
    EXPECT_TRUE(nav.Update(Beside(kStart, 0, 1010, 200), std::nullopt)->advanced);
}

// Catches a go-to that moves on or ends by itself, a readout without a
// fix, and a time to arrival from a speed too low to mean one.
TEST(Navigation, GoToReadsDistanceBearingAndTimeUntilStopped) {
    CNavigation nav;
    EXPECT_FALSE(nav.Update(kStart, 5.0)) << "no target set";
    const LonLat target = Wgs84Direct(kStart, 200, 1852).position;
    nav.GoTo({"Buoy", target});
    EXPECT_FALSE(nav.Update(std::nullopt, 5.0)) << "no position";
    const std::optional<NavReadout> readout = nav.Update(kStart, 6.0);
    ASSERT_TRUE(readout);
    EXPECT_EQ(readout->target, "Buoy");
    EXPECT_NEAR(readout->metres, 1852, 1e-6);
    EXPECT_NEAR(readout->bearing, 200, 1e-7);
    ASSERT_TRUE(readout->seconds);
    EXPECT_NEAR(*readout->seconds, 600, 1e-6) << "a nautical mile at 6 kn";
    EXPECT_FALSE(readout->crossTrack);
    EXPECT_FALSE(nav.Update(kStart, CNavigation::kMinSpeedKnots)->seconds);
    EXPECT_FALSE(nav.Update(target, 6.0)->advanced);
    EXPECT_TRUE(nav.Active());
    nav.Stop();
    EXPECT_FALSE(nav.Update(kStart, 6.0));
    nav.FollowRoute({});
    EXPECT_FALSE(nav.Active()) << "a route without points";
}

struct BarCase {
    NavReadout readout;
    const char* text;
};

void PrintTo(const BarCase& c, std::ostream* os) {
    *os << c.text;
}

NavReadout Readout(double metres, double bearing, std::optional<double> seconds = std::nullopt,
                   std::optional<double> crossTrack = std::nullopt) {
    NavReadout r;
    r.target = "Summit";
    r.metres = metres;
    r.bearing = bearing;
    r.seconds = seconds;
    r.crossTrack = crossTrack;
    return r;
}

const BarCase kBar[] = {
    {Readout(850.4, 44.6), "Summit: 850 m, 045\xC2\xB0"},
    {Readout(999.6, 0), "Summit: 1.00 km, 000\xC2\xB0"},
    {Readout(1234, 359.6), "Summit: 1.23 km, 000\xC2\xB0"},
    {Readout(12345, 180), "Summit: 12.3 km, 180\xC2\xB0"},
    {Readout(123456, 90), "Summit: 123 km, 090\xC2\xB0"},
    {Readout(850, 45, 312.4), "Summit: 850 m, 045\xC2\xB0, 0:05:12 to go"},
    {Readout(850, 45, 3725), "Summit: 850 m, 045\xC2\xB0, 1:02:05 to go"},
    {Readout(850, 45, std::nullopt, -35.2), "Summit: 850 m, 045\xC2\xB0, 35 m left of the leg"},
    {Readout(850, 45, 60, 1500),
     "Summit: 850 m, 045\xC2\xB0, 0:01:00 to go, 1.50 km right of the leg"},
};

class NavigationBar : public testing::TestWithParam<BarCase> {};

// Catches "1000 m" where a kilometre is due, a bearing of 360, a time to go
// that rolls seconds into minutes wrongly, and a side of the leg swapped.
TEST_P(NavigationBar, ShowsTheReadout) {
    EXPECT_EQ(NavigationBarText(GetParam().readout), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, NavigationBar, testing::ValuesIn(kBar));

} // namespace
