// The journal's cost per fix: one line formatted and appended with one
// write; the sync every few seconds is not part of it.
#include "track/track_journal.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {

// A journal folder of its own under /tmp, removed with everything in it.
struct BenchFolder {
    char path[33] = "/tmp/ostrel-journal-bench-XXXXXX";
    BenchFolder() {
        if (!mkdtemp(path))
            std::abort();
    }
    ~BenchFolder() { std::system((std::string("rm -rf ") + path).c_str()); }
};

// A point off Piraeus, and the next one a second later and a little north.
TrackPoint FirstPoint() {
    TrackPoint point;
    point.timeMs = 1796688000000;
    point.latitude = 37.9421;
    point.longitude = 23.6465;
    return point;
}
void Advance(TrackPoint& point) {
    point.timeMs += 1000;
    point.latitude += 1e-6;
}

} // namespace

static void BM_JournalAppendPerFix(benchmark::State& state) {
    const BenchFolder folder;
    CTrackJournal journal(folder.path);
    TrackPoint point = FirstPoint();
    point.altitude = 12.3;
    point.speedKnots = 5.2;
    for (auto _ : state) {
        Advance(point);
        // The same instant of the steady clock: no sync falls due.
        if (!journal.Append(point, 0).empty())
            std::abort();
    }
}
BENCHMARK(BM_JournalAppendPerFix);

// The export's list of days: a week of a 1 Hz receiver (86400 lines a day),
// as the Export Track dialog reads it each time it opens.
static void BM_ListJournalDays(benchmark::State& state) {
    const BenchFolder folder;
    {
        CTrackJournal journal(folder.path);
        TrackPoint point = FirstPoint();
        for (int i = 0; i < 7 * 86400; ++i) {
            Advance(point);
            if (!journal.Append(point, 0).empty())
                std::abort();
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(ListJournalDays(folder.path));
}
BENCHMARK(BM_ListJournalDays)->Unit(benchmark::kMillisecond);
