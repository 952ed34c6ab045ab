#include "app/string_table.h"
#include "map/calibration_store.h"
#include "platform/message_box.h"
#include "tests/app/app_fixture.h"

#include "tests/render/bmp_file.h"
#include "tests/test_support.h"
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

namespace {

void SetPosition(CGpsReceiver& gps, const char* lat, const char* ns, const char* lon,
                 const char* ew) {
    gps.m_fix.m_strLatitude = lat;
    gps.m_fix.m_strNorthSouth = ns;
    gps.m_fix.m_strLongitude = lon;
    gps.m_fix.m_strEastWest = ew;
}

// NMEA text of `arcSeconds` with `degreeDigits`, minutes rounded up so
// that the truncating conversion gives the arc-second back.
std::string NmeaText(int32_t arcSeconds, int degreeDigits) {
    const int32_t a = std::abs(arcSeconds);
    const double minutes = std::ceil((a % 3600) / 60.0 * 10000.0) / 10000.0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d%07.4f", degreeDigits, a / 3600, minutes);
    return buf;
}

// A fix that the world calibration puts on map pixel (x, y).
void SetWorldPixel(CGpsReceiver& gps, int x, int y) {
    const int32_t lon = int32_t(std::ceil((x - 21) * 1296000.0 / 498.0)) - 648000;
    const int32_t lat = 324000 - int32_t(std::ceil((y - 46) * 648000.0 / 249.0));
    gps.m_fix.m_strLongitude = NmeaText(lon, 3);
    gps.m_fix.m_strEastWest = lon < 0 ? "W" : "E";
    gps.m_fix.m_strLatitude = NmeaText(lat, 2);
    gps.m_fix.m_strNorthSouth = lat < 0 ? "S" : "N";
    ASSERT_EQ(GeoToClient({lon, lat}, {0, 0}, WorldMapCalibration()), (CPoint{x, y}));
}

class WorldMapView : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        view = ActiveView();
        ASSERT_NE(view, nullptr);
        gps = view->m_pGps;
        ASSERT_NE(gps, nullptr);
    }

    // The square marker centred on client (x, y): an 8 x 8 red square with
    // a 4 x 4 white centre, nothing red just outside it.
    void ExpectSquareAt(int x, int y) {
        for (int dy = -4; dy < 4; ++dy) {
            for (int dx = -4; dx < 4; ++dx) {
                const bool centre = dx >= -2 && dx < 2 && dy >= -2 && dy < 2;
                const QColor c = Pixel(view, x + dx, y + dy);
                EXPECT_TRUE(centre ? IsWhite(c) : IsRed(c))
                    << "marker at (" << x << ", " << y << "), pixel offset (" << dx << ", " << dy
                    << ") is " << c.name().toStdString();
            }
        }
        for (int d = -5; d <= 4; ++d) {
            EXPECT_FALSE(IsRed(Pixel(view, x - 5, y + d))) << "left of (" << x << ", " << y << ")";
            EXPECT_FALSE(IsRed(Pixel(view, x + 4, y + d))) << "right of (" << x << ", " << y << ")";
            EXPECT_FALSE(IsRed(Pixel(view, x + d, y - 5))) << "above (" << x << ", " << y << ")";
            EXPECT_FALSE(IsRed(Pixel(view, x + d, y + 4))) << "below (" << x << ", " << y << ")";
        }
    }

    int CountRed(const CRect& r) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += IsRed(Pixel(view, x, y));
        return n;
    }

    COstrelView* view = nullptr;
    CGpsReceiver* gps = nullptr;
};

TEST_F(WorldMapView, StartsAsTheWorldMapWindow) {
    auto* frame = qobject_cast<QMdiSubWindow*>(view->parentWidget());
    EXPECT_EQ(view->m_nMode, DOCMODE_WORLDMAP);
    EXPECT_EQ(frame->geometry(), QRect(0, 0, 555, 380));
    EXPECT_TRUE(view->m_bCalibrated);
    EXPECT_FALSE(view->m_bShowCalPoints);
    EXPECT_EQ(view->GetTotalSize(), (CSize{540, 341}));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("World Map"));
    // The picture, not the white window background: its black frame.
    SetClientSize(view, 600, 400);
    EXPECT_TRUE(IsBlack(Pixel(view, 0, 0)));
    EXPECT_TRUE(IsBlack(Pixel(view, 539, 340)));
    EXPECT_TRUE(IsWhite(Pixel(view, 545, 345)));
}

struct PlaceCase {
    const char* lat;
    const char* ns;
    const char* lon;
    const char* ew;
    int x;
    int y;
};

void PrintTo(const PlaceCase& c, std::ostream* os) {
    *os << c.lat << c.ns << " " << c.lon << c.ew;
}

class WorldMapMarker : public WorldMapView, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(WorldMapMarker, LandsOnItsPixel) {
    const PlaceCase& c = GetParam();
    SetClientSize(view, 600, 400);
    SetPosition(*gps, c.lat, c.ns, c.lon, c.ew);
    view->OnTimer(2);
    SCOPED_TRACE(std::string(c.lat) + c.ns + " " + c.lon + c.ew);
    ExpectSquareAt(c.x, c.y);
}

INSTANTIATE_TEST_SUITE_P(Places, WorldMapMarker,
                         ::testing::Values(PlaceCase{"4807.038", "N", "01131.000", "E", 285, 103},
                                           PlaceCase{"4042.768", "N", "07400.360", "W", 167, 114},
                                           PlaceCase{"3352.000", "S", "15112.000", "E", 479, 217},
                                           PlaceCase{"9000.000", "N", "18000.000", "W", 21, 46},
                                           PlaceCase{"9000.000", "S", "18000.000", "E", 519, 295},
                                           PlaceCase{"0000.000", "N", "00000.500", "E", 270, 170}));

