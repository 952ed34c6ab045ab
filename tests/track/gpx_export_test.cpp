#include "gps/nmea_parser.h"
#include "tests/test_support.h"
#include "track/gpx_export.h"
#include "track/gpx_reader.h"
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

// The demo trip journalled into `folder` as the program journals it; the
// points journalled.
std::vector<TrackPoint> JournalDemoTrip(const std::string& folder) {
    CTrackJournal journal(folder);
    CTrackRecorder recorder;
    CGpsFix fix;
    std::ifstream log(OSTREL_DEMO_TRACK);
    std::vector<TrackPoint> points;
    for (std::string line; std::getline(log, line);) {
        if (line.empty() || line[0] != '$')
            continue;
        (void)ParseNmeaSentence(fix, line);
        if (std::optional<TrackPoint> p = recorder.Update(fix, line.compare(3, 3, "RMC") == 0, 0)) {
            EXPECT_EQ(journal.Append(*p, 0), "");
            points.push_back(*p);
        }
    }
    return points;
}

// The demo trip journalled as the program journals it, then exported: an
// independent reader must find the same points and times, and the file must
// be well-formed XML.
TEST(Gpx, AnIndependentReaderReadsTheExportedTripBack) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    const std::vector<TrackPoint> journalled = JournalDemoTrip(folder);
    const size_t points = journalled.size();
    ASSERT_GT(points, 100u);
    const int64_t first = journalled.front().timeMs, last = journalled.back().timeMs;
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

// Catches the track's output changed by the waypoints it may now carry: a
// file written without them is byte for byte what it always was.
TEST(Gpx, WithoutWaypointsTheOutputIsAsBefore) {
    std::vector<TrackPoint> points = {Point(kDay, true), Point(kDay + 1000)};
    points[1].altitude = -3;
    EXPECT_EQ(FormatGpx(points, "Ostrel 1.0.0.1"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<gpx version=\"1.1\" creator=\"Ostrel 1.0.0.1\" "
              "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
              "  <trk>\n"
              "    <trkseg>\n"
              "      <trkpt lat=\"37.5000000\" lon=\"23.2500000\">"
              "<time>2026-12-08T00:00:00Z</time></trkpt>\n"
              "      <trkpt lat=\"37.5000000\" lon=\"23.2500000\"><ele>-3.0</ele>"
              "<time>2026-12-08T00:00:01Z</time></trkpt>\n"
              "    </trkseg>\n"
              "  </trk>\n"
              "</gpx>\n");
    EXPECT_EQ(FormatGpx({}, "x"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<gpx version=\"1.1\" creator=\"x\" "
                                  "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                                  "  <trk>\n"
                                  "  </trk>\n"
                                  "</gpx>\n");
}

// Catches waypoints written after the track (GPX 1.1 wants them first),
// names that break the XML or lose a carriage return, and an empty track
// written beside marks; our reader and an independent one read them back.
TEST(Gpx, WaypointsGoFirstAndReadBack) {
    GpxWaypoint named;
    named.position = {-70.6693, -33.4489};
    named.altitude = 520.25;
    named.timeMs = kDay + 1500;
    named.name = "A & <B>\r\"C\"";
    named.symbol = "Flag, Blue";
    GpxWaypoint bare;
    bare.position = {179.9999999, 89.9999999};
    const std::string gpx = FormatGpx({}, "Ostrel", {named, bare});
    EXPECT_EQ(gpx.find("<trk>"), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("<wpt lat=\"-33.4489000\" lon=\"-70.6693000\"><ele>520.2</ele>"
                       "<time>2026-12-08T00:00:01.500Z</time><name>A &amp; &lt;B&gt;&#13;&quot;"
                       "C&quot;</name><sym>Flag, Blue</sym></wpt>"),
              std::string::npos)
        << gpx;
    const GpxRead read = ReadGpxBytes(gpx, "marks.gpx");
    ASSERT_EQ(read.message, "");
    ASSERT_EQ(read.data.waypoints.size(), 2u);
    EXPECT_EQ(read.data.waypoints[0].name, named.name);
    EXPECT_EQ(read.data.waypoints[0].symbol, named.symbol);
    EXPECT_EQ(read.data.waypoints[0].timeMs, named.timeMs);
    EXPECT_EQ(read.data.waypoints[1].position.lat, 89.9999999);
    EXPECT_TRUE(read.data.tracks.empty());

    const std::vector<TrackPoint> points = {Point(kDay, true)};
    EXPECT_LT(FormatGpx(points, "x", {bare}).find("<wpt"),
              FormatGpx(points, "x", {bare}).find("<trk>"));

    TempDir dir;
    const std::string out = (dir.Path() / "marks.gpx").string();
    std::ofstream(out) << gpx;
    EXPECT_EQ(Output("xmllint --noout " + out + " 2>&1"), "");
    // unicsv: a header, then "No,Latitude,Longitude,Name,..." per waypoint.
    const std::string csv = Output("gpsbabel -w -i gpx -f " + out + " -o unicsv,utc=0 -F - 2>&1");
    EXPECT_EQ(Count(csv, "\n"), 3u) << csv;
    EXPECT_NE(csv.find("-33.448900,-70.669300"), std::string::npos) << csv;
}

// The own track exported and opened again as a layer: catches points,
// times or segments lost or moved on the way (7 decimals keep 1e-7 deg).
TEST(Gpx, TheOwnTrackReadsBackAsALayer) {
    TempDir dir;
    const std::string folder = (dir.Path() / "track").string();
    const std::vector<TrackPoint> journalled = JournalDemoTrip(folder);
    ASSERT_GT(journalled.size(), 100u);
    const std::string out = (dir.Path() / "trip.gpx").string();
    ASSERT_EQ(ExportJournalRange(folder, "", "", out, "Ostrel 1.0.0.1"), "");
    const GpxRead read = ReadGpxFile(out);
    ASSERT_EQ(read.message, "");
    ASSERT_EQ(read.data.tracks.size(), 1u);
    std::vector<GpxPoint> layer;
    for (const std::vector<GpxPoint>& segment : read.data.tracks[0].segments)
        layer.insert(layer.end(), segment.begin(), segment.end());
    ASSERT_EQ(layer.size(), journalled.size());
    for (size_t i = 0; i < layer.size(); ++i) {
        EXPECT_NEAR(layer[i].position.lat, journalled[i].latitude, 1e-7) << i;
        EXPECT_NEAR(layer[i].position.lon, journalled[i].longitude, 1e-7) << i;
        EXPECT_EQ(layer[i].timeMs, journalled[i].timeMs) << i;
        ASSERT_EQ(layer[i].altitude.has_value(), journalled[i].altitude.has_value()) << i;
        if (layer[i].altitude) {
            EXPECT_NEAR(*layer[i].altitude, *journalled[i].altitude, 0.05) << i;
        }
    }
}

} // namespace
