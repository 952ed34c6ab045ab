// The real program under a virtual X server, reading a receiver on a
// pseudo-terminal: what a person would see, checked on screenshots. The
// expected marker pixels come from the positions in the sentences sent,
// through the maps' calibrations.

#include "map/map_calibration.h"
#include "map/map_view.h"
#include "tests/test_support.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The resources sit in a static library; a program must pull them in by name.
static void InitResources() {
    Q_INIT_RESOURCE(ostrel);
}

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const fs::path kDemoDir = OSTREL_DEMO_DIR;

std::string FindProgram(const char* name) {
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        const fs::path p = fs::path(dir) / name;
        if (access(p.c_str(), X_OK) == 0)
            return p;
    }
    return {};
}

// Starts `argv` in a session of its own with `env`, its standard output on
// `out` unless that is -1; the process id, or -1.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            int out = -1) {
    std::vector<char*> a, e;
    for (const std::string& s : argv)
        a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    for (const std::string& s : env)
        e.push_back(const_cast<char*>(s.c_str()));
    e.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        if (out >= 0)
            dup2(out, 1);
        execve(a[0], a.data(), e.data());
        _exit(127);
    }
    return pid;
}

// Waits up to `ms` for `pid` to end; true when it has.
bool WaitFor(pid_t pid, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// Ends the session that `pid` leads, politely first. The whole group is
// told: a leader that dies first must not leave its children (a display
// server, say) running.
void EndSession(pid_t pid) {
    kill(-pid, SIGTERM);
    if (!WaitFor(pid, 10000)) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// Where `picture` lies on `shot`: the screen position of its pixel (0, 0),
// found by comparing a grid of the pixels of `region` except those that
// `skip` names (markers may cover them). Empty when `region` is not on the
// screen whole.
std::optional<QPoint> FindPicture(const QImage& shot, const QImage& picture, const QRect& region,
                                  const std::function<bool(QPoint)>& skip) {
    std::vector<QPoint> samples;
    for (int y = region.top(); y <= region.bottom(); y += 7)
        for (int x = region.left(); x <= region.right(); x += 11)
            if (!skip({x, y}))
                samples.emplace_back(x, y);
    for (int oy = -region.top(); oy + region.bottom() < shot.height(); ++oy) {
        for (int ox = -region.left(); ox + region.right() < shot.width(); ++ox) {
            bool match = true;
            for (const QPoint& s : samples) {
                if (shot.pixel(ox + s.x(), oy + s.y()) != picture.pixel(s)) {
                    match = false;
                    break;
                }
            }
            if (match)
                return QPoint(ox, oy);
        }
    }
    return std::nullopt;
}

// Whether `p` lies within `radius` of one of `centres` [pixel].
bool WithinAny(QPoint p, const std::vector<QPoint>& centres, int radius) {
    for (const QPoint& c : centres) {
        const QPoint d = p - c;
        if (d.x() * d.x() + d.y() * d.y() <= radius * radius)
            return true;
    }
    return false;
}

bool IsColour(const QImage& shot, QPoint p, QRgb colour) {
    return shot.valid(p) && QColor(shot.pixel(p)) == QColor(colour);
}

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

// The world map's marker centred on `c`: a red square of 8 pixels with a
// white one of 4 inside.
bool IsSquareMarker(const QImage& shot, QPoint c) {
    return IsColour(shot, c + QPoint(-4, -4), kRed) && IsColour(shot, c + QPoint(3, 3), kRed) &&
           IsColour(shot, c + QPoint(-3, 3), kRed) && IsColour(shot, c + QPoint(-2, -2), kWhite) &&
           IsColour(shot, c, kWhite) && IsColour(shot, c + QPoint(1, 1), kWhite);
}

// Whether the world picture on `shot` shows the red marker at one of
// `markers` (picture pixels), comparing the picture's `region` to find it;
// `origin` says where the picture was found, if it was.
bool ShowsWorldMarker(const QImage& shot, const QImage& world, const QRect& region,
                      const std::vector<QPoint>& markers, std::optional<QPoint>& origin) {
    origin = FindPicture(shot, world, region, [&](QPoint p) { return WithinAny(p, markers, 12); });
    if (!origin)
        return false;
    for (const QPoint& m : markers)
        if (IsSquareMarker(shot, *origin + m))
            return true;
    return false;
}

// A scanned map's marker centred on `c`, by its cross: the black centre,
// then on each side 3 white pixels and black ones out to 11. The newest
// piece of the route line starts at the centre and may cross one side.
bool IsRingMarker(const QImage& shot, QPoint c) {
    if (!IsColour(shot, c, kBlack))
        return false;
    int sides = 0;
    for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
        bool side = true;
        for (int k = 1; k <= 11; ++k)
            side = side && IsColour(shot, c + k * step, k <= 3 ? kWhite : kBlack);
        sides += side;
    }
    return sides >= 3;
}

std::vector<std::string> Fields(const std::string& sentence) {
    std::vector<std::string> f(1);
    for (char c : sentence) {
        if (c == ',')
            f.emplace_back();
        else
            f.back() += c;
    }
    return f;
}

// A log's "$GPRMC" sentences with status A, in order, without line ends.
std::vector<std::string> FixSentences(const fs::path& log) {
    std::vector<std::string> sentences;
    std::istringstream in(ReadFileBytes(log));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> f = Fields(line);
        if (f[0] == "$GPRMC" && f.size() > 6 && f[2] == "A")
            sentences.push_back(line);
    }
    return sentences;
}