// The world map zooms too: a marker at its unzoomed place, a square grown
// with the map, or a picture left at actual size is each caught here.
TEST_F(WorldMapView, ZoomedWorldMapKeepsTheSquareOnItsPlaceAndSize) {
    SetClientSize(view, 600, 400);
    Frame()->RouteCommand(ID_ZOOM_IN);
    Frame()->RouteCommand(ID_ZOOM_IN);
    ASSERT_DOUBLE_EQ(view->Zoom(), 2.0);
    EXPECT_EQ(view->GetTotalSize(), (CSize{1080, 682}));
    view->ScrollToPosition({300, 100});
    SetPosition(*gps, "4807.038", "N", "01131.000", "E"); // picture pixel (285, 103)
    view->OnTimer(2);
    ExpectSquareAt(2 * 285 - 300, 2 * 103 - 100);
    // The picture's black frame is two screen pixels wide now.
    view->ScrollToPosition({0, 0});
    EXPECT_TRUE(IsBlack(Pixel(view, 0, 0)));
    EXPECT_TRUE(IsBlack(Pixel(view, 1, 1)));
}

TEST_F(WorldMapView, NoMarkerWithoutAPositionOrAtZeroZero) {
    SetClientSize(view, 600, 400);
    const QImage before = view->Surface().copy();
    view->OnTimer(2); // nothing received yet
    SetPosition(*gps, "0000.000", "N", "00000.000", "E");
    view->OnTimer(2);
    SetPosition(*gps, "", "N", "01131.000", "E");
    view->OnTimer(2);
    EXPECT_TRUE(view->Surface() == before);
}

TEST_F(WorldMapView, ScrollingMovesEveryMarker) {
    SetClientSize(view, 400, 300);
    view->ScrollToPosition({10, 5});
    ASSERT_EQ(view->GetScrollPosition(), (CPoint{10, 5}));
    const PlaceCase places[] = {{"4807.038", "N", "01131.000", "E", 285, 103},
                                {"4042.768", "N", "07400.360", "W", 167, 114},
                                {"9000.000", "N", "18000.000", "W", 21, 46}};
    for (const PlaceCase& c : places) {
        SetPosition(*gps, c.lat, c.ns, c.lon, c.ew);
        view->OnTimer(2);
        SCOPED_TRACE(std::string(c.lat) + c.ns + " " + c.lon + c.ew);
        ExpectSquareAt(c.x - 10, c.y - 5);
    }
}

TEST_F(WorldMapView, OnlyItsOwnTimerDrawsAndNotWhileBusy) {
    SetClientSize(view, 600, 400);
    SetPosition(*gps, "4807.038", "N", "01131.000", "E");
    view->OnTimer(1);
    view->m_bBusy = true;
    view->OnTimer(2);
    EXPECT_EQ(CountRed({277, 95, 293, 111}), 0);
    view->m_bBusy = false;
    view->OnTimer(2);
    EXPECT_EQ(CountRed({277, 95, 293, 111}), 48);
}

// The repaint before each marker covers 16 x 16 pixels around the new
// position; what of the old square lies outside it stays until a repaint.
struct MoveCase {
    int dx;
    int dy;
    int remaining; // red pixels of the old square left outside the new one
};

void PrintTo(const MoveCase& c, std::ostream* os) {
    *os << "(" << c.dx << ", " << c.dy << ")";
}

class WorldMapRemnant : public WorldMapView, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(WorldMapRemnant, OfTheOldSquare) {
    const MoveCase& c = GetParam();
    SetClientSize(view, 600, 400);
    const int x = 200, y = 150;
    SetWorldPixel(*gps, x, y);
    view->OnTimer(2);
    SetWorldPixel(*gps, x + c.dx, y + c.dy);
    view->OnTimer(2);
    int red = 0;
    for (int py = y - 4; py < y + 4; ++py) {
        for (int px = x - 4; px < x + 4; ++px) {
            const bool inNew =
                px >= x + c.dx - 4 && px < x + c.dx + 4 && py >= y + c.dy - 4 && py < y + c.dy + 4;
            red += !inNew && IsRed(Pixel(view, px, py));
        }
    }
    EXPECT_EQ(red, c.remaining) << "moved by (" << c.dx << ", " << c.dy << ")";
    view->RedrawWindow();
    EXPECT_EQ(CountRed(view->GetClientRect()), 0) << "a full repaint leaves no marker";
}

INSTANTIATE_TEST_SUITE_P(Moves, WorldMapRemnant,
                         ::testing::Values(MoveCase{4, 0, 0}, MoveCase{5, 0, 8},
                                           MoveCase{11, 0, 40}, MoveCase{12, 0, 48},
                                           MoveCase{0, -5, 8}, MoveCase{0, 12, 48},
                                           MoveCase{-30, 20, 48}));

