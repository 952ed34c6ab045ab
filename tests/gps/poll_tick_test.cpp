#include "gps/poll_tick.h"
#include "tests/gps/receiver_test_support.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <sstream>
#include <utility>
#include <vector>

namespace {

const std::string kRmc = "$GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,E*7B";
const std::string kGga = "$GPGGA,101531,5231.0000,S,01323.0000,W,1,07,1.2,034.5,M,39.2,M,,*44";
const std::string kVtg = "$GPVTG,271.0,T,,M,006.0,N,011.1,K*68";

using Cuts = std::vector<std::pair<NmeaType, std::string>>;

Cuts Tick(CGpsReceiver& gps, const std::string& chunk) {
    Cuts cuts;
    HandlePolledChunk(gps, chunk,
                      [&](NmeaType type, const std::string& s) { cuts.emplace_back(type, s); });
    return cuts;
}

TEST(PollTick, CutsAndParsesRmcThenGgaThenVtg) {
    auto gps = MakeOfflineReceiver();
    // Received order is irrelevant: GGA's position and VTG's speed win.
    const std::string chunk =
        "3,M,,*44\r\n" + kVtg + "\r\n" + kGga + "\r\n" + kRmc + "\r\n" + "$GPGSA,A,3*39\r\n";
    const Cuts expected = {
        {NmeaType::Rmc, kRmc + "\r"}, {NmeaType::Gga, kGga + "\r"}, {NmeaType::Vtg, kVtg + "\r"}};
    EXPECT_EQ(Tick(*gps, chunk), expected);
    const FixFields fix = {"150306", "101530", "101531", "5231.0000", "S", "01323.0000", "W",
                           "006.0",  "011.1",  "271.0",  "",          "E", "034.5",      "39.2"};
    EXPECT_EQ(Fields(gps->m_fix), fix);
}

TEST(PollTick, ReportsMissingTypesAsEmptyAndStillParsesTheOthers) {
    auto gps = MakeOfflineReceiver();
    const Cuts cuts = Tick(*gps, kGga + "\r\n" + kVtg + "\r\n" + kRmc);
    const Cuts expected = {
        {NmeaType::Rmc, ""}, {NmeaType::Gga, kGga + "\r"}, {NmeaType::Vtg, kVtg + "\r"}};
    EXPECT_EQ(cuts, expected);
    EXPECT_EQ(gps->m_fix.m_strLatitude, "5231.0000");
    EXPECT_EQ(gps->m_fix.m_strTime, "");
}

TEST(PollTick, AWarningRmcIsReportedButChangesNothing) {
    auto gps = MakeOfflineReceiver();
    const std::string warning = "$GPRMC,101530,V,,,,,,,150306,,*36";
    const Cuts cuts = Tick(*gps, warning + "\r\n");
    ASSERT_EQ(cuts.size(), 3u);
    EXPECT_EQ(cuts[0], std::make_pair(NmeaType::Rmc, warning + "\r"));
    EXPECT_EQ(Fields(gps->m_fix), FixFields{});
}

TEST(PollTick, AnEmptyChunkDoesNothing) {
    auto gps = MakeOfflineReceiver();
    EXPECT_TRUE(Tick(*gps, "").empty());
}

TEST(PollTick, TruncatedSentencesDoNotStopLaterTicks) {
    auto gps = MakeOfflineReceiver();
    Tick(*gps, "$GPRMC\r\n$GPGGA,1,2\r\n$GPVTG\r\n");
    Tick(*gps, "$GPRMC,1\n$GPGGA\n");
    EXPECT_EQ(Fields(gps->m_fix), FixFields{});
    Tick(*gps, kRmc + "\r\n");
    EXPECT_EQ(gps->m_fix.m_strTime, "101530");
}

// ---- Real receiver logs ----

std::vector<std::filesystem::path> Logs() {
    std::vector<std::filesystem::path> logs;
    if (TestDataDir().empty())
        return logs;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataDir() / "nmea", ec))
        if (entry.path().extension() == ".log")
            logs.push_back(entry.path());
    std::sort(logs.begin(), logs.end());
    return logs;
}

// The log as a receiver sends it: without the "#" comment lines.
std::string ReceiverBytes(const std::filesystem::path& log) {
    std::istringstream in(ReadFileBytes(log));
    std::string line, bytes;
    while (std::getline(in, line))
        if (line.empty() || line[0] != '#')
            bytes += line + '\n';
    return bytes;
}

