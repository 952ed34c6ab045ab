#include "gps/gps_receiver.h"
#include "gps/poll_tick.h"
#include "gps/settings.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <netinet/in.h>
#include <new>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A whole poll tick (PollTick) on each kind of source, fed one 1000-byte
// burst a tick over the loopback interface or a pseudo-terminal: 0 serial
// port, 1 TCP, 2 gpsd (the burst between two of its JSON lines), 3 UDP (one
// datagram). A serial read of exactly 1000 bytes ends at its size, without
// waiting for the 10 ms pause that ends a shorter one.
void BM_PollTickSource(benchmark::State& state) {
    g_strPortName = "";
    CGpsReceiver gps;
    const int kind = int(state.range(0));
    std::string burst = Chunk();
    if (kind == 2)
        burst = "{\"class\":\"SKY\"}\r\n" + burst.substr(0, burst.rfind('\n') + 1) +
                "{\"class\":\"TPV\"}\r\n";
    int writer = -1, other = -1; // what the benchmark sends on, and what it must close
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (kind == 0) {
        char name[256] = {};
        if (openpty(&writer, &other, name, nullptr, nullptr) != 0 || !gps.OpenPort(name, 4800)) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
    } else if (kind == 3) {
        writer = socket(AF_INET, SOCK_DGRAM, 0);
        bind(writer, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(writer, reinterpret_cast<sockaddr*>(&address), &size);
        address.sin_port = htons(ntohs(address.sin_port) + 1); // likely free
        (void)gps.OpenPort("udp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)), 0);
    } else {
        other = socket(AF_INET, SOCK_STREAM, 0);
        bind(other, reinterpret_cast<sockaddr*>(&address), size);
        listen(other, 1);
        getsockname(other, reinterpret_cast<sockaddr*>(&address), &size);
        (void)gps.OpenPort(std::string(kind == 1 ? "tcp" : "gpsd") +
                               "://127.0.0.1:" + std::to_string(ntohs(address.sin_port)),
                           0);
        writer = accept(other, nullptr, nullptr);
    }
    (void)PollTick(gps); // connected, and the status said
    const size_t bytesBefore = g_allocatedBytes;
    const size_t allocationsBefore = g_allocations;
    for (auto _ : state) {
        state.PauseTiming();
        if (kind == 3)
            (void)sendto(writer, burst.data(), burst.size(), 0,
                         reinterpret_cast<const sockaddr*>(&address), sizeof address);
        else
            (void)!write(writer, burst.data(), burst.size());
        pollfd ready{kind == 0 ? g_hComm : -1, POLLIN, 0};
        if (kind == 0)
            poll(&ready, 1, 1000);
        state.ResumeTiming();
        const PollResult result = PollTick(gps);
        if (result.chunk.empty())
            state.SkipWithError("a tick read nothing");
        benchmark::DoNotOptimize(gps.m_fix);
    }
    state.counters["bytes_allocated_per_tick"] = benchmark::Counter(
        double(g_allocatedBytes - bytesBefore), benchmark::Counter::kAvgIterations);
    state.counters["allocations_per_tick"] = benchmark::Counter(
        double(g_allocations - allocationsBefore), benchmark::Counter::kAvgIterations);
    close(writer);
    if (other >= 0)
        close(other);
}
BENCHMARK(BM_PollTickSource)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

} // namespace
