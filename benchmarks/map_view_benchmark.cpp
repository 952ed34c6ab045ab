// Costs of the scanned-map view on large pictures: a marker tick, a full
// repaint, a 1920 x 1080 repaint at each zoom (its reduced copies made
// before it is timed), and the memory taken by opening a map. The pictures
// and their reduced copies are written to /tmp at start and removed at the
// end.

#include "app/main_frame.h"
#include "app/ostrel_app.h"
#include "benchmarks/grey_ramp_bitmap.h"
#include "benchmarks/process_status.h"
#include "gps/settings.h"
#include "map/map_view.h"
#include "platform/doc_template.h"
#include "tests/client_size.h"

#include <QApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string WritePicture(int32_t w, int32_t h) {
    const std::string path = "/tmp/ostrel-bench-" + std::to_string(getpid()) + "-" +
                             std::to_string(w) + "x" + std::to_string(h) + ".bmp";
    WriteGreyRampBitmap(path, w, h);
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

// The application with one scanned-map window of `picture`, calibrated at
// 10 arc-seconds per pixel, its client `cw` x `ch`.
struct MapWindow {
    std::unique_ptr<COstrelApp> app = std::make_unique<COstrelApp>();
    COstrelView* view = nullptr;

    MapWindow(const std::string& picture, int cw, int ch) {
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
        view->m_bCalibrated = true;
        ResizeClientTo(view, cw, ch);
    }
    // The fix at map pixel (x, y).
    void SetPosition(int x, int y) {
        char lon[32], lat[32];
        const int32_t a = 10 * x, b = 36000 - 10 * y;
        std::snprintf(lon, sizeof lon, "%03d%07.4f", a / 3600, (a % 3600) / 60.0 + 0.00005);
        std::snprintf(lat, sizeof lat, "%02d%07.4f", b / 3600, (b % 3600) / 60.0 + 0.00005);
        CGpsFix& fix = view->m_pGps->m_fix;
        fix.m_strLongitude = lon;
        fix.m_strEastWest = "E";
        fix.m_strLatitude = lat;
        fix.m_strNorthSouth = "N";
    }
};

void MarkerTick(benchmark::State& state) {
    const int side = int(state.range(0));
    MapWindow window(Picture(side, side), 800, 600);
    int i = 0;
    for (auto _ : state) {
        // Two positions in turn, so every tick moves the marker.
        window.SetPosition(300 + 40 * (i & 1), 300);
        window.view->OnTimer(2);
        if (++i % 50000 == 0)
            window.view->m_nRoutePoints = 0;
    }
    state.counters["client"] = 800 * 600;
}
BENCHMARK(MarkerTick)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);

void FullRepaint(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    MapWindow window(Picture(w, h), 1280, 800);
    for (auto _ : state)
        window.view->RedrawWindow();
    state.counters["client_w"] = window.view->GetClientRect().Width();
    state.counters["client_h"] = window.view->GetClientRect().Height();
}
BENCHMARK(FullRepaint)->Args({1400, 900})->Args({20000, 20000})->Unit(benchmark::kMicrosecond);

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
    const CPoint middle{std::max(0, total.cx / 2 - 960), std::max(0, total.cy / 2 - 540)};
    window.view->ScrollToPosition(middle);
    window.view->RedrawWindow(); // starts making the reduced copies, once
    while (window.view->MakingLevels())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (moving && window.view->GetScrollPosition() == CPoint{0, 0}) {
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
            window.view->ScrollToPosition({middle.x + (++i & 1), middle.y});
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

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qtApp(argc, argv);
    ReportOpeningMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [size, path] : Pictures()) {
        std::remove(path.c_str());
        for (int k = 1; k <= LevelCount(size.first, size.second); ++k)
            std::remove(LevelPath(path + ".levels.bmp", k).c_str());
    }
    return 0;
}
