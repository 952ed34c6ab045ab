#include "gps/poll_tick.h"
#include "tests/gps/receiver_test_support.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <unistd.h>
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

std::string Rmc(const std::string& talker, const std::string& time) {
    return "$" + talker + "RMC," + time + ",A,5230.1234,N,01322.5678,E,005.2,270.5,150306,,*7B";
}

TEST(PollTickOtherTalkers, AGpSentenceWinsOverEarlierOnesOfOtherTalkers) {
    auto gps = MakeOfflineReceiver();
    const Cuts cuts = Tick(*gps, Rmc("GN", "1") + "\r\n" + Rmc("GP", "2") + "\r\n");
    EXPECT_EQ(cuts[0].second, Rmc("GP", "2") + "\r");
    EXPECT_EQ(gps->m_fix.m_strTime, "2");
}

// A receiver faster than the tick leaves several epochs in one chunk; the
// newest must win or the shown position falls behind.
TEST(PollTickOtherTalkers, TheNewestCompleteSentenceIsTaken) {
    struct Case {
        std::string chunk;
        std::string rmc; // the cut reported for RMC
    };
    const Case cases[] = {
        {Rmc("GP", "1") + "\r\n" + Rmc("GP", "2") + "\r\n", Rmc("GP", "2") + "\r"},
        // A cut last one does not count; the one before it does.
        {Rmc("GP", "1") + "\r\n" + Rmc("GP", "2") + "\r\n$GPRMC,3,A", Rmc("GP", "2") + "\r"},
        {Rmc("GP", "1") + "\r\n" + Rmc("GN", "2") + "\r\n", Rmc("GP", "1") + "\r"},
        {Rmc("GL", "1") + "\r\n" + Rmc("GN", "2") + "\r\n", Rmc("GN", "2") + "\r"},
        {Rmc("GN", "1") + "\r\n" + Rmc("GL", "2") + "\r\n" + Rmc("GN", "3") + "\n", Rmc("GN", "3")},
        {Rmc("BD", "1") + "\r\n" + Rmc("GA", "2") + "\r\n", Rmc("GA", "2") + "\r"},
        // An unfinished "$GP" sentence at the end does not count.
        {Rmc("GN", "1") + "\r\n" + Rmc("GP", "2"), Rmc("GN", "1") + "\r"},
        {Rmc("GQ", "1") + "\r\n$GPRMC,2,A", Rmc("GQ", "1") + "\r"},
        {Rmc("GN", "1"), ""},
        {Rmc("IN", "1") + "\r\n", ""},
        {"$GNRM" + Rmc("GI", "1").substr(6) + "\n" + Rmc("GI", "2") + "\n", Rmc("GI", "2")},
        {"\n" + Rmc("GP", "1") + "\n$GPRMC\n", "$GPRMC"},
    };
    for (const Case& c : cases) {
        auto gps = MakeOfflineReceiver();
        const Cuts cuts = Tick(*gps, c.chunk);
        ASSERT_EQ(cuts.size(), 3u);
        EXPECT_EQ(cuts[0], std::make_pair(NmeaType::Rmc, c.rmc)) << "chunk: " << c.chunk;
    }
}

TEST(PollTickOtherTalkers, EachTypeChoosesItsTalkerOnItsOwn) {
    auto gps = MakeOfflineReceiver();
    // As a GLONASS receiver sends it: RMC only from GN, GGA from GP and GL.
    const std::string gnRmc = Rmc("GN", "101530");
    const std::string glGga = "$GLGGA,101531,1111.0000,S,02222.0000,W,1,02,1.2,034.5,M,39.2,M,,*44";
    const std::string gaVtg = "$GAVTG,271.0,T,,M,006.0,N,011.1,K*68";
    const Cuts cuts = Tick(*gps, glGga + "\r\n" + kGga + "\r\n" + gnRmc + "\r\n" + gaVtg + "\r\n");
    const Cuts expected = {
        {NmeaType::Rmc, gnRmc + "\r"}, {NmeaType::Gga, kGga + "\r"}, {NmeaType::Vtg, gaVtg + "\r"}};
    EXPECT_EQ(cuts, expected);
    EXPECT_EQ(gps->m_fix.m_strDate, "150306");
    EXPECT_EQ(gps->m_fix.m_strLatitude, "5231.0000");
    EXPECT_EQ(gps->m_fix.m_strSpeedKmh, "011.1");
}

// ---- Reading the port ----

// A read that took nothing but zero bytes (which the port drops) ended the
// backlog, leaving what followed them for the next tick, a second later.
TEST(PollTickBacklog, ZeroBytesDoNotEndTheBacklog) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    {
        auto gps = MakeOfflineReceiver();
        ASSERT_TRUE(gps->OpenPort(name, 4800));
        const std::string bytes = std::string(1000, '\0') + "xyz";
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        pollfd input{g_hComm, POLLIN, 0};
        ASSERT_EQ(poll(&input, 1, 2000), 1);
        EXPECT_EQ(ReadBacklog(*gps), "xyz");
    }
    close(master);
    close(slave);
}

// The poll tick reads any byte source: here bytes the test feeds, without a
// terminal.
class FedSource : public CByteSource {
public:
    std::string Read(size_t limit) override {
        limitAsked = limit;
        return std::exchange(next, {});
    }
    bool Gone() override { return gone; }
    std::string next;
    bool gone = false;
    size_t limitAsked = 0;
};

