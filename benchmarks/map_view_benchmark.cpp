// Costs of the scanned-map view on large pictures: a marker tick, a full
// repaint, a 1920 x 1080 repaint at each zoom (its reduced copies made
// before it is timed), and the memory taken by opening a map; and what a map
// in a projection costs against one in longitude/latitude, for the marker
// tick and for opening its window. The pictures and their reduced copies are
// written to /tmp at start and removed at the end.

#include "app/main_frame.h"
#include "app/ostrel_app.h"
#include "benchmarks/grey_ramp_bitmap.h"
#include "benchmarks/process_status.h"
#include "gps/settings.h"
#include "map/georeference.h"
#include "map/map_view.h"
#include "map/sidecar_readers.h"
#include "platform/doc_template.h"
#include "tests/client_size.h"
#include "track/gpx_layers.h"

#include <QApplication>
#include <QFile>
#include <QMdiSubWindow>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Every file the benchmarks write, removed at the end.
std::vector<std::string>& WrittenFiles() {
    static std::vector<std::string> files;
    return files;
}

std::string WritePicture(int32_t w, int32_t h) {
    const std::string path = "/tmp/ostrel-bench-" + std::to_string(getpid()) + "-" +
                             std::to_string(w) + "x" + std::to_string(h) + ".bmp";
    WriteGreyRampBitmap(path, w, h);
    WrittenFiles().push_back(path);
    return path;
}

std::map<std::pair<int, int>, std::string>& Pictures() {
    static std::map<std::pair<int, int>, std::string> pictures;
    return pictures;
}

const std::string& Picture(int w, int h) {
    std::string& path = Pictures()[{w, h}];
    if (path.empty())
        path = WritePicture(w, h);
    return path;
}

// A map in UTM zone 33 on WGS 84 of 10 m pixels, pixel (0, 0) at
// 500000 E 5800000 N [m], tied by grid points as a .map file gives them.
std::unique_ptr<CGeoreference> UtmGeoreference() {
    std::string problem;
    auto georef = CGeoreference::Create({"EPSG:32633",
                                         {{0, 0, 500000, 5800000, false},
                                          {1000, 0, 510000, 5800000, false},
                                          {0, 1000, 500000, 5790000, false}}},
                                        problem);
    if (!georef)
        std::abort();
    return georef;
}

// A receiver's position as its sentences give it.
struct FixText {
    std::string lon, eastWest, lat, northSouth;
};

// The application with one scanned-map window of `picture`, calibrated at
// 10 arc-seconds per pixel or by `georef`, its client `cw` x `ch`.
struct MapWindow {
    std::unique_ptr<COstrelApp> app = std::make_unique<COstrelApp>();
    COstrelView* view = nullptr;

    MapWindow(const std::string& picture, int cw, int ch,
              std::unique_ptr<CGeoreference> georef = nullptr) {
        g_strPortName = "";
        if (!app->InitInstance())
            std::abort();
        app->m_pMainWnd->resize(cw + 300, ch + 300);
        g_nDocMode = DOCMODE_MAP;
        CDocument* doc = app->m_pDocTemplate->OpenDocumentFile();
        view = static_cast<COstrelView*>(doc->GetViews().front());
        std::FILE* f = std::fopen(picture.c_str(), "rb");
        const uint32_t length = f ? view->m_dib.Read(f) : 0;
        if (f)
            std::fclose(f);
        if (length == 0)
            std::abort(); // no picture: every figure would measure an empty window
        view->m_bMapLoaded = true;
        view->m_cal = CMapCalibration{true, true, 0, 36000, 36000, 0, 0, 0, 3600, 3600};
        view->m_pGeoref = std::move(georef);
        view->m_bCalibrated = true;
        ResizeClientTo(view, cw, ch);
    }
    // The fix at map pixel (x, y), as the window's model places it.
    FixText FixAt(int x, int y) const {
        const std::optional<LonLat> g = view->Model().PositionAt({double(x), double(y)});
        if (!g || g->lon < 0 || g->lat < 0)
            std::abort(); // both maps lie north and east of 0, 0
        char lon[32], lat[32];
        const double lonDeg = std::floor(g->lon), latDeg = std::floor(g->lat);
        std::snprintf(lon, sizeof lon, "%03d%07.4f", int(lonDeg), (g->lon - lonDeg) * 60);
        std::snprintf(lat, sizeof lat, "%02d%07.4f", int(latDeg), (g->lat - latDeg) * 60);
        return {lon, "E", lat, "N"};
    }
    void SetFix(const FixText& text) {
        CGpsFix& fix = view->m_pGps->m_fix;
        fix.m_strLongitude = text.lon;
        fix.m_strEastWest = text.eastWest;
        fix.m_strLatitude = text.lat;
        fix.m_strNorthSouth = text.northSouth;
    }
};

