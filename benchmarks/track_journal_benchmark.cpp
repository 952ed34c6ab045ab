// The journal's cost per fix: one line formatted and appended with one
// write; the sync every few seconds is not part of it.
#include "track/track_journal.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

static void BM_JournalAppendPerFix(benchmark::State& state) {
    char folder[] = "/tmp/ostrel-journal-bench-XXXXXX";
    if (!mkdtemp(folder))
        std::abort();
    {
        CTrackJournal journal(folder);
        TrackPoint point;
        point.timeMs = 1796688000000;
        point.latitude = 37.9421;
        point.longitude = 23.6465;
        point.altitude = 12.3;
        point.speedKnots = 5.2;
        for (auto _ : state) {
            point.timeMs += 1000;
            point.latitude += 1e-6;
            // The same instant of the steady clock: no sync falls due.
            if (!journal.Append(point, 0).empty())
                std::abort();
        }
    }
    std::system((std::string("rm -rf ") + folder).c_str());
}
BENCHMARK(BM_JournalAppendPerFix);

// The export's list of days: a week of a 1 Hz receiver (86400 lines a day),
// as the Export Track dialog reads it each time it opens.
static void BM_ListJournalDays(benchmark::State& state) {
    char folder[] = "/tmp/ostrel-journal-bench-XXXXXX";
    if (!mkdtemp(folder))
        std::abort();
    {
        CTrackJournal journal(folder);
        TrackPoint point;
        point.timeMs = 1796688000000;
        point.latitude = 37.9421;
        point.longitude = 23.6465;
        for (int i = 0; i < 7 * 86400; ++i) {
            point.timeMs += 1000;
            point.latitude += 1e-6;
            if (!journal.Append(point, 0).empty())
                std::abort();
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(ListJournalDays(folder));
    std::system((std::string("rm -rf ") + folder).c_str());
}
BENCHMARK(BM_ListJournalDays)->Unit(benchmark::kMillisecond);
