// ostrel_soak: runs the program for a long time against a replayed receiver
// and watches its memory. A world map, a GPS data window and a calibrated
// scanned map with its route shown take the demo track, replayed by
// nmea-replay at 50 times its speed, for the given minutes. At the end it
// reports what was handled and the memory figures, and exits non-zero when
// the resident memory grew after the warm-up or nothing was received.

#include "app/identity_names.h"
#include "app/main_frame.h"
#include "app/ostrel_app.h"
#include "gps/settings.h"
#include "map/map_view.h"
#include "platform/document.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QProcess>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

struct SoakOptions {
    double minutes = 10;
    double warmupSeconds = 60; // memory is compared from here on
    int updateMs = 10;         // [ms] the windows' update period, soak only (default 1000)
    int pollMs = 20;           // [ms] extra polls of the main frame between its own; 0: none
    long growthKiB = 2048;     // resident memory allowed to come on after the warm-up
    std::string screenshot;    // the main window at the end, when named
    std::string replay = OSTREL_NMEA_REPLAY;
    std::string demo = OSTREL_DEMO_DIR; // demo_track.nmea, demo_map.bmp, demo_map.cal
};

const char* const kUsage =
    "usage: ostrel_soak [--minutes M] [--warmup SECONDS] [--update-ms MS] [--poll-ms MS]\n"
    "                   [--growth-kib KIB] [--replay PROGRAM] [--demo DIR]\n"
    "                   [--screenshot PNG]\n";

bool ParseOptions(int argc, char** argv, SoakOptions& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (arg == "--minutes")
            o.minutes = std::atof(value);
        else if (arg == "--warmup")
            o.warmupSeconds = std::atof(value);
        else if (arg == "--update-ms")
            o.updateMs = std::atoi(value);
        else if (arg == "--poll-ms")
            o.pollMs = std::atoi(value);
        else if (arg == "--growth-kib")
            o.growthKiB = std::atol(value);
        else if (arg == "--replay")
            o.replay = value;
        else if (arg == "--demo")
            o.demo = value;
        else if (arg == "--screenshot")
            o.screenshot = value;
        else
            return false;
    }
    return o.minutes > 0 && o.updateMs > 0 && o.pollMs >= 0;
}

// A "VmRSS:"-style line of /proc/self/status [KiB].
long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(key), key) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

// Counts the timer events that reach the watched objects.
class TickCounter : public QObject {
public:
    long ticks = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer)
            ++ticks;
        return false;
    }
};