// Seconds per iteration of `state`'s loop so far, by the wall clock. [s]
struct LoopClock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double PerIteration(const benchmark::State& state) const {
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        return spent.count() / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    }
};

// Marker ticks with the fix moving between map pixels (300, 300) and
// (340, 300), so that every tick moves the marker; seconds per tick. [s]
double RunTicks(benchmark::State& state, MapWindow& window) {
    const FixText fixes[2] = {window.FixAt(300, 300), window.FixAt(340, 300)};
    int i = 0;
    const LoopClock clock;
    for (auto _ : state) {
        window.SetFix(fixes[i & 1]);
        window.view->OnTimer(2);
        if (++i % 50000 == 0)
            window.view->m_nRoutePoints = 0;
    }
    state.counters["client"] = 800 * 600;
    return clock.PerIteration(state);
}

// The last figure of each benchmark on a longitude/latitude map, by its
// argument, against which the projected map's figure is given. [s]
std::map<std::pair<std::string, int64_t>, double>& LonLatFigures() {
    static std::map<std::pair<std::string, int64_t>, double> figures;
    return figures;
}

// The projected figure as a multiple of the longitude/latitude one, when
// that has run; the goal is 1.2 at most.
void ReportAgainstLonLat(benchmark::State& state, const std::string& name, double seconds) {
    const auto lonLat = LonLatFigures().find({name, state.range(0)});
    if (lonLat != LonLatFigures().end() && lonLat->second > 0)
        state.counters["vs_lonlat"] = seconds / lonLat->second;
}

void MarkerTick(benchmark::State& state) {
    const int side = int(state.range(0));
    MapWindow window(Picture(side, side), 800, 600);
    LonLatFigures()[{"tick", side}] = RunTicks(state, window);
}
BENCHMARK(MarkerTick)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);

// The same on a map in UTM: every tick asks PROJ for the fix's map coordinates.
void MarkerTickProjected(benchmark::State& state) {
    const int side = int(state.range(0));
    MapWindow window(Picture(side, side), 800, 600, UtmGeoreference());
    ReportAgainstLonLat(state, "tick", RunTicks(state, window));
}
BENCHMARK(MarkerTickProjected)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);

// A `side` x `side` picture with a .map file beside it, in UTM zone 33 by
// grid points (`utm`) or in longitude/latitude by two points; written once.
const std::string& PictureWithMapFile(int side, bool utm) {
    static std::map<std::pair<int, bool>, std::string> paths;
    std::string& path = paths[{side, utm}];
    if (!path.empty())
        return path;
    const std::string stem = "/tmp/ostrel-bench-" + std::to_string(getpid()) + "-" +
                             std::to_string(side) + (utm ? "-utm" : "-lonlat");
    path = stem + ".bmp";
    WriteGreyRampBitmap(path, side, side);
    WrittenFiles().push_back(path);
    WrittenFiles().push_back(stem + ".map");
    const char* points =
        utm ? "Point01,xy,    0,    0,in, deg,    ,        ,N,    ,        ,E, grid,  33,"
              "  500000.000, 5800000.000,N\r\n"
              "Point02,xy, 1000,    0,in, deg,    ,        ,N,    ,        ,E, grid,  33,"
              "  510000.000, 5800000.000,N\r\n"
              "Point03,xy,    0, 1000,in, deg,    ,        ,N,    ,        ,E, grid,  33,"
              "  500000.000, 5790000.000,N\r\n"
            : "Point01,xy,    0,    0,in, deg,  52,  0.0000,N,  13,  0.0000,E, grid,   ,"
              "           ,           ,N\r\n"
              "Point02,xy,  900,  900,in, deg,  51,  6.0000,N,  13, 54.0000,E, grid,   ,"
              "           ,           ,N\r\n";
    std::ofstream(stem + ".map", std::ios::binary)
        << "OziExplorer Map Data File Version 2.2\r\nbench\r\nbench.bmp\r\n1 ,Map Code,\r\n"
           "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84\r\nReserved 1\r\nReserved 2\r\n"
           "Magnetic Variation,,,E\r\nMap Projection,"
        << (utm ? "(UTM) Universal Transverse Mercator" : "Latitude/Longitude")
        << ",PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n"
        << points
        << "Projection Setup,,,,,,,,,,\r\n"
           "Map Feature = MF ; Map Comment = MM     ; Map Boundary = MB\r\n"
           "IWH,Map Image Width/Height,"
        << side << "," << side << "\r\n";
    return path;
}

