#include "tests/test_support.h"
#include "track/track_journal.h"
#include "track/track_recorder.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TrackPoint Point(int64_t timeMs, double lat, double lon) {
    TrackPoint p;
    p.timeMs = timeMs;
    p.latitude = lat;
    p.longitude = lon;
    return p;
}

constexpr int64_t kDay = 1796688000000; // 2026-12-08T00:00:00Z [ms]

// A line must come back as the point it was written from; anything torn or
// foreign must be passed over rather than read as a wrong point.
TEST(JournalLine, RoundTripsAndRefusesWhatIsNoPoint) {
    TrackPoint p = Point(kDay + 5 * 3600000 + 41 * 60000 + 54250, 37.9421, -23.6465);
    p.altitude = 12.3;
    p.speedKnots = 5.2;
    p.sessionStart = true;
    const std::string line = FormatJournalLine(p);
    EXPECT_EQ(line, "2026-12-08T05:41:54.250Z,37.9421000,-23.6465000,12.3,5.2,S\n");
    const std::optional<TrackPoint> back = ParseJournalLine(line.substr(0, line.size() - 1));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->timeMs, p.timeMs);
    EXPECT_DOUBLE_EQ(back->latitude, 37.9421);
    EXPECT_DOUBLE_EQ(back->longitude, -23.6465);
    EXPECT_EQ(back->altitude, 12.3);
    EXPECT_TRUE(back->sessionStart);
    EXPECT_EQ(FormatJournalLine(Point(kDay, 1, 2)),
              "2026-12-08T00:00:00.000Z,1.0000000,2.0000000,,,\n");

    for (const char* bad :
         {"", "2026-12-08T05:41:54.250Z,37.94", "2026-12-08T05:41:54.250Z,37,23,,",
          "2026-12-08T05:41:54.250Z,97,23,,,", "2026-13-08T05:41:54.250Z,37,23,,,",
          "2026-12-08T05:41:54.250Z,37,23,x,,", "2026-12-08T05:41:54.250Z,nan,23,,,",
          "2026-12-08 05:41:54,37,23,,,", "2026-12-08T05:41:54.250Z,37,23,,,X"})
        EXPECT_FALSE(ParseJournalLine(bad)) << bad;
}

// The route's rule: a point only when the position text changed, never at
// 0/0, stamped with the RMC date and time or the GGA time on the RMC date.
TEST(TrackRecorder, JournalsEachMoveOnceWithItsUtcTime) {
    CTrackRecorder recorder;
    CGpsFix fix;
    EXPECT_FALSE(recorder.Update(fix, true, kDay)) << "no position yet";
    fix.m_strDate = "081226";
    fix.m_strTime = "054154.25";
    fix.m_strLatitude = "3756.5260";
    fix.m_strNorthSouth = "N";
    fix.m_strLongitude = "02338.7900";
    fix.m_strEastWest = "W";
    fix.m_strSpeedKnots = "5.2";
    std::optional<TrackPoint> p = recorder.Update(fix, true, 0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->timeMs, kDay + 5 * 3600000 + 41 * 60000 + 54250);
    EXPECT_NEAR(p->latitude, 37 + 56.526 / 60, 1e-9);
    EXPECT_NEAR(p->longitude, -(23 + 38.79 / 60), 1e-9);
    EXPECT_EQ(p->speedKnots, 5.2);
    EXPECT_FALSE(p->altitude);
    EXPECT_TRUE(p->sessionStart);
    EXPECT_FALSE(recorder.Update(fix, true, 0)) << "standing still";

    fix.m_strGgaTime = "054155";
    fix.m_strAltitude = "34.5";
    fix.m_strLatitude = "3756.5270";
    p = recorder.Update(fix, false, 0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->timeMs, kDay + 5 * 3600000 + 41 * 60000 + 55000) << "GGA time on the RMC date";
    EXPECT_EQ(p->altitude, 34.5);
    EXPECT_FALSE(p->sessionStart);

    fix.m_strLatitude = "0000.0000";
    fix.m_strLongitude = "00000.0000";
    EXPECT_FALSE(recorder.Update(fix, true, 0)) << "0/0 is no position";
}