// A tick that read only the designed 1000 bytes fell behind a fast
// receiver; a source that went was read on for ever.
TEST(PollTickSource, ReadsTheWholeBacklogAndDropsASourceThatWent) {
    auto gps = MakeOfflineReceiver();
    auto source = std::make_unique<FedSource>();
    FedSource& fed = *source;
    gps->m_pSource = std::move(source);
    fed.next = kRmc + "\r\n";
    PollResult result = PollTick(*gps);
    EXPECT_EQ(fed.limitAsked, kMaxBacklog);
    EXPECT_EQ(result.chunk, kRmc + "\r\n");
    EXPECT_EQ(result.change, PortChange::None);
    EXPECT_EQ(gps->m_fix.m_strTime, "101530");
    fed.gone = true; // what arrives before the end is still taken
    fed.next = kGga + "\r\n";
    result = PollTick(*gps);
    EXPECT_EQ(gps->m_fix.m_strGgaTime, "101531");
    EXPECT_EQ(result.change, PortChange::None);
    result = PollTick(*gps);
    EXPECT_EQ(result.change, PortChange::Gone);
    EXPECT_EQ(gps->m_pSource, nullptr);
    EXPECT_FALSE(gps->m_portLost) << "a source without a name cannot be looked for";
    EXPECT_EQ(PollTick(*gps).change, PortChange::None);
}

// A server that was down for a while and came back was then retried only
// every 30 s at its next loss, however long it had worked in between.
TEST(PollTickSource, ALostConnectionIsRetriedSoonerAfterAMinuteOfData) {
    const struct {
        std::chrono::seconds flowing; // how long data came before the loss
        const char* told;
    } cases[] = {
        {std::chrono::seconds(61), "tcp://boat:10110: lost; retrying in 1 s"},
        {std::chrono::seconds(30), "tcp://boat:10110: lost; retrying in 16 s"},
    };
    for (const auto& c : cases) {
        auto gps = MakeOfflineReceiver();
        auto source = std::make_unique<FedSource>();
        source->gone = true;
        gps->m_pSource = std::move(source);
        gps->m_bNetwork = true;
        gps->m_portName = "tcp://boat:10110";
        gps->m_retryDelay = std::chrono::seconds(8);
        gps->m_flowingSince = std::chrono::steady_clock::now() - c.flowing;
        EXPECT_EQ(PollTick(*gps).status, c.told);
        EXPECT_TRUE(gps->m_portLost);
    }
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

struct EpochLogCase {
    const char* file;
    std::vector<std::string> epochStarts; // lines that open a receiver's one-second burst
    FixFields fix;                        // hand-read from the file
};

const EpochLogCase kMultiGnssLogCases[] = {
    {"neo-m8n.log",
     {"$GNRMC"},
     {"180315", "171948.00", "171948.00", "4404.13902", "N", "12118.85371", "W", "0.059", "0.109",
      "", "", "", "1139.4", "-21.3"}},
    {"ublox-f9p-hpnmea.log",
     {"$GNRMC"},
     {"231221", "014508.00", "014508.00", "4404.1306036", "N", "12118.8447714", "W", "0.013",
      "0.024", "", "", "", "1130.215", "-21.350"}},
    {"furuno_gl_ga.log",
     {"$GNRMC"},
     {"310722", "120228.000", "120228.000", "5957.0062", "N", "01100.6429", "E", "0.00", "", "0.00",
      "", "", "168.9", "39.5"}},
    // RMC from GN, GGA from GP; the last fix is at 08:14:19, then only warnings.
    {"bu353-glonass.log",
     {"$GPGGA"},
     {"260514", "081419.000", "081419.000", "5541.1973", "N", "03737.2934", "E", "0.40", "",
      "342.94", "", "", "66.2", "14.5"}},
    // GN, GL and GP epochs; the GP ones at the end have no fix.
    {"ch-4711.log",
     {"$GNGGA", "$GLGGA", "$GPGGA"},
     {"051209", "135657.997", "135657.997", "5543.0328", "N", "03724.7204", "E", "00.79", "",
      "159.0", "", "", "165.6", "14.6"}},
    // GPGGA and GLGGA in every epoch, RMC as GNRMC.
    {"sirfstarv-nmea.log",
     {"$GPGGA"},
     {"050219", "021033.000", "021033.000", "4404.1356", "N", "12118.8555", "W", "0.00", "",
      "359.11", "", "", "1124.7", "-19.6"}},
    // GA beside GP in every epoch; lines end in CR CR LF.
    {"telit-pls83-w.log",
     {"$GPGGA"},
     {"040925", "043548.00", "043548.00", "4333.190127", "N", "00127.618382", "E", "0.0", "0.0", "",
      "1.7", "W", "250.7", "50.0"}},
};

TEST(PollTickOnLogs, MultiConstellationLogsGiveTheLastFixPerLineAndPerEpoch) {
    OSTREL_REQUIRE_TESTDATA("nmea");
    for (const EpochLogCase& c : kMultiGnssLogCases) {
        const auto path = TestDataDir() / "nmea" / c.file;
        if (!std::filesystem::exists(path))
            continue;
        auto perLine = MakeOfflineReceiver();
        auto perEpoch = MakeOfflineReceiver();
        std::istringstream lines(ReceiverBytes(path));
        std::string line, epoch;
        while (std::getline(lines, line)) {
            HandlePolledChunk(*perLine, line + '\n');
            for (const std::string& start : c.epochStarts)
                if (line.compare(0, start.size(), start) == 0) {
                    HandlePolledChunk(*perEpoch, epoch);
                    epoch.clear();
                }
            epoch += line + '\n';
        }
        HandlePolledChunk(*perEpoch, epoch);
        EXPECT_EQ(Fields(perLine->m_fix), c.fix) << c.file << " fed line by line";
        EXPECT_EQ(Fields(perEpoch->m_fix), c.fix) << c.file << " fed epoch by epoch";
    }
}

} // namespace
