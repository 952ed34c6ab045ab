#include "gps/nmea_parser.h"
#include "tests/test_support.h"
#include "track/gpx_export.h"
#include "track/track_journal.h"
#include "track/track_recorder.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace {

constexpr int64_t kDay = 1796688000000; // 2026-12-08T00:00:00Z [ms]

TrackPoint Point(int64_t timeMs, bool start = false) {
    TrackPoint p;
    p.timeMs = timeMs;
    p.latitude = 37.5;
    p.longitude = 23.25;
    p.sessionStart = start;
    return p;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Segments split at gaps of more than a minute and at program starts; the
// elevation goes before the time, as GPX 1.1 orders them.
TEST(Gpx, SegmentsSplitAtGapsAndRestarts) {
    std::vector<TrackPoint> points = {Point(kDay, true), Point(kDay + 60000), Point(kDay + 120001),
                                      Point(kDay + 121000, true), Point(kDay + 122500)};
    points[1].altitude = 12.25;
    const std::string gpx = FormatGpx(points, "Ostrel 1.0.0.1");
    EXPECT_EQ(Count(gpx, "<trkseg>"), 3u) << gpx;
    EXPECT_EQ(Count(gpx, "<trk>"), 1u);
    EXPECT_NE(gpx.find("creator=\"Ostrel 1.0.0.1\""), std::string::npos);
    EXPECT_NE(gpx.find("<trkpt lat=\"37.5000000\" lon=\"23.2500000\"><ele>12.2</ele>"
                       "<time>2026-12-08T00:01:00Z</time></trkpt>"),
              std::string::npos)
        << gpx;
    EXPECT_NE(gpx.find("<time>2026-12-08T00:02:02.500Z</time>"), std::string::npos);
}

std::string Output(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    return out;
}

// The demo trip journalled as the program journals it, then exported: an
// independent reader must find the same points and times, and the file must
// be well-formed XML.
TEST(Gpx, AnIndependentReaderReadsTheExportedTripBack) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    CTrackJournal journal(folder);
    CTrackRecorder recorder;
    CGpsFix fix;
    std::ifstream log(OSTREL_DEMO_TRACK);
    size_t points = 0;
    int64_t first = 0, last = 0;
    for (std::string line; std::getline(log, line);) {
        if (line.empty() || line[0] != '$')
            continue;
        (void)ParseNmeaSentence(fix, line);
        if (std::optional<TrackPoint> p = recorder.Update(fix, line.compare(3, 3, "RMC") == 0, 0)) {
            ASSERT_EQ(journal.Append(*p, 0), "");
            first = points++ ? first : p->timeMs;
            last = p->timeMs;
        }
    }
    ASSERT_GT(points, 100u);
    const std::string out = (dir.Path() / "trip.gpx").string();
    ASSERT_EQ(ExportJournalRange(folder, "", "", out, "Ostrel 1.0.0.1"), "");
    EXPECT_NE(ExportJournalRange(folder, "2030-01-01", "", out, "x"), "") << "no day in range";

    EXPECT_EQ(Output("xmllint --noout " + out + " 2>&1"), "");
    // unicsv: a header, then "No,Latitude,Longitude,Altitude,Date,Time" per point.
    const std::string csv = Output("gpsbabel -t -i gpx -f " + out + " -o unicsv,utc=0 -F - 2>&1");
    std::istringstream rows(csv);
    std::vector<std::string> lines;
    for (std::string row; std::getline(rows, row);)
        lines.push_back(row);
    ASSERT_EQ(lines.size(), points + 1) << csv.substr(0, 400);
    const std::string firstTime = FormatUtcTime(first), lastTime = FormatUtcTime(last);
    // gpsbabel writes "2024/06/15,07:14:59.500".
    const auto dateTime = [](std::string iso) {
        iso[4] = iso[7] = '/';
        return iso.substr(0, 10) + "," + iso.substr(11, iso.size() - 12);
    };
    EXPECT_NE(lines[1].find(dateTime(firstTime)), std::string::npos)
        << lines[1] << " " << firstTime;
    EXPECT_NE(lines.back().find(dateTime(lastTime)), std::string::npos)
        << lines.back() << " " << lastTime;
}

} // namespace