// Map pixels of the sentences' positions by `cal`, each distinct pixel
// once, in order.
std::vector<QPoint> MapPixels(const std::vector<std::string>& sentences,
                              const CMapCalibration& cal) {
    std::vector<QPoint> pixels;
    for (const std::string& sentence : sentences) {
        const std::vector<std::string> f = Fields(sentence);
        const CGeoPoint g{NmeaToArcSeconds(f[5], 3, f[6], "W"),
                          NmeaToArcSeconds(f[3], 2, f[4], "S")};
        const std::optional<CPoint> p = GeoToClient(g, CPoint{0, 0}, cal);
        if (p && (pixels.empty() || pixels.back() != QPoint(p->x, p->y)))
            pixels.emplace_back(p->x, p->y);
    }
    return pixels;
}

QImage WorldPicture() {
    InitResources();
    return QImage(QStringLiteral(":/world_map.bmp")).convertToFormat(QImage::Format_RGB32);
}

// nmea-replay playing a log on a pseudo-terminal, fast and for ever.
struct Replay {
    pid_t pid = -1;
    std::string device; // the first line it printed

    ~Replay() {
        if (pid > 0)
            EndSession(pid);
    }

    // False when it has not named its device within 10 s.
    bool Start(const fs::path& log, const char* speed) {
        int out[2];
        if (pipe(out) != 0)
            return false;
        pid = Spawn(
            {NMEA_REPLAY_PROGRAM, "--loop", "--speed", speed, "--baud", "115200", log.string()},
            {"PATH=/usr/bin:/bin"}, out[1]);
        close(out[1]);
        const auto deadline = Clock::now() + 10s;
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        char c = 0;
        while (Clock::now() < deadline) {
            if (poll(&p, 1, 100) <= 0)
                continue;
            if (read(out[0], &c, 1) != 1)
                break;
            if (c == '\n') {
                device = line;
                break;
            }
            line += c;
        }
        close(out[0]);
        return !device.empty();
    }
};

// The program under xvfb-run on a 1024 x 768 screen, started in a folder
// of its own.
struct Session {
    std::string xvfbRun = FindProgram("xvfb-run");
    std::string import = FindProgram("import");
    pid_t pid = -1; // xvfb-run's
    fs::path dir;
    std::string display, xauthority;
    pid_t program = -1;

    Session() {
        char dirTemplate[] = "/tmp/ostrel-shot-XXXXXX";
        if (mkdtemp(dirTemplate))
            dir = dirTemplate;
    }

