#include "gps/gps_receiver.h"
#include "gps/poll_tick.h"
#include "gps/settings.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <new>

// Every allocation of the program passes through here, so a tick's cost in
// heap traffic can be read off as a counter.
namespace {
std::atomic<size_t> g_allocatedBytes{0};
std::atomic<size_t> g_allocations{0};
} // namespace

void* operator new(size_t size) {
    g_allocatedBytes += size;
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

// A one-second burst as a receiver sends it: the three sentences among
// satellite data, beginning with the tail of a sentence cut by the
// previous read, 1000 bytes in all.
std::string Chunk() {
    std::string chunk = "5,M,,*44\r\n$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
                        "$GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*7B\r\n"
                        "$GPGGA,101530,5230.1234,N,01322.5678,E,1,07,1.2,034.5,M,39.2,M,,*44\r\n"
                        "$GPVTG,270.5,T,,M,005.2,N,009.6,K*68\r\n";
    const std::string gsv =
        "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n";
    while (chunk.size() + gsv.size() <= 1000)
        chunk += gsv;
    chunk.append(1000 - chunk.size(), 'x');
    return chunk;
}

void BM_PollTick(benchmark::State& state) {
    g_strPortName = ""; // names no device: no port is touched
    CGpsReceiver gps;
    const std::string chunk = Chunk();
    const size_t bytesBefore = g_allocatedBytes;
    const size_t allocationsBefore = g_allocations;
    for (auto _ : state) {
        HandlePolledChunk(gps, chunk);
        benchmark::DoNotOptimize(gps.m_fix);
    }
    state.counters["bytes_allocated_per_tick"] = benchmark::Counter(
        double(g_allocatedBytes - bytesBefore), benchmark::Counter::kAvgIterations);
    state.counters["allocations_per_tick"] = benchmark::Counter(
        double(g_allocations - allocationsBefore), benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(chunk.size()));
}
BENCHMARK(BM_PollTick);

// A tick on the most it reads at once: a 64 KiB backlog of 1 Hz epochs, as
// a "$GP" receiver sends them (0) or as a multi-constellation one whose
// sentences all come from another talker (1), which searches every talker.
void BM_PollTickBacklog(benchmark::State& state) {
    g_strPortName = "";
    CGpsReceiver gps;
    std::string epoch = Chunk();
    epoch.resize(epoch.rfind('\n') + 1);
    if (state.range(0) == 1)
        for (size_t at = 0; (at = epoch.find("$GP", at)) != std::string::npos;)
            epoch.replace(at, 3, "$GN");
    std::string backlog;
    while (backlog.size() + epoch.size() <= kMaxBacklog)
        backlog += epoch;
    for (auto _ : state) {
        HandlePolledChunk(gps, backlog);
        benchmark::DoNotOptimize(gps.m_fix);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(backlog.size()));
}
BENCHMARK(BM_PollTickBacklog)->Arg(0)->Arg(1);

} // namespace
