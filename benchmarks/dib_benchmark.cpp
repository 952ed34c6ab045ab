#include "benchmarks/grey_ramp_bitmap.h"
#include "benchmarks/process_status.h"
#include "platform/dib_decoder.h"
#include "render/dib.h"

#include <algorithm>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t kBigSide = 20000;         // [pixel] of the 400 MB 8-bit picture
constexpr size_t kInfoBytes = 40 + 256 * 4; // [byte] info header and colour table
constexpr double kMB = 1024.0 * 1024.0;     // [byte]

void PutLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// The info header and a grey colour table of an 8-bit picture, followed by
// the 1024 spare bytes that CDib keeps after them.
std::vector<uint8_t> InfoBlock(int32_t width, int32_t height) {
    std::vector<uint8_t> info(kInfoBytes + 1024, 0);
    PutLe(&info[0], 40, 4);
    PutLe(&info[4], uint32_t(width), 4);
    PutLe(&info[8], uint32_t(height), 4);
    PutLe(&info[12], 1, 2);
    PutLe(&info[14], 8, 2);
    for (uint32_t i = 0; i < 256; ++i)
        PutLe(&info[40 + 4 * i], i * 0x010101, 4);
    return info;
}

size_t Stride(int32_t width) {
    return (size_t(width) + 3) & ~size_t(3);
}

// The 400 MB bitmap file, written on first use under /tmp and removed at exit.
class BigFile {
public:
    ~BigFile() {
        if (!m_path.empty())
            std::remove(m_path.c_str());
    }
    const std::string& Path() {
        if (m_path.empty())
            Write();
        return m_path;
    }
    size_t Size() const { return m_size; }

private:
    void Write() {
        m_path = "/tmp/ostrel-dib-benchmark-" + std::to_string(getpid()) + ".bmp";
        WriteGreyRampBitmap(m_path, kBigSide, kBigSide);
        m_size = 14 + kInfoBytes + Stride(kBigSide) * kBigSide;
    }
    std::string m_path;
    size_t m_size = 0; // [byte]
};
BigFile g_bigFile;

// Peak resident memory of the process [byte]; ResetPeakMemory() makes the
// current resident size the new peak.
size_t PeakMemory() {
    return size_t(std::max(StatusKb("VmHWM"), 0L)) * 1024;
}
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void SetReadCounters(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
    state.counters["MB/s"] =
        benchmark::Counter(double(bytes) / kMB, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = double(bytes) / kMB;
}

// A plain read of the whole file into fresh memory, for comparison.
void BM_PlainRead(benchmark::State& state) {
    const std::string& path = g_bigFile.Path();
    const size_t size = g_bigFile.Size();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
        benchmark::DoNotOptimize(std::fread(buffer.get(), 1, size, f));
        std::fclose(f);
    }
    SetReadCounters(state, size);
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// CDib::Read of the same file. The peak memory must stay within the file
// size plus 16 MB: the pixel data is read straight into its block.
void BM_DibRead(benchmark::State& state) {
    const std::string& path = g_bigFile.Path();
    const size_t size = g_bigFile.Size();
    ResetPeakMemory();
    for (auto _ : state) {
        CDib dib;
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (dib.Read(f) != size)
            state.SkipWithError("CDib::Read failed");
        std::fclose(f);
    }
    SetReadCounters(state, size);
    const size_t peak = PeakMemory();
    const size_t limit = size + 16 * 1024 * 1024;
    state.counters["peak_MB"] = double(peak) / kMB;
    state.counters["limit_MB"] = double(limit) / kMB;
    state.SetLabel(peak <= limit ? "peak <= file + 16 MB: holds" : "peak <= file + 16 MB: FAILS");
}
BENCHMARK(BM_DibRead)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// Decoding one 1280 x 800 window out of an 8-bit picture of range(0) x
// range(1) pixels. The time per window must not depend on the picture's
// size; it is compared in processor time, which other load on the machine
// does not inflate.
double g_smallWindowNs = 0; // [ns] per window in the small picture
void BM_DecodeWindow(benchmark::State& state) {
    const int32_t width = int32_t(state.range(0));
    const int32_t height = int32_t(state.range(1));
    const std::vector<uint8_t> info = InfoBlock(width, height);
    const size_t bitsSize = Stride(width) * size_t(height);
    std::unique_ptr<uint8_t[]> bits(new uint8_t[bitsSize]);
    for (size_t i = 0; i < bitsSize; ++i)
        bits[i] = uint8_t(i * 7);
    CDibDecoder decoder;
    if (!decoder.Open(info.data(), info.size(), bits.get(), bitsSize)) {
        state.SkipWithError("CDibDecoder::Open failed");
        return;
    }
    const CRect window{(width - 1280) / 2, (height - 800) / 2, (width - 1280) / 2 + 1280,
                       (height - 800) / 2 + 800};
    std::vector<uint32_t> out(1280 * 800);
    const double start = ThreadCpuNs();
    for (auto _ : state) {
        decoder.DecodeRect(window, out.data(), 1280);
        benchmark::ClobberMemory();
    }
    const double ns = (ThreadCpuNs() - start) / double(state.iterations());
    state.counters["Mpixel/s"] =
        benchmark::Counter(1280.0 * 800.0 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["cpu_us_per_window"] = ns / 1000;
    if (width != kBigSide) {
        g_smallWindowNs = ns;
    } else if (g_smallWindowNs > 0) {
        state.counters["vs_small"] = ns / g_smallWindowNs;
        state.SetLabel(ns <= 1.25 * g_smallWindowNs ? "within 25 % of the small picture: holds"
                                                    : "within 25 % of the small picture: FAILS");
    }
}
BENCHMARK(BM_DecodeWindow)
    ->Args({1400, 900})
    ->Args({kBigSide, kBigSide})
    ->Unit(benchmark::kMicrosecond);

} // namespace
