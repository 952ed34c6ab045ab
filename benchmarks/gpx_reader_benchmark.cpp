// Opening a GPX layer: a day's track of 10,000 points with elevations and
// times, 50 waypoints and 2 routes of 25 points, read from a file as Open
// GPX Layer reads it (goal: at most 200 ms).
#include "track/gpx_export.h"
#include "track/gpx_reader.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr int64_t kDay = 1796688000000; // 2026-12-08T00:00:00Z [ms]

std::string Route(int number) {
    std::string gpx = "  <rte><name>Route " + std::to_string(number) + "</name>\n";
    for (int i = 0; i < 25; ++i)
        gpx += "    <rtept lat=\"" + std::to_string(37.9 + i * 0.001) + "\" lon=\"" +
               std::to_string(23.6 + number * 0.01) + "\"><name>R" + std::to_string(i) +
               "</name></rtept>\n";
    return gpx + "  </rte>\n";
}

// The file as the program exports it (waypoints, then the track), with the
// routes put in before the track, where GPX 1.1 has them.
std::string TripFile() {
    std::vector<GpxWaypoint> waypoints(50);
    for (int i = 0; i < 50; ++i) {
        waypoints[size_t(i)].position = {23.6 + i * 0.002, 37.9 + i * 0.001};
        waypoints[size_t(i)].name = "Waypoint " + std::to_string(i);
        waypoints[size_t(i)].symbol = "Flag, Blue";
        waypoints[size_t(i)].altitude = i;
    }
    std::vector<TrackPoint> points(10000);
    for (size_t i = 0; i < points.size(); ++i) {
        points[i].timeMs = kDay + int64_t(i) * 1000;
        points[i].latitude = 37.9 + double(i) * 1e-5;
        points[i].longitude = 23.6 + double(i) * 2e-5;
        points[i].altitude = 10 + double(i % 100) / 10;
    }
    std::string gpx = FormatGpx(points, "Ostrel", waypoints);
    gpx.insert(gpx.find("  <trk>"), Route(1) + Route(2));
    return gpx;
}

} // namespace

static void BM_OpenGpxLayer(benchmark::State& state) {
    char path[] = "/tmp/ostrel-gpx-bench-XXXXXX";
    const int fd = mkstemp(path);
    const std::string gpx = TripFile();
    if (fd < 0 || write(fd, gpx.data(), gpx.size()) != ssize_t(gpx.size()))
        std::abort();
    close(fd);
    for (auto _ : state) {
        const GpxRead read = ReadGpxFile(path);
        if (!read.message.empty() || read.data.tracks.at(0).segments.at(0).size() != 10000 ||
            read.data.waypoints.size() != 50 || read.data.routes.size() != 2)
            std::abort();
        benchmark::DoNotOptimize(read);
    }
    unlink(path);
}
BENCHMARK(BM_OpenGpxLayer)->Unit(benchmark::kMillisecond);
