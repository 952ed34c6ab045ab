#include "tests/test_support.h"
#include "track/marks.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kMorning = 1796708514000; // 2026-12-08T05:41:54Z [ms]

// Catches marks that do not read back (name, place, height), a second mark
// that replaces the first, and a missing folder or file taken as a failure.
TEST(Marks, AppendedMarksReadBackInOrder) {
    TempDir dir;
    const std::string path = (dir.Path() / "data/ostrel/marks.gpx").string();
    const GpxRead none = ReadMarks(path);
    EXPECT_EQ(none.message, "");
    EXPECT_TRUE(none.data.waypoints.empty());

    ASSERT_EQ(AppendMark(path, MarkOfFix({23.6465123, 37.9421987}, 12.3, kMorning), "Ostrel"), "");
    ASSERT_EQ(
        AppendMark(path, MarkOfFix({-0.1278, 51.5074}, std::nullopt, kMorning + 250), "Ostrel"),
        "");
    const GpxRead read = ReadMarks(path);
    ASSERT_EQ(read.message, "");
    ASSERT_EQ(read.data.waypoints.size(), 2u);
    const GpxWaypoint& first = read.data.waypoints[0];
    EXPECT_EQ(first.name, "2026-12-08T05:41:54Z");
    EXPECT_NEAR(first.position.lon, 23.6465123, 1e-9);
    EXPECT_NEAR(first.position.lat, 37.9421987, 1e-9);
    EXPECT_EQ(first.altitude, 12.3);
    EXPECT_EQ(first.timeMs, kMorning);
    EXPECT_EQ(read.data.waypoints[1].name, "2026-12-08T05:41:54.250Z");
    EXPECT_FALSE(read.data.waypoints[1].altitude);
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

// Catches a marks file that a failed or refused write cuts short or loses:
// one that cannot be read, one holding a track (which rewriting would drop),
// and a full disk all leave it as it was.
TEST(Marks, AFileThatCannotTakeTheMarkStaysAsItWas) {
    TempDir dir;
    const std::string path = (dir.Path() / "marks.gpx").string();
    const GpxWaypoint mark = MarkOfFix({1, 2}, std::nullopt, kMorning);

    std::ofstream(path) << "<gpx><wpt lat=\"1\" lon=\"2\">";
    std::string before = ReadFileBytes(path);
    std::string message = AppendMark(path, mark, "Ostrel");
    EXPECT_EQ(message.rfind("Cannot read \"" + path + "\": line 1", 0), 0u) << message;
    EXPECT_EQ(ReadFileBytes(path), before);

    std::ofstream(path) << "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>";
    before = ReadFileBytes(path);
    message = AppendMark(path, mark, "Ostrel");
    EXPECT_NE(message.find("holds routes, tracks or unreadable points"), std::string::npos)
        << message;
    EXPECT_EQ(ReadFileBytes(path), before);

    std::filesystem::remove(path);
    ASSERT_EQ(AppendMark(path, mark, "Ostrel"), "");
    before = ReadFileBytes(path);
    {
        FileSizeLimit limit(before.size() + 10);
        message = AppendMark(path, mark, "Ostrel");
    }
    EXPECT_EQ(message.rfind("Cannot write \"" + path + ".part\"", 0), 0u) << message;
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

} // namespace