    ~Session() {
        // Ending the program lets xvfb-run take its server down and tidy up;
        // whatever is left of its session goes then.
        if (program > 0)
            kill(program, SIGTERM);
        if (pid > 0 && WaitFor(pid, 5000))
            kill(-pid, SIGTERM);
        else if (pid > 0)
            EndSession(pid);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    bool Usable() const { return !xvfbRun.empty() && !import.empty() && !dir.empty(); }

    // Starts the program with `args` and waits until it runs on its display.
    // Two servers started at once may pick the same display number, and
    // then one fails: that is tried again.
    bool Start(const std::vector<std::string>& args,
               const std::vector<std::string>& extraEnv = {}) {
        const fs::path info = dir / "info";
        std::string script = "echo $$ $DISPLAY $XAUTHORITY > '" + info.string() + "'; cd '" +
                             dir.string() + "'; exec '" OSTREL_PROGRAM "'";
        for (size_t i = 0; i < args.size(); ++i)
            script += " \"$" + std::to_string(i) + "\"";
        std::vector<std::string> argv = {xvfbRun,   "-a", "-s",  "-screen 0 1024x768x24",
                                         "/bin/sh", "-c", script};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + dir.string(),
                                        "ASAN_OPTIONS=detect_leaks=0"};
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        for (int attempt = 0; attempt < 3; ++attempt) {
            pid = Spawn(argv, env);
            const auto deadline = Clock::now() + 30s;
            while (Clock::now() < deadline) {
                std::ifstream in(info);
                if (in >> program >> display >> xauthority)
                    return true;
                if (waitpid(pid, nullptr, WNOHANG) == pid)
                    break;
                std::this_thread::sleep_for(100ms);
            }
            if (waitpid(pid, nullptr, WNOHANG) == 0)
                return false; // running, yet it never started the program
            pid = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(200 + 300 * attempt));
        }
        return false;
    }

    // The whole screen; false while no screenshot can be had.
    bool Shot(QImage& shot) {
        const fs::path path = dir / "shot.png";
        const pid_t grab = Spawn({import, "-display", display, "-window", "root", path.string()},
                                 {"PATH=/usr/bin:/bin", "XAUTHORITY=" + xauthority});
        if (!WaitFor(grab, 20000)) {
            kill(grab, SIGKILL);
            waitpid(grab, nullptr, 0);
            return false;
        }
        if (!shot.load(QString::fromStdString(path.string())))
            return false;
        shot = shot.convertToFormat(QImage::Format_RGB32);
        return true;
    }
};

// Polls screenshots until `seen` holds for one of them; the last one taken.
QImage PollScreen(Session& session, std::chrono::seconds limit,
                  const std::function<bool(const QImage&)>& seen,
                  const std::function<void()>& tick) {
    QImage shot;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        tick();
        std::this_thread::sleep_for(300ms);
        if (session.Shot(shot) && seen(shot))
            break;
    }
    return shot;
}

// On a screen with a scale factor of 2 a map at actual size shows one
// picture pixel per device pixel: a one-pixel checkerboard stays one, where
// a map blown up with the rest of the window shows squares of 2 x 2.
TEST(Screenshot, AMapAtActualSizeIsSharpOnAScaledScreen) {
    Session session;
    if (!session.Usable())
        GTEST_SKIP() << "xvfb-run or ImageMagick's import is not installed";
    // 300 x 200, 1 bit: black and white pixels in turn along rows and columns.
    std::string bmp(62, '\0');
    const auto put32 = [&bmp](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + size_t(i)] = char(v >> (8 * i) & 0xFF);
    };
    const size_t stride = 40; // 300 bits, padded to 32
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, uint32_t(62 + stride * 200));
    put32(10, 62);
    put32(14, 40);
    put32(18, 300);
    put32(22, 200);
    bmp[26] = 1;
    bmp[28] = 1;
    put32(54, 0x000000);
    put32(58, 0xFFFFFF);
    for (int y = 0; y < 200; ++y)
        bmp += std::string(stride, char(y % 2 ? 0xAA : 0x55));
    const fs::path map = session.dir / "checkers.bmp";
    std::ofstream(map, std::ios::binary) << bmp;
    ASSERT_TRUE(session.Start({map.string()}, {"QT_SCALE_FACTOR=2"}))
        << "the program did not start under xvfb-run";

    // Pixels whose four neighbours are all of the other colour: none where
    // each picture pixel became a square of 2 x 2.
    int alternating = 0;
    const QImage shot = PollScreen(
        session, 60s,
        [&](const QImage& shot) {
            alternating = 0;
            for (int y = 1; y + 1 < shot.height(); ++y) {
                for (int x = 1; x + 1 < shot.width(); ++x) {
                    const QRgb c = shot.pixel(x, y) & 0xFFFFFF;
                    const QRgb other = c ^ 0xFFFFFF;
                    alternating += (c == 0 || c == 0xFFFFFF) &&
                                   (shot.pixel(x + 1, y) & 0xFFFFFF) == other &&
                                   (shot.pixel(x - 1, y) & 0xFFFFFF) == other &&
                                   (shot.pixel(x, y + 1) & 0xFFFFFF) == other &&
                                   (shot.pixel(x, y - 1) & 0xFFFFFF) == other;
                }
            }
            return alternating >= 20000;
        },
        [] {});
    EXPECT_GE(alternating, 20000) << "the checkerboard is not shown one pixel per device pixel";
    if (HasFailure()) {
        const fs::path saved = fs::temp_directory_path() / "ostrel-scaled-failed.png";
        shot.save(QString::fromStdString(saved.string()));
        ADD_FAILURE() << "the last screenshot is in " << saved;
    }
}