// Points just after UTC midnight went on the day before: a GGA time was put
// on the last RMC's date. Without any date, a time just before midnight
// went on the system clock's next day.
TEST(TrackRecorder, TimesPastMidnightGoOnTheirOwnDay) {
    CTrackRecorder recorder;
    CGpsFix fix;
    fix.m_strNorthSouth = "N";
    fix.m_strLongitude = "02338.7900";
    fix.m_strEastWest = "E";
    int moves = 0;
    const auto stamp = [&](bool rmcTaken, int64_t systemUtcMs = 0) {
        fix.m_strLatitude = "37" + std::to_string(10 + ++moves) + ".0000";
        const std::optional<TrackPoint> p = recorder.Update(fix, rmcTaken, systemUtcMs);
        return p ? FormatUtcTime(p->timeMs) : std::string("no point");
    };
    fix.m_strDate = "081226";
    fix.m_strTime = "235959";
    EXPECT_EQ(stamp(true), "2026-12-08T23:59:59Z");
    fix.m_strGgaTime = "000000.5";
    EXPECT_EQ(stamp(false), "2026-12-09T00:00:00.500Z") << "a GGA past midnight, no RMC yet";
    fix.m_strGgaTime = "000001";
    EXPECT_EQ(stamp(false), "2026-12-09T00:00:01Z") << "and the GGA after it";
    fix.m_strDate = "091226";
    fix.m_strTime = "000002";
    EXPECT_EQ(stamp(true), "2026-12-09T00:00:02Z");
    fix.m_strGgaTime = "000001";
    EXPECT_EQ(stamp(false), "2026-12-09T00:00:01Z") << "a step back is no new day";

    const struct {
        int64_t systemUtcMs; // [ms]
        const char* ggaTime;
        const char* stamped;
    } undated[] = {
        {kDay + 5000, "235958", "2026-12-07T23:59:58Z"},
        {kDay - 1000, "000001", "2026-12-08T00:00:01Z"},
        {kDay + 43200000, "120000", "2026-12-08T12:00:00Z"},
    };
    fix.m_strDate.clear();
    for (const auto& c : undated) {
        recorder = CTrackRecorder();
        fix.m_strGgaTime = c.ggaTime;
        EXPECT_EQ(stamp(false, c.systemUtcMs), c.stamped) << "system clock at " << c.systemUtcMs;
    }
}

// One tenth-second epoch of a 5 Hz receiver: RMC and GGA in the order given
// ("RG" or "GR", as receivers differ), among the other sentences of a burst.
// GGA's position has a digit more, so that one taken without the other shows.
std::string Epoch(int tenths, const std::string& order) {
    const std::string time =
        "1235" + std::to_string(19 + tenths / 10) + "." + std::to_string(tenths % 10) + "0";
    const std::string minutes = "07." + std::to_string(100 + tenths);
    const std::string rmc =
        "$GPRMC," + time + ",A,48" + minutes + ",N,01131.000,E,022.4,084.4,230394,,*6A\r\n";
    const std::string gga = "$GPGGA," + time + ",48" + minutes + "5,N,01131.000,E,1,08,0.9," +
                            std::to_string(500 + tenths) + ".0,M,46.9,M,,*47\r\n";
    const std::string others = "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
                               "$GPVTG,084.4,T,,M,022.4,N,041.5,K*68\r\n";
    return order == "RG" ? rmc + others + gga : gga + others + rmc;
}

std::vector<std::string> Journalled(const std::vector<TrackPoint>& points) {
    std::vector<std::string> lines;
    for (const TrackPoint& p : points)
        lines.push_back(FormatJournalLine(p));
    return lines;
}