TEST_F(WorldMapView, CalibrationPointsShowAndClear) {
    SetClientSize(view, 600, 400);
    view->OnShowCalibrationPoints();
    // Along each arm from the centre: black centre, white to 4, black to 9,
    // white to 19. Both points lie on graticule lines, which are black.
    struct Arm {
        CPoint centre;
        int dx;
        int dy;
    };
    for (const Arm a : {Arm{{21, 46}, 1, 0}, Arm{{21, 46}, 0, 1}, Arm{{519, 295}, -1, 0},
                        Arm{{519, 295}, 0, -1}}) {
        auto at = [&](int d) { return Pixel(view, a.centre.x + d * a.dx, a.centre.y + d * a.dy); };
        SCOPED_TRACE("cross at (" + std::to_string(a.centre.x) + ", " + std::to_string(a.centre.y) +
                     ")");
        EXPECT_TRUE(IsBlack(at(0)));
        EXPECT_TRUE(IsWhite(at(3)));
        EXPECT_TRUE(IsBlack(at(7)));
        EXPECT_TRUE(IsWhite(at(15)));
    }

    view->OnClearCalibrationPoints();
    EXPECT_FALSE(view->m_bCalibrated);
    EXPECT_TRUE(IsBlack(Pixel(view, 21 + 3, 46)));
    EXPECT_TRUE(IsBlack(Pixel(view, 519, 295 - 15)));
    // The marker still goes by the unchanged numbers.
    SetPosition(*gps, "4807.038", "N", "01131.000", "E");
    view->OnTimer(2);
    ExpectSquareAt(285, 103);
}

// A scanned map of one colour, calibrated at 10 arc-seconds per pixel:
// map pixel (x, y) is longitude 10 x, latitude 36000 - 10 y.
class ScannedMapView : public AppTest {
protected:
    static constexpr QRgb kGround = 0x008000; // the picture's colour

    void SetUp() override {
        AppTest::SetUp();
        view = OpenWindow(DOCMODE_MAP);
        ASSERT_NE(view, nullptr);
        gps = view->m_pGps;
        ASSERT_NE(ReadDib(view->m_dib, PlainBmp(600, 400, kGround)), 0u);
        view->m_bMapLoaded = true;
        view->m_cal = CMapCalibration{true, true, 0, 36000, 36000, 0, 0, 0, 3600, 3600};
        view->m_bCalibrated = true;
        SetClientSize(view, 300, 200);
        view->RedrawWindow();
    }

    void MoveTo(int mapX, int mapY) {
        const std::string lon = NmeaText(10 * mapX, 3);
        const std::string lat = NmeaText(36000 - 10 * mapY, 2);
        SetPosition(*gps, lat.c_str(), "N", lon.c_str(), "E");
        view->OnTimer(2);
    }

    bool IsGround(int x, int y) const { return Pixel(view, x, y) == QColor(kGround); }

    COstrelView* view = nullptr;
    CGpsReceiver* gps = nullptr;
};

TEST_F(ScannedMapView, StartsWithCalibrationMarkersOnAndRouteOff) {
    EXPECT_EQ(view->m_nMode, DOCMODE_MAP);
    EXPECT_TRUE(view->m_bShowCalPoints);
    EXPECT_FALSE(view->m_bShowRoute);
    EXPECT_EQ(view->m_nRoutePoints, 0);
    EXPECT_EQ(view->GetTotalSize(), (CSize{600, 400}));
}

// Follow Position must keep a moving marker in the window, scroll to put it
// in the middle only once it leaves the middle three quarters, ignore a
// position off the picture, and give way to a scroll by hand.
TEST_F(ScannedMapView, FollowPositionKeepsTheMarkerInViewUntilScrolledByHand) {
    Frame()->RouteCommand(ID_FOLLOW_POSITION);
    ASSERT_TRUE(view->m_bFollowPosition);
    MoveTo(100, 60);
    EXPECT_EQ(view->GetScrollPosition(), (CPoint{0, 0})) << "inside the middle: no scroll";
    for (int x = 100; x < 600; x += 7) {
        const int y = 60 + (x - 100) * 330 / 500;
        MoveTo(x, y);
        const CPoint s = view->GetScrollPosition();
        EXPECT_TRUE(x - s.x >= 0 && x - s.x < 300 && y - s.y >= 0 && y - s.y < 200)
            << x << "," << y;
        EXPECT_TRUE(IsBlack(Pixel(view, x - s.x, y - s.y))) << "marker drawn after the scroll";
    }
    EXPECT_EQ(view->GetScrollPosition(), (CPoint{300, 200}));
    const CPoint end = view->GetScrollPosition();
    MoveTo(700, 500); // off the picture
    EXPECT_EQ(view->GetScrollPosition(), end);

    view->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_FALSE(view->m_bFollowPosition);
    Frame()->UpdateCommandUI();
    EXPECT_FALSE(Frame()->CommandAction(ID_FOLLOW_POSITION)->isChecked());
    EXPECT_TRUE(Frame()->CommandAction(ID_FOLLOW_POSITION)->isEnabled());
}