TEST(Screenshot, TheWorldMapMarkerFollowsTheReceiver) {
    Session session;
    if (!session.Usable())
        GTEST_SKIP() << "xvfb-run or ImageMagick's import is not installed";
    const QImage picture = WorldPicture();
    ASSERT_FALSE(picture.isNull());
    // Munich, written straight to a pseudo-terminal.
    const char* rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    const QPoint marker(285, 103);

    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_TRUE(session.Start({"--port", name})) << "the program did not start under xvfb-run";

    std::optional<QPoint> origin;
    bool found = false;
    PollScreen(
        session, 60s,
        [&](const QImage& shot) {
            found = ShowsWorldMarker(shot, picture, picture.rect(), {marker}, origin);
            return found;
        },
        [&] { ASSERT_EQ(write(master, rmc, strlen(rmc)), ssize_t(strlen(rmc))); });
    close(master);
    close(slave);
    ASSERT_TRUE(origin) << "no world picture on the screen";
    EXPECT_TRUE(found) << "no red marker at picture pixel (" << marker.x() << ", " << marker.y()
                       << ")";
}

TEST(Screenshot, TheWorldMapMarkerStandsAtAReplayedLogsFix) {
    OSTREL_REQUIRE_TESTDATA("nmea/garmin48.log");
    Session session;
    if (!session.Usable())
        GTEST_SKIP() << "xvfb-run or ImageMagick's import is not installed";
    const QImage picture = WorldPicture();
    ASSERT_FALSE(picture.isNull());
    // A receiver in New Zealand: south and east.
    const fs::path log = TestDataDir() / "nmea/garmin48.log";
    const std::vector<QPoint> markers = MapPixels(FixSentences(log), WorldMapCalibration());
    ASSERT_FALSE(markers.empty()) << log;

    Replay replay;
    ASSERT_TRUE(replay.Start(log, "4")) << "nmea-replay did not start";
    ASSERT_TRUE(session.Start({"--port", replay.device}))
        << "the program did not start under xvfb-run";

    std::optional<QPoint> origin;
    bool found = false;
    PollScreen(
        session, 60s,
        [&](const QImage& shot) {
            found = ShowsWorldMarker(shot, picture, picture.rect(), markers, origin);
            return found;
        },
        [] {});
    ASSERT_TRUE(origin) << "no world picture on the screen";
    EXPECT_TRUE(found) << "no red marker at picture pixel (" << markers.front().x() << ", "
                       << markers.front().y() << ")";
}

// Whether `shot` has a piece of route line at `p` (within a pixel): black,
// with the white line beside it one pixel down and to the right, where the
// map itself shows neither.
bool HasRouteAt(const QImage& shot, QPoint screen, const QImage& map, QPoint p) {
    bool black = false, white = false, mapHasThem = false;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint d(dx, dy), e(dx + 1, dy + 1);
            black = black || IsColour(shot, screen + d, kBlack);
            white = white || IsColour(shot, screen + e, kWhite);
            mapHasThem = mapHasThem || IsColour(map, p + d, kBlack) || IsColour(map, p + e, kWhite);
        }
    }
    return black && white && !mapHasThem;
}