// A receiver faster than the tick leaves several epochs in one tick's bytes;
// only the newest reached the journal. A tick can also end inside an epoch
// or a sentence, which must neither lose a point nor give one twice.
TEST(TrackRecorder, EveryEpochOfEachTickIsJournalledOnce) {
    for (const std::string order : {"RG", "GR"}) {
        std::string second; // one second of a 5 Hz receiver
        for (int tenths = 0; tenths < 10; tenths += 2)
            second += Epoch(tenths, order);
        CTrackRecorder whole;
        const std::vector<std::string> points = Journalled(whole.Record(second, 0));
        ASSERT_EQ(points.size(), 5u) << order;
        EXPECT_EQ(points[0], "1994-03-23T12:35:19.000Z,48.1183417,11.5166667,500.0,22.4,S\n");
        EXPECT_EQ(points[4], "1994-03-23T12:35:19.800Z,48.1184750,11.5166667,508.0,22.4,\n");
        EXPECT_TRUE(Journalled(whole.Record("", 0)).empty()) << order << ": nothing more";

        for (size_t cut = 0; cut <= second.size(); ++cut) {
            CTrackRecorder ticks;
            std::vector<std::string> got = Journalled(ticks.Record(second.substr(0, cut), 0));
            for (const std::string& chunk : {second.substr(cut), std::string()})
                for (const std::string& line : Journalled(ticks.Record(chunk, 0)))
                    got.push_back(line);
            EXPECT_EQ(got, points) << order << " cut after " << cut << " bytes";
        }
    }
}

// Real receivers, 2 Hz ones among them: however the ticks cut a log (each
// at least one burst long), the journal gets the same points as from the
// whole log at once.
TEST(TrackRecorder, RealLogsGiveTheSamePointsWhereverTheTicksCutThem) {
    OSTREL_REQUIRE_TESTDATA("nmea");
    size_t halfSeconds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataDir() / "nmea")) {
        if (entry.path().extension() != ".log")
            continue;
        const std::string bytes = ReadFileBytes(entry.path());
        CTrackRecorder whole;
        std::vector<std::string> expected = Journalled(whole.Record(bytes, 0));
        for (const std::string& line : Journalled(whole.Record("", 0)))
            expected.push_back(line);
        for (const std::string& line : expected)
            halfSeconds += line.compare(19, 5, ".500Z") == 0;
        for (size_t size : {1000, 1499, 4096}) {
            CTrackRecorder ticks;
            std::vector<std::string> got;
            for (size_t at = 0; at < bytes.size() + size; at += size)
                for (const std::string& line :
                     Journalled(ticks.Record(at < bytes.size() ? bytes.substr(at, size) : "", 0)))
                    got.push_back(line);
            EXPECT_EQ(got, expected) << entry.path().filename() << " in ticks of " << size;
        }
    }
    EXPECT_GT(halfSeconds, 10u) << "the 2 Hz logs gave every epoch";
}

// A full disk must give one message, not one a second, and the journal must
// resume by itself once there is room again.
TEST(TrackJournal, AFullDiskIsReportedOnceAndWritingResumes) {
    TempDir dir;
    CTrackJournal journal((dir.Path() / "a/b").string());
    ASSERT_EQ(journal.Append(Point(kDay, 1, 2), 0), "");
    {
        FileSizeLimit limit(60);
        const std::string first = journal.Append(Point(kDay + 1000, 1, 3), 1);
        EXPECT_NE(first.find("Cannot write the track"), std::string::npos) << first;
        EXPECT_EQ(journal.Append(Point(kDay + 2000, 1, 4), 2), "");
    }
    EXPECT_EQ(journal.Append(Point(kDay + 3000, 1, 5), 3), "");
    EXPECT_EQ(journal.Append(Point(kDay + 86400000, 1, 6), 4), "") << "the next day's file";
    const std::vector<JournalDay> days = ListJournalDays(journal.Folder());
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].day, "2026-12-08");
    EXPECT_EQ(days[0].points, 2u) << "the torn line left by the full disk is passed over";
    EXPECT_EQ(days[0].lastMs, kDay + 3000);
    EXPECT_EQ(days[1].points, 1u);

    CTrackJournal unwritable("/proc/no/such/folder");
    EXPECT_NE(unwritable.Append(Point(kDay, 1, 2), 0), "");
}