// The demo trip on its 3000 x 2000 map at fifty times its speed (fifty
// fixes a view tick), at actual size and zoomed out to 25 %: a marker that
// leaves the window at any tick means Follow Position loses the user on a
// real map, or follows the unzoomed place.
TEST_F(ScannedMapView, FollowPositionKeepsTheDemoTripInViewAtFiftyTimesItsSpeed) {
    const std::filesystem::path demo = OSTREL_DEMO_DIR;
    ASSERT_NE(ReadDib(view->m_dib, ReadFileBytes(demo / "demo_map.bmp")), 0u);
    int32_t c[8] = {};
    ASSERT_EQ(std::sscanf(ReadFileBytes(demo / "demo_map.cal").c_str(), "%d,%d,%d,%d,%d,%d,%d,%d",
                          &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]),
              8);
    view->m_cal = CMapCalibration{true, true, c[2], c[3], c[6], c[7], c[0], c[1], c[4], c[5]};
    SetClientSize(view, 640, 400);
    view->RedrawWindow();
    ASSERT_EQ(view->GetTotalSize(), (CSize{3000, 2000}));
    const std::string log = ReadFileBytes(demo / "demo_track.nmea");

    // At 25 % the whole trip would fit the big window: a small one must scroll.
    struct {
        double zoom;
        int w, h;
    } const cases[] = {{1.0, 640, 400}, {0.25, 240, 160}};
    for (const auto [zoom, w, h] : cases) {
        SCOPED_TRACE(zoom);
        SetClientSize(view, w, h);
        view->ZoomTo(zoom, {0, 0});
        ASSERT_DOUBLE_EQ(view->Zoom(), zoom);
        view->ScrollToPosition({0, 0});
        view->m_bFollowPosition = true;
        int fixes = 0, ticks = 0;
        std::set<std::pair<int, int>> scrolls;
        for (size_t at = 0, end; (end = log.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string sentence = log.substr(at, end - at);
            if (!gps->ParseSentence(sentence) || sentence.compare(0, 6, "$GPRMC") != 0 ||
                ++fixes % 50 != 0)
                continue;
            view->OnTimer(2);
            ++ticks;
            if (gps->m_fix.m_strLatitude.empty())
                continue;
            const auto geo = CGeoPoint{
                NmeaToArcSeconds(gps->m_fix.m_strLongitude, 3, gps->m_fix.m_strEastWest, "W"),
                NmeaToArcSeconds(gps->m_fix.m_strLatitude, 2, gps->m_fix.m_strNorthSouth, "S")};
            const CPoint scroll = view->GetScrollPosition();
            const std::optional<CPoint> p = GeoToClient(geo, {0, 0}, view->m_cal);
            ASSERT_TRUE(p.has_value());
            const double x = p->x * zoom - scroll.x, y = p->y * zoom - scroll.y;
            EXPECT_TRUE(x >= 0 && x < w && y >= 0 && y < h)
                << "fix " << fixes << " at " << x << "," << y << " of the window";
            scrolls.insert({scroll.x, scroll.y});
        }
        EXPECT_GE(ticks, 40);
        EXPECT_GE(scrolls.size(), 2u) << "the trip never needed following";
        EXPECT_TRUE(view->m_bFollowPosition);
    }
}

TEST_F(ScannedMapView, RingMarkerRings) {
    MoveTo(60, 60);
    EXPECT_TRUE(IsBlack(Pixel(view, 60, 60)));
    EXPECT_TRUE(IsWhite(Pixel(view, 58, 60))); // the white cross, arm 4
    EXPECT_TRUE(IsBlack(Pixel(view, 53, 60))); // the black cross, arm 12
    EXPECT_TRUE(IsGround(55, 55));             // inside the ring, off the cross
    // Down a column beside the cross: ground, black ring, white ring, black ring, ground.
    std::vector<char> runs;
    for (int y = 61; y < 80; ++y) {
        const QColor c = Pixel(view, 62, y);
        const char k = IsBlack(c) ? 'K' : IsWhite(c) ? 'W' : IsGround(62, y) ? 'G' : '?';
        if (runs.empty() || runs.back() != k)
            runs.push_back(k);
    }
    // How a wide pen covers the ellipse's edge is the drawing layer's affair;
    // the rings' order from inside out is ours.
    const std::string seen(runs.begin(), runs.end());
    EXPECT_TRUE(std::regex_match(seen, std::regex("G.*K.*W.*K.*G"))) << seen;
}

TEST_F(ScannedMapView, RouteGrowsOnlyWhenThePositionMoves) {
    view->OnShowRouteLine();
    MoveTo(60, 60);
    EXPECT_EQ(view->m_nRoutePoints, 1);
    // One point draws no line.
    EXPECT_TRUE(IsGround(30, 60));
    MoveTo(60, 60);
    EXPECT_EQ(view->m_nRoutePoints, 1);
    MoveTo(160, 60);
    ASSERT_EQ(view->m_nRoutePoints, 2);
    EXPECT_EQ(view->m_pRouteX[1], 160);
    EXPECT_EQ(view->m_pRouteY[1], 60);
    // Black from the new point back to the old one, white one pixel lower right.
    for (int x = 75; x < 145; x += 10) {
        EXPECT_TRUE(IsBlack(Pixel(view, x, 60))) << "x " << x;
        EXPECT_TRUE(IsWhite(Pixel(view, x + 1, 61))) << "x " << x;
        EXPECT_TRUE(IsGround(x, 62)) << "x " << x;
        EXPECT_TRUE(IsGround(x, 59)) << "x " << x;
    }
}

TEST_F(ScannedMapView, RoutePointsAreStoredInMapPixels) {
    view->ScrollToPosition({100, 40});
    ASSERT_EQ(view->GetScrollPosition(), (CPoint{100, 40}));
    MoveTo(150, 90);
    ASSERT_EQ(view->m_nRoutePoints, 1);
    EXPECT_EQ(view->m_pRouteX[0], 150);
    EXPECT_EQ(view->m_pRouteY[0], 90);
    EXPECT_TRUE(IsBlack(Pixel(view, 50, 50)));
}

