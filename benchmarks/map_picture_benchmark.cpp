// Opening large map pictures through File Open, and drawing from them:
// - a 20000 x 20000 JPEG, first opened (decoded into the map cache) against
//   a plain libjpeg-turbo decode of the same file, its first decode with the
//   reduced copies against one without them, then opened again (its cached
//   copy mapped) against the first open;
// - a 400 MB 8-bit bitmap, opened (mapped) against a plain read of the file;
// - one 1280 x 800 repaint from the 20000 x 20000 JPEG against one from a
//   1400 x 900 JPEG.
// Each measure alternates with the one it is set against, so that both meet
// the same load on the machine, and the ratios are of medians.
// Memory is the resident size after the open (and a repaint) less what the
// program held just before it, with the same kind of picture opened and
// closed once already. The pictures, the map cache (XDG_CACHE_HOME) and the
// profile live in a folder under /tmp made at start and removed at the end.

#include "app/main_frame.h"
#include "app/ostrel_app.h"
#include "benchmarks/grey_ramp_bitmap.h"
#include "benchmarks/process_status.h"
#include "gps/settings.h"
#include "map/map_view.h"
#include "picture/map_cache.h"
#include "picture/picture_decoder.h"
#include "picture/picture_levels.h"
#include "platform/commands.h"
#include "platform/document.h"
#include "tests/client_size.h"

#include <QApplication>
#include <QSettings>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int32_t kBigSide = 20000;     // [pixel] of the large JPEG and bitmap
constexpr double kMB = 1024.0 * 1024.0; // [byte]

fs::path g_dir;              // everything of the run
COstrelApp* g_app = nullptr; // the application, made in main

// ---- Pictures ----