// The export's list read every point of every day, hundreds of megabytes
// after a year of use; it must cost a fraction of that and still give each
// day's first and last point and count, whatever the file's ends hold.
TEST(TrackJournal, DaysAreListedFromTheEndsOfTheirFiles) {
    TempDir dir;
    const std::filesystem::path folder = dir.Path();
    const auto writeDay = [&](const std::string& day, const std::string& text) {
        std::ofstream(folder / (day + ".track"), std::ios::binary) << text;
        return (folder / (day + ".track")).string();
    };
    std::string text;
    size_t lines = 0;
    for (; lines < 40000; ++lines)
        text += FormatJournalLine(Point(kDay + int64_t(lines) * 500, 37, 23));
    const std::string longDay = writeDay("2026-12-08", text + "2026-12-08T23:5"); // torn by a kill
    // The last whole line is one torn, then ended when the journal reopened.
    writeDay("2026-12-09", FormatJournalLine(Point(kDay + 86400000, 1, 2)) +
                               FormatJournalLine(Point(kDay + 86401000, 1, 3)) +
                               "2026-12-09T00:00:0\n");
    writeDay("2026-12-10", "no point\n");

    std::vector<JournalDay> days = ListJournalDays(folder.string());
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].points, lines);
    EXPECT_EQ(days[0].firstMs, kDay);
    EXPECT_EQ(days[0].lastMs, kDay + int64_t(lines - 1) * 500);
    EXPECT_EQ(days[1].firstMs, kDay + 86400000);
    EXPECT_EQ(days[1].lastMs, kDay + 86401000);

    using Clock = std::chrono::steady_clock;
    Clock::duration listing = Clock::duration::max(), reading = Clock::duration::max();
    for (int round = 0; round < 3; ++round) {
        auto start = Clock::now();
        days = ListJournalDays(folder.string());
        listing = std::min(listing, Clock::now() - start);
        start = Clock::now();
        EXPECT_EQ(ReadJournalFile(longDay).size(), lines);
        reading = std::min(reading, Clock::now() - start);
    }
    EXPECT_LT(listing * 4, reading)
        << "listing took " << std::chrono::duration<double>(listing).count() << " s";
}

// Killed at any moment, the journal must stay readable and keep every
// point whose write had returned.
TEST(TrackJournal, KillsAtRandomMomentsLoseNoWrittenPoint) {
    TempDir dir;
    const std::string folder = dir.Path().string();
    std::mt19937 random(7);
    size_t acknowledged = 0;
    for (int round = 0; round < 150; ++round) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(pipeFds[0]);
            CTrackJournal journal(folder);
            for (int64_t i = 0;; ++i) {
                if (!journal.Append(Point(kDay + i, 10 + round * 0.1, 20 + double(i) / 1e6), i)
                         .empty())
                    _exit(1);
                if (write(pipeFds[1], "x", 1) != 1)
                    _exit(1);
            }
        }
        close(pipeFds[1]);
        usleep(useconds_t(std::uniform_int_distribution<int>(0, 3000)(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        char buffer[4096];
        for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            acknowledged += size_t(n);
        close(pipeFds[0]);
    }
    const std::vector<JournalDay> days = ListJournalDays(folder);
    ASSERT_EQ(days.size(), 1u);
    EXPECT_GE(days[0].points, acknowledged);
    EXPECT_LE(days[0].points, acknowledged + 150) << "at most one unacknowledged point a kill";
}

} // namespace