// A marker, route or route point that skipped the zoom would stand at its
// actual-size place; a marker scaled with the map would grow and shrink.
TEST_F(ScannedMapView, MarkerAndRouteFollowTheZoomAtTheirDesignedSize) {
    view->OnShowRouteLine();
    for (const double zoom : {std::sqrt(0.5), 1.0, std::sqrt(2.0), 2.0, 4.0}) {
        SCOPED_TRACE(zoom);
        view->OnClearRouteLine();
        view->ZoomTo(zoom, {0, 0});
        ASSERT_NEAR(view->Zoom(), zoom, 1e-9);
        // The marker near the window's middle whatever the zoom.
        const CPoint scroll{std::max(0, int(150 * zoom) - 150), std::max(0, int(90 * zoom) - 100)};
        view->ScrollToPosition(scroll);
        ASSERT_EQ(view->GetScrollPosition(), scroll);
        view->RedrawWindow();
        MoveTo(150, 90);
        const double ex = 150 * zoom - scroll.x, ey = 90 * zoom - scroll.y;
        // The centre: black, white cross of arm 4 beside it, black cross
        // of arm 12 further out, all within 1 pixel of the zoomed place.
        bool found = false;
        for (int dy = -1; dy <= 1 && !found; ++dy) {
            for (int dx = -1; dx <= 1 && !found; ++dx) {
                const int x = int(std::lround(ex)) + dx, y = int(std::lround(ey)) + dy;
                found = std::fabs(x - ex) <= 1 && std::fabs(y - ey) <= 1 &&
                        IsBlack(Pixel(view, x, y)) && IsWhite(Pixel(view, x - 2, y)) &&
                        IsWhite(Pixel(view, x + 2, y)) && IsBlack(Pixel(view, x - 9, y)) &&
                        IsBlack(Pixel(view, x, y + 9)) && !IsBlack(Pixel(view, x - 15, y + 6));
            }
        }
        EXPECT_TRUE(found) << "no marker within 1 pixel of " << ex << "," << ey;
        ASSERT_EQ(view->m_nRoutePoints, 1);
        EXPECT_EQ(view->m_pRouteX[0], 150) << "route points are picture pixels";
        EXPECT_EQ(view->m_pRouteY[0], 90);
        // A second point 20 picture pixels to the left: the line is 20 x zoom long.
        MoveTo(130, 90);
        const int y = int(std::lround(ey));
        const int from = int(std::lround(130 * zoom)) - scroll.x;
        for (int x = from + 1; x < int(std::lround(ex)) - kRingRadius; ++x)
            EXPECT_TRUE(IsBlack(Pixel(view, x, y)) || IsBlack(Pixel(view, x, y - 1)))
                << "route at x " << x;
        EXPECT_FALSE(IsBlack(Pixel(view, from - kRingRadius - 3, y)));
    }
}

TEST_F(ScannedMapView, ScrolledRouteDrawsAtClientPositions) {
    view->ScrollToPosition({100, 40});
    view->m_pRouteX[0] = 250;
    view->m_pRouteY[0] = 90;
    view->m_pRouteX[1] = 150;
    view->m_pRouteY[1] = 90;
    view->m_nRoutePoints = 2;
    view->OnShowRouteLine();
    EXPECT_TRUE(IsBlack(Pixel(view, 50, 50)));
    EXPECT_TRUE(IsWhite(Pixel(view, 51, 51)));
    EXPECT_TRUE(IsBlack(Pixel(view, 149, 50)));
    EXPECT_TRUE(IsGround(150, 50)); // the end point is not drawn
    EXPECT_TRUE(IsGround(50, 49));
}

TEST_F(ScannedMapView, ClearRouteLineLeavesTheLineUntilARepaint) {
    view->OnShowRouteLine();
    MoveTo(60, 60);
    MoveTo(160, 60);
    ASSERT_TRUE(IsBlack(Pixel(view, 110, 60)));
    view->OnClearRouteLine();
    EXPECT_EQ(view->m_nRoutePoints, 0);
    EXPECT_TRUE(IsBlack(Pixel(view, 110, 60)));
    view->OnShowRouteLine();
    view->OnShowRouteLine();
    EXPECT_TRUE(IsGround(110, 60));
}

TEST_F(ScannedMapView, RouteStopsAtItsLimit) {
    view->m_nRoutePoints = MAX_ROUTE_POINTS;
    MoveTo(60, 60);
    EXPECT_EQ(view->m_nRoutePoints, MAX_ROUTE_POINTS);
}

TEST_F(ScannedMapView, RouteFillsTickByTickUpToItsLimit) {
    // Positions beyond the client area keep the ticks cheap; they are
    // recorded all the same. Each differs from the one before.
    auto position = [](int i) { return CPoint{1000 + i % 1000, 1000 + i / 1000}; };
    view->OnShowRouteLine();
    for (int i = 0; i < MAX_ROUTE_POINTS + 50; ++i) {
        const CPoint p = position(i);
        MoveTo(p.x, p.y);
    }
    ASSERT_EQ(view->m_nRoutePoints, MAX_ROUTE_POINTS);
    for (const int i : {0, 1, MAX_ROUTE_POINTS / 2, MAX_ROUTE_POINTS - 1}) {
        EXPECT_EQ(view->m_pRouteX[size_t(i)], position(i).x) << "point " << i;
        EXPECT_EQ(view->m_pRouteY[size_t(i)], position(i).y) << "point " << i;
    }
    // A full route still shows, and starts again once cleared.
    view->OnShowRouteLine();
    view->OnShowRouteLine();
    view->OnClearRouteLine();
    MoveTo(60, 60);
    EXPECT_EQ(view->m_nRoutePoints, 1);
}

TEST_F(ScannedMapView, UncalibratedMapDrawsNoMarker) {
    view->OnClearCalibrationPoints();
    MoveTo(60, 60);
    EXPECT_TRUE(IsGround(60, 60));
    EXPECT_EQ(view->m_nRoutePoints, 0);
}