// Why the .map file beside `picture` would not give the map its model, or
// empty; a refused file would stop the benchmark at its message box. Only
// the reader is asked, so that nothing of PROJ is loaded before a figure.
std::string NotPlaced(const std::string& picture, bool utm) {
    std::ifstream in(picture.substr(0, picture.size() - 4) + ".map", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const SidecarRead read = ReadMapDataFile(text);
    if (read.result != (utm ? SidecarRead::Georeferenced : SidecarRead::Usable))
        return "its .map file is not read as such: " + read.problem;
    return {};
}

// Opens the map window of `picture` as File Open does (document, picture,
// calibration from the file beside it) and closes it again; the seconds
// the opening took. [s]
double OpenAndClose(CDocTemplate& docTemplate, const std::string& picture) {
    const auto start = std::chrono::steady_clock::now();
    CDocument* doc = docTemplate.OpenDocumentFile(QFile::decodeName(picture.c_str()));
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    if (!doc || doc->GetViews().empty())
        std::abort();
    QWidget* frame = doc->GetViews().front();
    while (frame && !qobject_cast<QMdiSubWindow*>(frame))
        frame = frame->parentWidget();
    delete frame; // takes the view, and with it the document
    return spent.count();
}

void OpenMapWindow(benchmark::State& state, bool utm) {
    const std::string& picture = PictureWithMapFile(int(state.range(0)), utm);
    if (const std::string why = NotPlaced(picture, utm); !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    COstrelApp app;
    g_strPortName = "";
    if (!app.InitInstance())
        std::abort();
    double total = 0;
    for (auto _ : state) {
        const double seconds = OpenAndClose(*app.m_pDocTemplate, picture);
        state.SetIterationTime(seconds);
        total += seconds;
    }
    const double perOpen =
        total / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    if (utm)
        ReportAgainstLonLat(state, "open", perOpen);
    else
        LonLatFigures()[{"open", state.range(0)}] = perOpen;
}

// Opening the window of a map calibrated by a .map file beside it.
void OpenLonLatMap(benchmark::State& state) {
    OpenMapWindow(state, false);
}
BENCHMARK(OpenLonLatMap)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);
void OpenProjectedMap(benchmark::State& state) {
    OpenMapWindow(state, true);
}
BENCHMARK(OpenProjectedMap)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

void FullRepaint(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    MapWindow window(Picture(w, h), 1280, 800);
    for (auto _ : state)
        window.view->RedrawWindow();
    state.counters["client_w"] = window.view->GetClientRect().Width();
    state.counters["client_h"] = window.view->GetClientRect().Height();
}
BENCHMARK(FullRepaint)->Args({1400, 900})->Args({20000, 20000})->Unit(benchmark::kMicrosecond);

// A 1280 x 800 repaint of a 1400 x 900 map with or without GPX layers of
// 10,000 track points, 50 waypoints and 2 routes of 20 points over it; the
// layers' extra cost is the difference (goal: at most 10 ms). Map pixel
// (x, y) lies at x / 360 E, 10 - y / 360 N.
MapOverlay LayersOverMap() {
    GpxData data;
    auto at = [](double x, double y) { return LonLat{x / 360, 10 - y / 360}; };
    GpxTrack track{"walk", {{}}};
    for (int i = 0; i < 10000; ++i)
        track.segments[0].push_back(
            {at(700 + 650 * std::sin(i * 0.0031), 450 + 420 * std::cos(i * 0.0017)), {}, {}});
    data.tracks.push_back(track);
    for (int i = 0; i < 50; ++i)
        data.waypoints.push_back(
            {{at(28 * i, 18 * i), {}, {}}, "Waypoint " + std::to_string(i), ""});
    for (int r = 0; r < 2; ++r) {
        GpxRoute route{"route", {}};
        for (int i = 0; i < 20; ++i)
            route.points.push_back({{at(70 * i, 100 + 300 * r + 5 * i), {}, {}}, "R", ""});
        data.routes.push_back(route);
    }
    CGpxLayers layers;
    layers.Add({GpxLayer::File, "bench.gpx", data});
    return layers.Overlay();
}

void RepaintWithLayers(benchmark::State& state) {
    MapWindow window(Picture(1400, 900), 1280, 800);
    const MapOverlay overlay = LayersOverMap();
    if (state.range(0) != 0)
        window.view->m_pOverlay = &overlay;
    window.view->RedrawWindow(); // the layers are placed once, not per repaint
    for (auto _ : state)
        window.view->RedrawWindow();
}
BENCHMARK(RepaintWithLayers)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A 1920 x 1080 repaint of the 20000 x 20000 map at zoom 2^(-k/2) (k < 0:
// the whole map in the window) about its middle: while it moves (each
// repaint scrolled by a pixel, nearest pixels) or at rest (the same place
// again, smoothed). Median and 95th percentile, against the median at 100 %.
std::map<bool, double> g_actualSizeMedian; // [us] by moving

void ZoomedRepaint(benchmark::State& state) {
    const int k = int(state.range(0));
    const bool moving = state.range(1) != 0;
    MapWindow window(Picture(20000, 20000), 1920, 1080);
    window.view->m_strLevelEntry = Picture(20000, 20000) + ".levels.bmp";
    if (k >= 0)
        window.view->ZoomTo(std::pow(2.0, -k / 2.0), {0, 0});
    else
        window.view->OnZoomFit();
    const CSize total = window.view->GetTotalSize();
    window.view->ScrollToPosition(
        {std::max(0, total.cx / 2 - 960), std::max(0, total.cy / 2 - 540)});
    const CPoint middle = window.view->GetScrollPosition();
    window.view->RedrawWindow(); // starts making the reduced copies, once
    const auto making = std::chrono::steady_clock::now();
    const bool makes = window.view->MakingLevels();
    while (window.view->MakingLevels())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (makes)
        state.counters["levels_made_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - making)
                .count();
    // It moves across where it is wider than the window, else up and down.
    const CPoint step = total.cx > 1920 ? CPoint{1, 0} : CPoint{0, 1};
    window.view->ScrollToPosition({middle.x + step.x, middle.y + step.y});
    const bool moves = window.view->GetScrollPosition() != middle;
    window.view->ScrollToPosition(middle);
    if (moving && !moves) {
        state.SkipWithError("the whole map shows: it cannot move");
        return;
    }
    // Until the map rests.
    const auto rest = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < rest)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    std::vector<double> times;
    int i = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (moving)
            window.view->ScrollToPosition(
                {middle.x + (++i & 1) * step.x, middle.y + (i & 1) * step.y});
        else
            window.view->RedrawWindow();
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    if (k == 0)
        g_actualSizeMedian[moving] = median;
    state.counters["zoom_pct"] = window.view->Zoom() * 100;
    state.counters["median_us"] = median;
    state.counters["p95_us"] = times[times.size() * 95 / 100];
    if (g_actualSizeMedian.count(moving)) {
        const double ratio = median / g_actualSizeMedian[moving];
        state.counters["vs_100pct"] = ratio;
        state.SetLabel(std::string(moving ? "moving" : "at rest") +
                       ": median <= 1.5 x 100 % and <= 16 ms: " +
                       (ratio <= 1.5 && median <= 16000 ? "holds" : "FAILS"));
    }
}
BENCHMARK(ZoomedRepaint)
    ->ArgsProduct({{0, 1, 2, 3, 4, 6, 8, -1}, {1, 0}})
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);

// Opening the 400 MB map: the peak resident memory over what the process
// held before, against the file's size.
void ReportOpeningMemory() {
    const std::string& path = Picture(20000, 20000);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    const long fileKb = std::ftell(f) / 1024;
    std::fclose(f);
    {
        // The application's own start-up memory is not the map's.
        MapWindow warmUp(Picture(1000, 1000), 1280, 800);
    }
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKb("VmRSS");
    {
        MapWindow window(path, 1280, 800);
        window.view->RedrawWindow();
        const long peak = StatusKb("VmHWM");
        std::printf("Opening a %ld MB map: peak memory %ld MB over the start, limit %ld MB "
                    "(file + 64 MB): %s\n",
                    fileKb / 1024, (peak - before) / 1024, (fileKb + 65536) / 1024,
                    peak - before <= fileKb + 65536 ? "within" : "OVER");
    }
}

// The first map window a process opens: for a projected map, PROJ reads its
// database then. After one window that pays the application's own
// first-time costs, a longitude/latitude map and then a UTM map.
void ReportFirstOpens() {
    const std::string& lonLat = PictureWithMapFile(1000, false);
    const std::string& utm = PictureWithMapFile(1000, true);
    COstrelApp app;
    g_strPortName = "";
    if (!app.InitInstance())
        std::abort();
    OpenAndClose(*app.m_pDocTemplate, lonLat);
    const double lonLatMs = 1000 * OpenAndClose(*app.m_pDocTemplate, lonLat);
    if (const std::string why = NotPlaced(utm, true); !why.empty()) {
        std::printf("Opening a UTM map first: %s\n", why.c_str());
        return;
    }
    const double utmMs = 1000 * OpenAndClose(*app.m_pDocTemplate, utm);
    std::printf("Opening a map window the first time: %.1f ms for UTM, %.1f ms for "
                "longitude/latitude\n",
                utmMs, lonLatMs);
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qtApp(argc, argv);
    ReportOpeningMemory();
    ReportFirstOpens();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string& path : WrittenFiles())
        std::remove(path.c_str());
    for (const auto& [size, path] : Pictures())
        for (int k = 1; k <= LevelCount(size.first, size.second); ++k)
            std::remove(LevelPath(path + ".levels.bmp", k).c_str());
    return 0;
}