// The demo as scripts/run starts it: the calibrated demo map, centred off
// Piraeus, with its route line, and the World Map beside it.
TEST(Screenshot, TheDemoTripShowsOnTheCalibratedMapAndTheWorldMap) {
    Session session;
    if (!session.Usable())
        GTEST_SKIP() << "xvfb-run or ImageMagick's import is not installed";
    const QImage world = WorldPicture();
    const fs::path mapPath = kDemoDir / "demo_map.bmp";
    const QImage map =
        QImage(QString::fromStdString(mapPath.string())).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(world.isNull());
    ASSERT_FALSE(map.isNull()) << mapPath;

    const std::string calLine = ReadFileBytes(kDemoDir / "demo_map.cal");
    CMapCalibration cal;
    ASSERT_EQ(std::sscanf(calLine.c_str(), "%d,%d,%d,%d,%d,%d,%d,%d", &cal.m_nX1, &cal.m_nY1,
                          &cal.m_nLon1, &cal.m_nLat1, &cal.m_nX2, &cal.m_nY2, &cal.m_nLon2,
                          &cal.m_nLat2),
              8)
        << calLine;
    std::ofstream(session.dir / "CalibratedMaps.txt", std::ios::binary)
        << mapPath.string() << "," << calLine;

    // Every 120th fix of the trip, one a second: some 45 pixels apart under
    // way, so that between the rings (which stay until repainted) the route
    // line shows on its own.
    const std::vector<std::string> trip = FixSentences(kDemoDir / "demo_track.nmea");
    std::vector<std::string> sent;
    std::string log;
    for (size_t i = 0; i < trip.size(); i += 120) {
        sent.push_back(trip[i]);
        log += trip[i] + "\r\n";
    }
    std::ofstream(session.dir / "trip.nmea", std::ios::binary) << log;
    const std::vector<QPoint> track = MapPixels(trip, cal);
    const std::vector<QPoint> rings = MapPixels(sent, cal);
    const std::vector<QPoint> worldMarkers = MapPixels(sent, WorldMapCalibration());
    ASSERT_GT(rings.size(), 10u);

    // The compared region lies in any map window of 300 x 220 pixels or more.
    const QPoint centre(1420, 500);
    const QRect region(centre - QPoint(150, 110), QSize(300, 220));
    Replay replay;
    ASSERT_TRUE(replay.Start(session.dir / "trip.nmea", "1")) << "nmea-replay did not start";
    ASSERT_TRUE(session.Start({"--port", replay.device, "--world-map", "--show-route", "--centre",
                               "1420,500", mapPath.string()}))
        << "the program did not start under xvfb-run";

    std::optional<QPoint> mapOrigin, worldOrigin;
    bool ring = false, worldMarker = false;
    int routePixels = 0;
    const QImage shot = PollScreen(
        session, 90s,
        [&](const QImage& shot) {
            mapOrigin =
                FindPicture(shot, map, region, [&](QPoint p) { return WithinAny(p, track, 16); });
            // Europe and Africa: the left part of the picture fits a tiled window.
            worldMarker =
                ShowsWorldMarker(shot, world, QRect(200, 50, 160, 160), worldMarkers, worldOrigin);
            if (!mapOrigin || !worldOrigin)
                return false;
            ring = false;
            for (const QPoint& p : rings)
                ring = ring || IsRingMarker(shot, *mapOrigin + p);
            routePixels = 0;
            for (const QPoint& p : track)
                routePixels += region.contains(p) && !WithinAny(p, rings, kRingRadius + 2) &&
                               HasRouteAt(shot, *mapOrigin + p, map, p);
            return ring && worldMarker && routePixels >= 20;
        },
        [] {});
    ASSERT_TRUE(mapOrigin) << "the demo map is not on the screen around map pixel (1420, 500)";
    ASSERT_TRUE(worldOrigin) << "no world picture on the screen";
    EXPECT_TRUE(ring) << "no ring marker on any position sent";
    EXPECT_TRUE(worldMarker) << "no red marker at Athens on the world map";
    EXPECT_GE(routePixels, 20) << "too little route line along the trip";
    if (HasFailure()) {
        const fs::path saved = fs::temp_directory_path() / "ostrel-demo-failed.png";
        shot.save(QString::fromStdString(saved.string()));
        ADD_FAILURE() << "the last screenshot is in " << saved;
    }
}

} // namespace