// A UTM sheet (zone 33, 10 m pixels, pixel (0, 0) at 500000 E 5500000 N)
// must put the marker, the route, the readout and the crosses where its
// georeference says, not where the two-point calibration left in m_cal
// would, and Clear Calibration Points must drop it.
TEST_F(ScannedMapView, ProjectedMapGoesThroughItsGeoreferenceEverywhere) {
    std::string problem;
    view->m_pGeoref = CGeoreference::Create({"EPSG:32633",
                                             {{20, 30, 500200, 5499700, false},
                                              {500, 30, 505000, 5499700, false},
                                              {20, 350, 500200, 5496500, false}}},
                                            problem);
    ASSERT_TRUE(view->m_pGeoref) << problem;
    view->OnShowRouteLine();
    view->RedrawWindow();
    EXPECT_TRUE(IsBlack(Pixel(view, 20, 30))) << "a cross at the first point";
    // echo "502500 5498500" | cs2cs -f %.10f EPSG:32633 +to EPSG:4326
    SetPosition(*gps, "4938.3427501", "N", "01502.0774988", "E");
    view->OnTimer(2);
    EXPECT_TRUE(IsBlack(Pixel(view, 250, 150)));
    EXPECT_TRUE(IsWhite(Pixel(view, 248, 150)));
    ASSERT_EQ(view->m_nRoutePoints, 1);
    EXPECT_EQ(view->m_pRouteX[0], 250);
    EXPECT_EQ(view->m_pRouteY[0], 150);
    // echo "501000 5499500" | cs2cs ... gives 15.0138525448 E 49.6480447942 N.
    QTest::mouseMove(view->viewport(), {100, 50});
    EXPECT_EQ(Frame()->GetMessageText().toStdString(),
              "LON:  15\u00B0  0.83' E      LAT:  49\u00B0 38.88' N");

    view->OnClearCalibrationPoints();
    EXPECT_FALSE(view->m_pGeoref);
    EXPECT_FALSE(view->m_bCalibrated);
}