// A w x h colour JPEG written a row at a time: ramps, edges every 16 pixels
// and a dark grid every 100, so its blocks are neither flat nor noise.
std::string WriteJpeg(const char* name, int32_t w, int32_t h) {
    const std::string path = (g_dir / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = &row[size_t(x) * 3];
            const bool grid = x % 100 < 2 || y % 100 < 2;
            p[0] = grid ? 40 : uint8_t(x >> 4);
            p[1] = grid ? 40 : uint8_t(y >> 4);
            p[2] = grid ? 40 : uint8_t(((x ^ y) & 0x30) << 2 | 0x20);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    SyncAndClose(f);
    return path;
}

// An 8-bit bottom-up bitmap of w x h with a grey palette.
std::string WriteBitmap(const char* name, int32_t w, int32_t h) {
    const std::string path = (g_dir / name).string();
    WriteGreyRampBitmap(path, w, h);
    return path;
}

const std::string& BigJpeg() {
    static const std::string path = WriteJpeg("big.jpg", kBigSide, kBigSide);
    return path;
}
const std::string& SmallJpeg() {
    static const std::string path = WriteJpeg("small.jpg", 1400, 900);
    return path;
}
const std::string& BigBitmap() {
    static const std::string path = WriteBitmap("big.bmp", kBigSide, kBigSide);
    return path;
}
const std::string& SmallBitmap() {
    static const std::string path = WriteBitmap("small.bmp", 1400, 900);
    return path;
}

double FileMB(const std::string& path) {
    return double(fs::file_size(path)) / kMB;
}

// ---- Measures ----

// The resident size of the process [byte].
double Resident() {
    return double(std::max(StatusKb("VmRSS"), 0L)) * 1024;
}

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* Verdict(bool holds) {
    return holds ? "holds" : "FAILS";
}

// ---- The application ----

// Opens `path` as File Open does and lets the window show; its view, null
// when the picture was refused.
COstrelView* Open(const std::string& path) {
    CDocument* doc = g_app->OpenDocumentFile(QString::fromStdString(path));
    QApplication::processEvents();
    return doc ? qobject_cast<COstrelView*>(doc->GetViews().front()) : nullptr;
}

// Closes the active window, as File Close does.
void Close() {
    g_app->m_pMainWnd->RouteCommand(ID_FILE_CLOSE);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

// The decoded copies, so that the next open decodes again.
void EmptyMapCache() {
    fs::remove_all(g_dir / "cache" / "ostrel");
    sync();
}

// ---- The 20000 x 20000 JPEG ----

// libjpeg-turbo alone: every row of `path` decoded in the layout the map
// cache keeps, into one row buffer. [s]
double PlainDecode(const std::string& path) {
    const double start = Seconds();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct d{};
    jpeg_error_mgr errors{};
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    std::vector<uint8_t> pixels(size_t(d.output_width) * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[1] = {pixels.data()};
        jpeg_read_scanlines(&d, rows, 1);
        benchmark::DoNotOptimize(pixels.data());
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return Seconds() - start;
}

// The first decode of `path` into an empty map cache, as File Open makes
// it, with or without the reduced copies. [s]
double DecodeIntoCache(const std::string& path, bool levels) {
    EmptyMapCache();
    const CMapCache cache;
    std::string problem;
    struct stat st {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f || fstat(fileno(f), &st) != 0 || !cache.Prepare(problem))
        std::abort();
    const double start = Seconds();
    CCacheEntryWriter sink(cache, cache.EntryPath(path, st), nullptr, levels);
    if (DecodeJpeg(f, sink).result != DecodeOutcome::Done || !sink.Commit(problem))
        std::abort();
    const double seconds = Seconds() - start;
    std::fclose(f);
    return seconds;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double g_firstOpen = 0; // [s] median

// Decoding into the map cache and mapping the decoded copy, from an empty
// cache each time. Each open follows a plain decode of the same file, so
// that both meet the same load on the machine.
void JpegFirstOpen(benchmark::State& state) {
    const std::string& path = BigJpeg();
    if (Open(SmallJpeg()))
        Close();
    std::vector<double> decodes, opens;
    double over = 0;
    for (auto _ : state) {
        decodes.push_back(PlainDecode(path));
        EmptyMapCache();
        const double own = Resident();
        const double start = Seconds();
        COstrelView* view = Open(path);
        opens.push_back(Seconds() - start);
        over = Resident() - own;
        if (!view) {
            state.SkipWithError("the JPEG was refused");
            return;
        }
        Close();
        state.SetIterationTime(opens.back());
    }
    g_firstOpen = Median(opens);
    const double ratio = g_firstOpen / Median(decodes);
    state.counters["file_MB"] = FileMB(path);
    state.counters["plain_decode_ms"] = Median(decodes) * 1e3;
    state.counters["vs_plain_decode"] = ratio;
    state.counters["rss_over_own_MB"] = over / kMB;
    state.SetLabel(std::string("open <= 1.5 x decode: ") + Verdict(ratio <= 1.5) +
                   ", memory <= own + 100 MB: " + Verdict(over <= 100 * kMB));
}
BENCHMARK(JpegFirstOpen)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// What making the reduced copies adds to the first decode into the map
// cache, each decode with them after one without.
void JpegDecodeWithLevels(benchmark::State& state) {
    const std::string& path = BigJpeg();
    std::vector<double> without, with;
    for (auto _ : state) {
        without.push_back(DecodeIntoCache(path, false));
        with.push_back(DecodeIntoCache(path, true));
        state.SetIterationTime(with.back());
    }
    EmptyMapCache();
    const double added = Median(with) / Median(without) - 1;
    state.counters["decode_without_levels_ms"] = Median(without) * 1e3;
    state.counters["levels_add"] = added;
    state.counters["levels_MB"] = double(LevelBytes(kBigSide, kBigSide)) / kMB;
    state.SetLabel(std::string("levels add <= 25 % to the first decode: ") +
                   Verdict(added <= 0.25));
}
BENCHMARK(JpegDecodeWithLevels)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// The decoded copy is in the cache (left by the first open): it is mapped.
void JpegSecondOpen(benchmark::State& state) {
    const std::string& path = BigJpeg();
    if (Open(path)) // decodes it when run on its own
        Close();
    std::vector<double> opens;
    for (auto _ : state) {
        const double start = Seconds();
        COstrelView* view = Open(path);
        opens.push_back(Seconds() - start);
        if (!view) {
            state.SkipWithError("the JPEG was refused");
            return;
        }
        Close();
        state.SetIterationTime(opens.back());
    }
    if (g_firstOpen > 0) {
        const double ratio = Median(opens) / g_firstOpen;
        state.counters["vs_first_open"] = ratio;
        state.SetLabel(std::string("second open <= 5 % of the first: ") + Verdict(ratio <= 0.05));
    }
}
BENCHMARK(JpegSecondOpen)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---- The 400 MB 8-bit bitmap ----

// The whole file read into fresh memory. [s]
double PlainRead(const std::string& path) {
    const size_t size = fs::file_size(path);
    const double start = Seconds();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
    benchmark::DoNotOptimize(std::fread(buffer.get(), 1, size, f));
    std::fclose(f);
    buffer.reset();
    return Seconds() - start;
}

// Opening the bitmap (its pixels mapped), each time after a plain read of
// it; the memory after the open and one full repaint of a 1280 x 800 window.
void BitmapOpen(benchmark::State& state) {
    const std::string& path = BigBitmap();
    if (COstrelView* view = Open(SmallBitmap())) {
        ResizeClientTo(view, 1280, 800);
        view->RedrawWindow();
        Close();
    }
    std::vector<double> reads, opens;
    double over = 0;
    for (auto _ : state) {
        reads.push_back(PlainRead(path));
        const double own = Resident();
        const double start = Seconds();
        COstrelView* view = Open(path);
        opens.push_back(Seconds() - start);
        if (!view) {
            state.SkipWithError("the bitmap was refused");
            return;
        }
        ResizeClientTo(view, 1280, 800);
        view->RedrawWindow();
        over = Resident() - own;
        Close();
        state.SetIterationTime(opens.back());
    }
    const double ratio = Median(opens) / Median(reads);
    state.counters["file_MB"] = FileMB(path);
    state.counters["plain_read_ms"] = Median(reads) * 1e3;
    state.counters["vs_plain_read"] = ratio;
    state.counters["rss_over_own_MB"] = over / kMB;
    state.SetLabel(std::string("open <= 0.2 x read: ") + Verdict(ratio <= 0.2) +
                   ", memory <= own + 64 MB: " + Verdict(over <= 64 * kMB));
}
BENCHMARK(BitmapOpen)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// ---- Repaints ----

// One full repaint of a 1280 x 800 window on the 20000 x 20000 JPEG (the
// time reported), each after one of a window as large on a 1400 x 900 JPEG,
// so that both meet the same load on the machine.
void RepaintLargeAgainstSmall(benchmark::State& state) {
    COstrelView* small = Open(SmallJpeg());
    COstrelView* large = small ? Open(BigJpeg()) : nullptr;
    if (!large) {
        state.SkipWithError("a JPEG was refused");
        return;
    }
    for (COstrelView* view : {small, large}) {
        ResizeClientTo(view, 1280, 800);
        view->RedrawWindow();
    }
    std::vector<double> smalls, larges;
    for (auto _ : state) {
        double start = Seconds();
        small->RedrawWindow();
        smalls.push_back(Seconds() - start);
        start = Seconds();
        large->RedrawWindow();
        larges.push_back(Seconds() - start);
        state.SetIterationTime(larges.back());
    }
    const double ratio = Median(larges) / Median(smalls);
    state.counters["client_w"] = large->GetClientRect().Width();
    state.counters["client_h"] = large->GetClientRect().Height();
    state.counters["small_us"] = Median(smalls) * 1e6;
    state.counters["vs_small"] = ratio;
    state.SetLabel(std::string("within 1.25 x the 1400 x 900 picture: ") + Verdict(ratio <= 1.25));
    Close();
    Close();
}
BENCHMARK(RepaintLargeAgainstSmall)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char dir[] = "/tmp/ostrel-map-picture-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    g_dir = dir;
    // The map cache, the profile and the calibration store of this run only.
    setenv("XDG_CACHE_HOME", (g_dir / "cache").c_str(), 1);
    QApplication qtApp(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((g_dir / "profile").string()));
    fs::current_path(g_dir);
    g_strPortName = "";
    g_nDocMode = DOCMODE_WORLDMAP;
    int status = 0;
    {
        COstrelApp app;
        if (app.InitInstance()) {
            app.m_pMainWnd->resize(1280 + 300, 800 + 300);
            QApplication::processEvents();
            g_app = &app;
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
            g_app = nullptr;
        } else {
            status = 1;
        }
    }
    QApplication::processEvents();
    fs::current_path("/tmp");
    fs::remove_all(g_dir);
    return status;
}