int Fail(const char* what) {
    std::fprintf(stderr, "ostrel_soak: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    SoakOptions o;
    if (!ParseOptions(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    QApplication qtApp(argc, argv);
    ApplyProgramIdentity();

    // A working folder of our own: the map, its store line and the
    // receiver's link.
    char dirTemplate[] = "/tmp/ostrel-soak-XXXXXX";
    if (!mkdtemp(dirTemplate))
        return Fail("cannot make a working folder");
    const std::filesystem::path dir = dirTemplate;
    const std::filesystem::path demo = o.demo;
    const std::filesystem::path map = dir / "demo_map.bmp";
    std::error_code error;
    std::filesystem::copy_file(demo / "demo_map.bmp", map, error);
    std::string cal;
    std::getline(std::ifstream(demo / "demo_map.cal"), cal);
    if (error || cal.empty())
        return Fail("cannot read the demo map and its calibration");
    std::ofstream(dir / "CalibratedMaps.txt", std::ios::binary)
        << map.string() << "," << cal << "\n";
    std::filesystem::current_path(dir);
    // The recent-file list goes to a profile of the run's own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir.string()));

    QProcess replay;
    replay.start(QString::fromStdString(o.replay),
                 {"--speed", "50", "--loop", "--baud", "460800", "--link", "gps",
                  QString::fromStdString((demo / "demo_track.nmea").string())});
    if (!replay.waitForReadyRead(10000))
        return Fail("nmea-replay did not start");
    std::printf("receiver: %s", replay.readLine().constData());

    long polls = 0, extraPolls = 0, routePoints = 0, warmRss = -1, endRss = -1, maxRss = 0;
    long fixChanges = 0; // seen by the soak's polls and its once-a-second look
    {
        g_strPortName = (dir / "gps").string();
        g_nBaudRate = 460800;
        // Soak only: the windows update every few milliseconds instead of
        // every second, so that the drawing runs as often as it can.
        g_nUpdateMs = o.updateMs;
        g_nDocMode = DOCMODE_WORLDMAP;
        COstrelApp app;
        if (!app.InitInstance())
            return Fail("the main window could not be made");
        CMainFrame* frame = app.m_pMainWnd.get();
        frame->OnShowGpsData();
        CDocument* mapDoc = app.OpenDocumentFile(QString::fromStdString(map.string()));
        auto* scanned = mapDoc ? qobject_cast<COstrelView*>(mapDoc->GetViews().front()) : nullptr;
        if (!scanned || !scanned->m_bCalibrated)
            return Fail("the demo map did not open calibrated");
        scanned->OnShowRouteLine();
        std::printf("windows open, route arrays allocated: VmRSS %ld KiB\n", StatusKiB("VmRSS:"));

        std::string lastTime;
        auto noteFix = [&] {
            if (frame->m_gps.m_fix.m_strTime != lastTime) {
                lastTime = frame->m_gps.m_fix.m_strTime;
                ++fixChanges;
            }
        };

        TickCounter frameTicks, viewTicks;
        frame->installEventFilter(&frameTicks);
        for (QMdiSubWindow* sub : frame->MdiArea()->subWindowList())
            sub->widget()->installEventFilter(&viewTicks);

        // Soak only: the replay sends 50 epochs a second, the main frame
        // polls once a second; these polls in between let the fix follow.
        QTimer extra;
        QObject::connect(&extra, &QTimer::timeout, [&] {
            frame->OnTimer(1);
            ++extraPolls;
            noteFix();
        });
        if (o.pollMs > 0)
            extra.start(o.pollMs);

        QElapsedTimer clock;
        clock.start();
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            noteFix();
            maxRss = std::max(maxRss, StatusKiB("VmRSS:"));
            if (warmRss < 0 && clock.elapsed() >= o.warmupSeconds * 1000) {
                warmRss = StatusKiB("VmRSS:");
                std::printf("after warm-up (%.0f s): VmRSS %ld KiB, route %d points\n",
                            o.warmupSeconds, warmRss, scanned->m_nRoutePoints);
            }
            if (clock.elapsed() >= o.minutes * 60000)
                QApplication::quit();
        });
        sampler.start(1000);
        QApplication::exec();

        polls = frameTicks.ticks;
        routePoints = scanned->m_nRoutePoints;
        endRss = StatusKiB("VmRSS:");
        if (!o.screenshot.empty())
            frame->grab().save(QString::fromStdString(o.screenshot));
        std::printf("ran %.1f min: main frame polls %ld (timer) + %ld (soak), fix changes %ld, "
                    "view ticks %ld (3 windows), route %ld of %d points\n",
                    clock.elapsed() / 60000.0, polls, extraPolls, fixChanges, viewTicks.ticks,
                    routePoints, MAX_ROUTE_POINTS);
        frame->removeEventFilter(&frameTicks);
    }
    replay.terminate();
    replay.waitForFinished(5000);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir, error);

    // The high-water mark is kept lazily; what we sampled ourselves counts too.
    const long peak = std::max({StatusKiB("VmHWM:"), maxRss, endRss});
    const long growth = endRss - warmRss;
    std::printf("memory: VmHWM %ld KiB, VmRSS after warm-up %ld KiB, at the end %ld KiB, "
                "growth %+ld KiB (allowed %ld)\n",
                peak, warmRss, endRss, growth, o.growthKiB);
    if (warmRss < 0)
        return Fail("the run ended before the warm-up did");
    if (polls == 0 || fixChanges == 0)
        return Fail("the main frame polled no fix");
    if (routePoints < 2)
        return Fail("no route was recorded: did the receiver send anything?");
    if (growth > o.growthKiB)
        return Fail("resident memory grew after the warm-up");
    std::printf("soak passed\n");
    return 0;
}