// Steps that drift off the powers of the square root of 2, a zoom past the
// limits, a pointer that does not stay on its picture point, or actual size
// that is not exactly the old picture, are each caught here.
TEST_F(ScannedMapView, ZoomStepsLimitsAnchorAndCaption) {
    auto* frame = qobject_cast<QMdiSubWindow*>(view->parentWidget());
    const QString title = frame->windowTitle();
    const QImage actual = view->Surface().copy();
    const double r = std::sqrt(2.0);
    for (const double expected : {r, 2.0, 2 * r, 4.0, 4.0}) {
        Frame()->RouteCommand(ID_ZOOM_IN);
        EXPECT_NEAR(view->Zoom(), expected, 1e-9);
    }
    EXPECT_EQ(view->GetTotalSize(), (CSize{2400, 1600}));
    EXPECT_EQ(frame->windowTitle(), title + " (400 %)");
    Frame()->RouteCommand(ID_ZOOM_ACTUAL_SIZE);
    EXPECT_EQ(view->Zoom(), 1.0);
    EXPECT_EQ(frame->windowTitle(), title);
    view->ScrollToPosition({0, 0});
    view->RedrawWindow();
    EXPECT_EQ(view->Surface(), actual) << "actual size draws what it always drew";

    // Zooming out stops where the whole map fits.
    Frame()->RouteCommand(ID_ZOOM_OUT);
    EXPECT_NEAR(view->Zoom(), 1 / r, 1e-9);
    for (int i = 0; i < 4; ++i)
        Frame()->RouteCommand(ID_ZOOM_OUT);
    const double fit = view->Zoom();
    EXPECT_GT(fit, 0.45);
    EXPECT_LT(fit, 0.6);
    const CSize whole = view->GetTotalSize();
    EXPECT_TRUE(whole.cx <= view->maximumViewportSize().width() &&
                whole.cy <= view->maximumViewportSize().height());
    Frame()->RouteCommand(ID_ZOOM_IN);
    Frame()->RouteCommand(ID_ZOOM_FIT);
    EXPECT_DOUBLE_EQ(view->Zoom(), fit);

    // Ctrl + wheel keeps the picture point under the pointer where it is.
    Frame()->RouteCommand(ID_ZOOM_ACTUAL_SIZE);
    view->ScrollToPosition({100, 50});
    const CPoint pointer{120, 70};
    const CPoint under = view->ClientToPicture(pointer);
    ASSERT_EQ(under, (CPoint{220, 120}));
    QWheelEvent wheel(QPointF(pointer.x, pointer.y),
                      view->viewport()->mapToGlobal(QPointF(120, 70)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_NEAR(view->Zoom(), r, 1e-9);
    EXPECT_EQ(view->ClientToPicture(pointer), under);
    const CPoint back = view->PictureToClient({220, 120});
    EXPECT_TRUE(std::abs(back.x - pointer.x) <= 1 && std::abs(back.y - pointer.y) <= 1);

    // The menu items serve map windows only.
    Frame()->UpdateCommandUI();
    EXPECT_TRUE(Frame()->CommandAction(ID_ZOOM_IN)->isEnabled());
    OpenWindow(DOCMODE_GPSDATA);
    Frame()->UpdateCommandUI();
    EXPECT_FALSE(Frame()->CommandAction(ID_ZOOM_IN)->isEnabled());
}

// Layers must land where the map's model puts them, at every zoom, under
// the designed drawing; the way to a target outside the window must end in
// an arrow at its edge. Map pixel (x, y) is at x / 360 E, 10 - y / 360 N.
TEST_F(ScannedMapView, LayersAndTheWayToATargetFollowTheModelAndTheZoom) {
    MapOverlay overlay;
    overlay.marks.push_back({{100 / 360.0, 10 - 80 / 360.0}, "Hut"});
    overlay.lines.push_back(
        {MapOverlay::Track, {{0, 10 - 150 / 360.0}, {250 / 360.0, 10 - 150 / 360.0}}});
    view->m_pOverlay = &overlay;
    const QColor green(0, 160, 0), blue(0, 0, 255), red(255, 0, 0);
    for (const double asked : {1.0, 0.75}) {
        view->ZoomTo(asked, {0, 0});
        view->RedrawWindow();
        const double zoom = view->Zoom();
        const int x = int(std::lround(100 * zoom)), y = int(std::lround(80 * zoom));
        SCOPED_TRACE("zoom " + std::to_string(zoom));
        // The symbol's ring, 4 pixels round the waypoint's pixel.
        EXPECT_EQ(Pixel(view, x - 4, y), green);
        EXPECT_EQ(Pixel(view, x + 4, y), green);
        EXPECT_EQ(Pixel(view, x, y - 4), green);
        EXPECT_TRUE(IsGround(x - 2, y));
        // Within a pixel of where the zoom puts picture row 150.
        const int row = int(std::lround(150 * zoom));
        EXPECT_TRUE(Pixel(view, 90, row) == blue || Pixel(view, 90, row - 1) == blue ||
                    Pixel(view, 90, row + 1) == blue);
    }
    view->ZoomTo(1.0, {0, 0});
    // Under the marker: the ring's centre stays black.
    MoveTo(100, 80);
    EXPECT_TRUE(IsBlack(Pixel(view, 100, 80)));

    // A target east of the window: a red line from the marker to the right
    // edge, and an arrow there.
    overlay.target = LonLat{1000 / 360.0, 10 - 80 / 360.0};
    ++overlay.version;
    MoveTo(100, 80);
    EXPECT_EQ(Pixel(view, 200, 80), red);
    int arrow = 0;
    for (int y = 60; y < 100; ++y)
        arrow += Pixel(view, 290, y) == red;
    EXPECT_GE(arrow, 3) << "the arrow's arms near the edge";
    overlay.target.reset();
    ++overlay.version;
    MoveTo(100, 80);
    EXPECT_TRUE(IsGround(200, 80)) << "the way goes with the target";
}

TEST_F(ScannedMapView, CommandsReachTheActiveViewAndShowTheirChecks) {
    QAction* route = Frame()->CommandAction(ID_SHOW_ROUTE_LINE);
    Frame()->UpdateCommandUI();
    EXPECT_TRUE(route->isEnabled());
    EXPECT_FALSE(route->isChecked());
    route->trigger();
    EXPECT_TRUE(view->m_bShowRoute);
    EXPECT_TRUE(route->isChecked());
    // Save has no handler anywhere, so its key is greyed.
    EXPECT_FALSE(Frame()->CommandAction(ID_FILE_SAVE)->isEnabled());
}

// The store lives in the working directory; each test gets a fresh one.
class ScannedMapStore : public ScannedMapView {
protected:
    void SetUp() override {
        m_dir.emplace(true);
        ScannedMapView::SetUp();
        view->m_pDocument->SetPathName("/maps/city.bmp");
        SetMessageBoxHook([this](const QString& text) { m_messages << text; });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        ScannedMapView::TearDown();
        m_dir.reset();
    }
    std::optional<TempDir> m_dir;
    QStringList m_messages;
};

TEST_F(ScannedMapStore, LoadAppliesTheStoredCalibrationAndRepaintsAtOnce) {
    std::ofstream(kCalibrationStoreName)
        << "/maps/city.bmp,100,50,1000,35500,400,350,4000,32500\r\n";
    view->OnClearCalibrationPoints();
    view->LoadCalibration("/maps/city.bmp");
    EXPECT_TRUE(view->m_bCalibrated);
    EXPECT_EQ(view->m_cal.m_nX2, 400);
    EXPECT_TRUE(IsBlack(Pixel(view, 100, 50))); // the cross of point 1, drawn already
    EXPECT_TRUE(IsWhite(Pixel(view, 103, 50)));
    view->OnClearCalibrationPoints();
    view->LoadCalibration("/maps/other.bmp");
    EXPECT_FALSE(view->m_bCalibrated);
}

TEST_F(ScannedMapStore, SaveReportsAFailureButKeepsTheCalibration) {
    EXPECT_TRUE(view->SaveCalibration());
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_EQ(ReadFileBytes(kCalibrationStoreName),
              "/maps/city.bmp,0,0,0,36000,3600,3600,36000,0\r\n");
    std::filesystem::create_directory(kCalibrationTmpName);
    EXPECT_TRUE(view->SaveCalibration());
    EXPECT_EQ(m_messages, QStringList{"Can not open tmp file \"Tmp.txt\""});
}

// Pixel (x, y) of this picture names its own position.
class ScannedMapPicture : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        view = OpenWindow(DOCMODE_MAP);
        ASSERT_NE(view, nullptr);
    }
    // A 400 x 300 picture, stored bottom-up or top-down.
    void Load(bool topDown) {
        BmpLayout layout;
        layout.width = 400;
        layout.height = topDown ? -300 : 300;
        const size_t stride = (400 * 3 + 3) / 4 * 4;
        layout.bits.assign(stride * 300, '\0');
        for (int y = 0; y < 300; ++y) {
            for (int x = 0; x < 400; ++x) {
                char* p = &layout.bits[stride * size_t(topDown ? y : 299 - y) + size_t(3 * x)];
                p[0] = char(77);       // blue
                p[1] = char(y & 0xFF); // green
                p[2] = char(x & 0xFF); // red
            }
        }
        ASSERT_NE(ReadDib(view->m_dib, MakeBmp(layout)), 0u);
        SetClientSize(view, 200, 150);
    }
    static QColor At(int x, int y) { return QColor(x & 0xFF, y & 0xFF, 77); }

    COstrelView* view = nullptr;
};

TEST_F(ScannedMapPicture, ShowsThePictureAtTheScrollPosition) {
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        Load(topDown);
        view->ScrollToPosition({0, 0});
        view->RedrawWindow();
        EXPECT_EQ(view->GetTotalSize(), (CSize{400, 300}));
        view->ScrollToPosition({100, 40});
        view->RedrawWindow();
        for (const CPoint c : {CPoint{0, 0}, CPoint{5, 7}, CPoint{199, 149}})
            EXPECT_EQ(Pixel(view, c.x, c.y), At(c.x + 100, c.y + 40))
                << "client (" << c.x << ", " << c.y << ")";
    }
}

