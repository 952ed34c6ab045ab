#include "tests/test_support.h"
#include "track/gpx_reader.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <unistd.h>

namespace {

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<gpx version=\"1.1\" creator=\"test\" "
                          "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";

GpxRead Read(const std::string& body) {
    return ReadGpxBytes(kHead + body + "</gpx>\n", "test.gpx");
}

// Catches a <name> of the metadata or of an extension taken for a point's,
// points inside extensions taken for route points, an entity of XML left
// undecoded, and fields of one point landing on another.
TEST(GpxReader, ReadsWaypointsRoutesAndTracksOfGpx11) {
    const GpxRead read = ReadGpxBytes(
        R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1"
     xmlns:x="http://www.example.com/ext">
  <metadata><name>Not a waypoint</name><time>2020-01-01T00:00:00Z</time></metadata>
  <wpt lat="37.9421" lon="23.6465">
    <ele>12.5</ele><time>2026-12-08T05:41:54Z</time>
    <name> Piraeus &amp; port </name><sym>Anchor</sym>
  </wpt>
  <wpt lat="-33.5" lon="-70.25"/>
  <rte>
    <name>Out</name>
    <rtept lat="1" lon="2"><name>A</name></rtept>
    <rtept lat="3" lon="4"><name>B</name>
      <extensions><x:rpt lat="9" lon="9"><name>C</name></x:rpt></extensions></rtept>
  </rte>
  <trk>
    <extensions><x:name>ext</x:name></extensions>
    <name>Day</name>
    <trkseg>
      <trkpt lat="5" lon="6"><ele>-1.25</ele><time>2026-12-08T05:41:55.5Z</time></trkpt>
      <trkpt lat="5.5" lon="6.5"></trkpt>
    </trkseg>
    <trkseg/>
  </trk>
</gpx>
)",
        "full.gpx");
    ASSERT_EQ(read.message, "");
    EXPECT_EQ(read.skipped, 0u);
    const GpxData& data = read.data;
    ASSERT_EQ(data.waypoints.size(), 2u);
    const GpxWaypoint& w = data.waypoints[0];
    EXPECT_EQ(w.position.lat, 37.9421);
    EXPECT_EQ(w.position.lon, 23.6465);
    EXPECT_EQ(w.altitude, 12.5);
    EXPECT_EQ(w.timeMs, 1796708514000);
    EXPECT_EQ(w.name, "Piraeus & port");
    EXPECT_EQ(w.symbol, "Anchor");
    EXPECT_EQ(data.waypoints[1].name, "");
    EXPECT_FALSE(data.waypoints[1].altitude);
    EXPECT_FALSE(data.waypoints[1].timeMs);
    ASSERT_EQ(data.routes.size(), 1u);
    EXPECT_EQ(data.routes[0].name, "Out");
    ASSERT_EQ(data.routes[0].points.size(), 2u);
    EXPECT_EQ(data.routes[0].points[1].name, "B");
    EXPECT_EQ(data.routes[0].points[1].position.lon, 4);
    ASSERT_EQ(data.tracks.size(), 1u);
    EXPECT_EQ(data.tracks[0].name, "Day");
    ASSERT_EQ(data.tracks[0].segments.size(), 2u);
    ASSERT_EQ(data.tracks[0].segments[0].size(), 2u);
    EXPECT_EQ(data.tracks[0].segments[0][0].altitude, -1.25);
    EXPECT_EQ(data.tracks[0].segments[0][0].timeMs, 1796708515500);
    EXPECT_EQ(data.tracks[0].segments[1].size(), 0u);
    EXPECT_EQ(GpxCounts(read), "2 waypoints, 1 route, 1 track");
}

// Catches GPX 1.0 (its own namespace, or none at all) refused, and CDATA or
// Latin-1 text lost.
TEST(GpxReader, ReadsGpx10WithOrWithoutItsNamespace) {
    for (const char* xmlns : {" xmlns=\"http://www.topografix.com/GPX/1/0\"", ""}) {
        const GpxRead read = ReadGpxBytes(
            std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<gpx version=\"1.0\"") +
                xmlns +
                "><wpt lat=\"10\" lon=\"20\"><name><![CDATA[Caf\xE9 <1>]]></name></wpt>"
                "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><course>3</course></trkpt></trkseg>"
                "</trk></gpx>",
            "old.gpx");
        ASSERT_EQ(read.message, "") << xmlns;
        ASSERT_EQ(read.data.waypoints.size(), 1u);
        EXPECT_EQ(read.data.waypoints[0].name, "Caf\xC3\xA9 <1>");
        EXPECT_EQ(read.data.tracks.at(0).segments.at(0).size(), 1u);
    }
}