// True when `value` stands in `log` as a whole field: after a separator and
// before one, or ending the line.
bool IsFieldOf(const std::string& log, const std::string& value) {
    for (size_t at = log.find(value); at != std::string::npos; at = log.find(value, at + 1)) {
        const size_t end = at + value.size();
        const bool startsField = at > 0 && (log[at - 1] == ',' || log[at - 1] == '*');
        const bool endsField =
            end < log.size() && std::string(",*\r\n").find(log[end]) != std::string::npos;
        if (startsField && (endsField || value.back() == '\r'))
            return true;
    }
    return false;
}

TEST(PollTickOnLogs, ChunksOfAnySizeOnlyEverTakeWholeFieldsOfTheLog) {
    OSTREL_REQUIRE_TESTDATA("nmea");
    const auto logs = Logs();
    ASSERT_FALSE(logs.empty());
    const size_t sizes[] = {1, 7, 82, 83, 160, 333, 512, 999, 1000};
    for (const auto& log : logs) {
        const std::string bytes = ReadFileBytes(log); // comments included: they must be harmless
        for (size_t first = 0; first < std::size(sizes); ++first) {
            auto gps = MakeOfflineReceiver();
            for (size_t at = 0, i = first; at < bytes.size(); ++i) {
                const size_t size = sizes[i % std::size(sizes)];
                HandlePolledChunk(*gps, bytes.substr(at, size));
                at += size;
            }
            for (const std::string& value : Fields(gps->m_fix)) {
                EXPECT_TRUE(value.empty() || IsFieldOf(bytes, value))
                    << log.filename() << " chunks from size " << sizes[first]
                    << ": the fix holds \"" << value << "\"";
            }
        }
    }
}

struct LogCase {
    const char* file;
    FixFields fix; // hand-read: each field from the last accepted sentence carrying it
};

// Fed one line per poll, as a receiver that pauses after every sentence.
const LogCase kLogCases[] = {
    {"bt451.log",
     {"091209", "143308.50", "143308.00", "5546.81633", "N", "02334.70079", "E", "32.273", "59.802",
      "221.54", "", "", "127.1", "26.9"}},
    {"garmin48.log",
     {"060601", "225334", "225334", "4527.458", "S", "16709.165", "E", "000.0", "", "094.5",
      "024.1", "E", "12.5", "1.1"}},
    {"haicom-305N.log",
     {"080407", "095415.787", "095415.787", "2712.6404", "S", "15303.1200", "E", "2.11", "4.07",
      "96.86", "", "", "3.5", "42.2"}},
    // No checksums, no RMC.
    {"hp58534a.log",
     {"", "", "222450", "3349.0337", "S", "01843.9282", "E", "000.0", "0000.1", "318.0", "341.9",
      "", "000115.4", "0033.3"}},
    // Every GGA has an empty quality field, which counts as a fix.
    {"firefly-II.log",
     {"080710", "010009.00", "010009.00", "3715.6609", "N", "12157.6699", "W", "0.0", "", "0.0", "",
      "", "85.4", "-30.1"}},
    {"triton400.log",
     {"010413", "030133.0", "030133.00", "2638.1753", "N", "08011.3903", "W", "0.00", "", "219.6",
      "", "", "00020", "-0028"}},
    {"april6_2019.log",
     {"220899", "000231.42", "", "4829.0005", "N", "00022.0016", "E", "0.16", "", "212.28", "", "",
      "", ""}},
    {"hemi.log",
     {"", "", "194100.00", "4221.8235522", "N", "07101.9438007", "W", "0.03", "0.06", "196.33",
      "210.95", "", "6.914", "-33.057"}},
    // Never a fix: only VTG, which has no validity field, gets through.
    {"skytraq.log", {"", "", "", "", "", "", "", "000.0", "000.0", "000.0", "", "", "", ""}},
    {"tn200.log", {}},
    {"holux-gm-210.log", {}},
    // Talkers other than GP are not read.
    {"humminbird-M37.log", {}},
};

TEST(PollTickOnLogs, LinePerPollGivesTheLastAcceptedValues) {
    OSTREL_REQUIRE_TESTDATA("nmea");
    for (const LogCase& c : kLogCases) {
        const auto path = TestDataDir() / "nmea" / c.file;
        if (!std::filesystem::exists(path))
            continue;
        auto gps = MakeOfflineReceiver();
        std::istringstream lines(ReceiverBytes(path));
        std::string line;
        while (std::getline(lines, line))
            HandlePolledChunk(*gps, line + '\n');
        EXPECT_EQ(Fields(gps->m_fix), c.fix) << c.file;
    }
}

} // namespace