// Zoomed in, every picture pixel is a square of screen pixels, not a blur
// and not shifted: the picture pixel under a client pixel is the one shown.
TEST_F(ScannedMapPicture, ZoomedInShowsEachPixelAsASharpSquare) {
    Load(false);
    view->ZoomTo(2.0, {0, 0});
    view->ScrollToPosition({50, 30});
    view->RedrawWindow();
    for (const CPoint c :
         {CPoint{0, 0}, CPoint{1, 1}, CPoint{2, 1}, CPoint{77, 91}, CPoint{199, 149}}) {
        const CPoint p = view->ClientToPicture(c);
        EXPECT_EQ(p, (CPoint{(c.x + 50) / 2, (c.y + 30) / 2}));
        EXPECT_EQ(Pixel(view, c.x, c.y), At(p.x, p.y)) << "client (" << c.x << ", " << c.y << ")";
    }
}

// One-pixel black lines every 8 pixels at 12.5 %: taking every eighth
// pixel shows all black or all white (moire); the reduced copies must show
// the even grey of seven white pixels to one black.
TEST_F(ScannedMapPicture, ZoomedOutLinesAreAnEvenGreyNotMoire) {
    for (const bool across : {true, false}) {
        SCOPED_TRACE(across ? "rows" : "columns");
        TempDir dir;
        BmpLayout layout;
        layout.width = 2048;
        layout.height = 2048;
        layout.bitCount = 1;
        layout.colors = {0xFFFFFF, 0x000000};
        layout.bits.assign(256 * 2048, '\0');
        for (int y = 0; y < 2048; ++y)
            for (int i = 0; i < 256; ++i)
                layout.bits[size_t(y) * 256 + size_t(i)] =
                    char(across ? (y % 8 == 3 ? 0xFF : 0x00) : 0x10);
        const std::filesystem::path file = dir.Path() / "lines.bmp";
        std::ofstream(file, std::ios::binary) << MakeBmp(layout);
        ASSERT_NE(ReadDib(view->m_dib, file), 0u);
        view->m_strLevelEntry = (dir.Path() / "0123456789abcdef.bmp").string();
        SetClientSize(view, 200, 200);
        view->ZoomTo(0.125, {0, 0});
        ASSERT_DOUBLE_EQ(view->Zoom(), 0.125);
        // They are made in the background; the window repaints when they are there.
        EXPECT_TRUE(view->MakingLevels());
        for (int i = 0; i < 1000 && view->MakingLevels(); ++i)
            QTest::qWait(10);
        ASSERT_FALSE(view->MakingLevels());
        EXPECT_TRUE(std::filesystem::exists(LevelPath(view->m_strLevelEntry, 3)));
        double sum = 0, squares = 0;
        const int n = 200 * 200;
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) {
                const double grey = Pixel(view, x, y).green();
                sum += grey;
                squares += grey * grey;
            }
        }
        const double mean = sum / n;
        const double deviation = std::sqrt(std::max(0.0, squares / n - mean * mean));
        EXPECT_NEAR(mean, 223, 3);
        EXPECT_LE(deviation, 8);
        view->ZoomTo(1.0, {0, 0});
        view->m_dib.Free();
    }
}

// Zoomed out to 71 % and at rest the picture is smoothed, not shifted: a
// gradient of one step a pixel shows at each client pixel what lies under
// its centre, give or take a step.
// The smoothed picture is kept while the map rests: catches one that is
// shifted, or kept after the map was scrolled (a part repaint then showed
// the old place).
TEST_F(ScannedMapPicture, SmoothedAtRestShowsWhatLiesUnderEachPixel) {
    Load(false);
    view->ZoomTo(std::sqrt(0.5), {0, 0});
    for (const CPoint scroll : {CPoint{20, 10}, CPoint{23, 14}}) {
        view->ScrollToPosition(scroll);
        QTest::qWait(300);                       // until the map rests
        view->RedrawWindow(CRect{0, 0, 40, 40}); // a part, as the marker's ticks repaint
        for (const CPoint c : {CPoint{0, 0}, CPoint{5, 7}, CPoint{100, 60}, CPoint{150, 120}}) {
            const double px = (c.x + scroll.x + 0.5) / std::sqrt(0.5) - 0.5;
            const double py = (c.y + scroll.y + 0.5) / std::sqrt(0.5) - 0.5;
            const QColor seen = Pixel(view, c.x, c.y);
            EXPECT_NEAR(seen.red(), px, 1.0) << "client (" << c.x << ", " << c.y << ")";
            EXPECT_NEAR(seen.green(), py, 1.0) << "client (" << c.x << ", " << c.y << ")";
            EXPECT_EQ(seen.blue(), 77);
        }
    }
}

TEST_F(ScannedMapPicture, StretchedDrawDoublesEveryPixel) {
    Load(false);
    CClientDC dc(view);
    view->m_dib.Draw(&dc, CRect{0, 0, 100, 60}, CRect{10, 20, 60, 50});
    for (const CPoint s : {CPoint{0, 0}, CPoint{7, 3}, CPoint{49, 29}}) {
        for (const CPoint d : {CPoint{0, 0}, CPoint{1, 0}, CPoint{0, 1}, CPoint{1, 1}})
            EXPECT_EQ(Pixel(view, 2 * s.x + d.x, 2 * s.y + d.y), At(10 + s.x, 20 + s.y))
                << "source (" << s.x << ", " << s.y << ")";
    }
}

} // namespace