// Catches impossible coordinates kept (or a garbled one read as 0), good
// points beside them lost, the poles and the antimeridian refused, and
// impossible elevations kept (no writer keeps 1e300 m as it is).
TEST(GpxReader, SkipsAndCountsPointsWithImpossibleCoordinates) {
    const GpxRead read = Read(R"(
  <wpt lat="91" lon="0"/>
  <wpt lat="90" lon="180"><name>kept</name></wpt>
  <wpt lat="0" lon="-180.5"/>
  <wpt lat="nan" lon="0"/>
  <wpt lat="0" lon="inf"/>
  <wpt lat="1"/>
  <wpt lat="abc" lon="2"/>
  <wpt lat="" lon="2"/>
  <wpt lat="1.5x" lon="2"/>
  <rte><rtept lat="-90" lon="-180"/><rtept lat="-90.0001" lon="0"/></rte>
  <trk><trkseg><trkpt lat=" +45.5 " lon="-0.5"><ele>1e300</ele></trkpt>
    <trkpt lat="0" lon="1e999"/><trkpt lat="0" lon="0"><ele>nan</ele></trkpt></trkseg></trk>
)");
    ASSERT_EQ(read.message, "");
    EXPECT_EQ(read.skipped, 10u);
    ASSERT_EQ(read.data.waypoints.size(), 1u);
    EXPECT_EQ(read.data.waypoints[0].name, "kept");
    EXPECT_EQ(read.data.routes.at(0).points.size(), 1u);
    ASSERT_EQ(read.data.tracks.at(0).segments.at(0).size(), 2u);
    EXPECT_EQ(read.data.tracks[0].segments[0][0].position.lat, 45.5);
    EXPECT_FALSE(read.data.tracks[0].segments[0][0].altitude) << "no place near the earth";
    EXPECT_FALSE(read.data.tracks[0].segments[0][1].altitude) << "not a number";
    EXPECT_EQ(GpxCounts(read),
              "1 waypoint, 1 route, 1 track; 10 points with impossible coordinates skipped");
}

struct TimeCase {
    const char* text;
    std::optional<int64_t> ms;
};

void PrintTo(const TimeCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

constexpr int64_t kNoon = 1796731200000; // 2026-12-08T12:00:00Z [ms]

const TimeCase kTimes[] = {
    {"2026-12-08T12:00:00Z", kNoon},
    {"2026-12-08T12:00:00", kNoon},
    {" 2026-12-08T12:00:00Z\n", kNoon},
    {"2026-12-08T12:00:00.5Z", kNoon + 500},
    {"2026-12-08T12:00:00.123456Z", kNoon + 123},
    {"2026-12-08T14:00:00+02:00", kNoon},
    {"2026-12-08T06:30:00-05:30", kNoon},
    {"1969-12-31T23:59:59Z", -1000},
    {"2024-02-29T00:00:00Z", 1709164800000},
    {"0000-01-01T00:00:00Z", -62167219200000},
    {"9999-12-31T23:59:59.999Z", 253402300799999},
    {"0000-01-01T00:00:00+00:01", std::nullopt},
    {"9999-12-31T23:59:59-00:01", std::nullopt},
    {"2026-02-29T00:00:00Z", std::nullopt},
    {"2026-12-08T24:00:00Z", std::nullopt},
    {"2026-12-08 12:00:00Z", std::nullopt},
    {"2026-12-08T12:00:00.Z", std::nullopt},
    {"2026-12-08T12:00:00+0200", std::nullopt},
    {"2026-12-08T12:00:00ZZ", std::nullopt},
    {"2026-12-08", std::nullopt},
    {"", std::nullopt},
};

class GpxTimes : public testing::TestWithParam<TimeCase> {};

// Catches zone offsets added the wrong way, fractions read as whole
// milliseconds, impossible dates normalised into real ones, and trailing junk.
TEST_P(GpxTimes, ParseAsUtcMilliseconds) {
    EXPECT_EQ(ParseGpxTime(GetParam().text), GetParam().ms);
}

INSTANTIATE_TEST_SUITE_P(Table, GpxTimes, testing::ValuesIn(kTimes));

// --- Hostile and broken files ---

std::string Repeat(const std::string& text, size_t count) {
    std::string out;
    out.reserve(text.size() * count);
    for (size_t i = 0; i < count; ++i)
        out += text;
    return out;
}

std::string BillionLaughs(const std::string& where) {
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        const std::string previous = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
        doc +=
            "<!ENTITY lol" + std::to_string(i) + " \"" + Repeat("&" + previous + ";", 10) + "\">\n";
    }
    return doc + "]>\n" + where;
}

struct HostileCase {
    const char* what;
    std::function<std::string()> bytes;
    const char* says; // a part of the message
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.what;
}

const HostileCase kHostile[] = {
    {"a tag left open", [] { return kHead + "<wpt lat=\"1\" lon=\"2\">\n</gpx>\n"; },
     "line 4: Opening and ending tag mismatch"},
    {"cut short", [] { return kHead + "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/>"; }, "line 3"},
    {"not XML", [] { return std::string("lat,lon\n1,2\n"); }, "line 1"},
    {"text not in its declared encoding",
     [] {
         return std::string("<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?>\n<gpx><wpt lat=\"1\" "
                            "lon=\"2\"><name>\x1b$B\xff\xfe</name></wpt></gpx>");
     },
     "line 2: input conversion failed"},
    {"only blanks", [] { return std::string("\n\n  "); }, "line 3: "},
    {"another format", [] { return std::string("<kml><Placemark/></kml>"); },
     "not GPX: its outermost element is <kml>"},
    {"a gpx of another namespace",
     [] {
         return std::string(
             "<gpx xmlns=\"http://www.example.com/\"><wpt lat=\"1\" lon=\"2\"/></gpx>");
     },
     "not GPX"},
    {"deep nesting",
     [] {
         return kHead + Repeat("<extensions>", 100000) + Repeat("</extensions>", 100000) + "</gpx>";
     },
     "nested more than 64 deep"},
    {"billion laughs in a name",
     [] { return BillionLaughs("<gpx><wpt lat=\"1\" lon=\"2\"><name>&lol9;</name></wpt></gpx>"); },
     "entit"},
    {"billion laughs in an attribute",
     [] { return BillionLaughs("<gpx><wpt lat=\"1\" lon=\"2\" x=\"&lol9;\"/></gpx>"); }, "entit"},
    {"an external entity",
     [] {
         return std::string("<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [<!ENTITY xxe SYSTEM "
                            "\"file:///etc/passwd\">]>\n<gpx><wpt lat=\"1\" lon=\"2\">"
                            "<name>&xxe;</name></wpt></gpx>");
     },
     "the entity &xxe; is used"},
    {"an external entity on the network",
     [] {
         return std::string("<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [<!ENTITY net SYSTEM "
                            "\"http://127.0.0.1:9/x\">]>\n<gpx><wpt lat=\"1\" lon=\"2\">"
                            "<name>&net;</name></wpt></gpx>");
     },
     "the entity &net; is used"},
    {"a name of 5000 bytes",
     [] {
         return kHead + "<wpt lat=\"1\" lon=\"2\"><name>" + std::string(5000, 'x') +
                "</name></wpt></gpx>";
     },
     "line 3: a text longer than 4096 bytes"},
    {"a million points beyond the limit",
     [] {
         return kHead + "<trk><trkseg>\n" + Repeat("<trkpt lat=\"1\" lon=\"2\"/>", 2000001) +
                "</trkseg></trk></gpx>";
     },
     "more than 1000000 points"},
    {"segments beyond the limit",
     [] { return kHead + "<trk>" + Repeat("<trkseg/>", 100001) + "</trk></gpx>"; },
     "more than 100000 routes, tracks and track segments"},
};

class HostileGpx : public testing::TestWithParam<HostileCase> {};

// Catches a hostile or broken file that hangs the reader, makes it grow
// without bound, loads something, or fails without saying which file and why.
TEST_P(HostileGpx, GivesAMessageAndNothingElseInTime) {
    const std::string bytes = GetParam().bytes();
    const auto start = std::chrono::steady_clock::now();
    const GpxRead read = ReadGpxBytes(bytes, "/maps/trip.gpx");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 10);
    EXPECT_EQ(read.message.rfind("Cannot read \"/maps/trip.gpx\": ", 0), 0u) << read.message;
    EXPECT_NE(read.message.find(GetParam().says), std::string::npos) << read.message;
    EXPECT_TRUE(read.data.waypoints.empty() && read.data.routes.empty() &&
                read.data.tracks.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, HostileGpx, testing::ValuesIn(kHostile));

// Catches a file read whatever its size (a huge one would take minutes), a
// device read for ever, and a failure that does not name the file.
TEST(GpxReader, RefusesFilesThatAreNoneOrTooLarge) {
    TempDir dir;
    const std::string huge = (dir.Path() / "huge.gpx").string();
    { std::ofstream(huge) << kHead; }
    ASSERT_EQ(truncate(huge.c_str(), (256ll << 20) + 1), 0);
    EXPECT_EQ(ReadGpxFile(huge).message, "Cannot read \"" + huge +
                                             "\": 268435457 bytes, more than the 268435456 a GPX "
                                             "file is read with");
    EXPECT_EQ(ReadGpxFile("/dev/zero").message, "Cannot read \"/dev/zero\": not a regular file");
    const std::string missing = (dir.Path() / "missing.gpx").string();
    EXPECT_EQ(ReadGpxFile(missing).message,
              "Cannot read \"" + missing + "\": No such file or directory");
    const std::string empty = (dir.Path() / "empty.gpx").string();
    std::ofstream{empty};
    EXPECT_EQ(ReadGpxFile(empty).message, "Cannot read \"" + empty + "\": the file is empty");
}

} // namespace
