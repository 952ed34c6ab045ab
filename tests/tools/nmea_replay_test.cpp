#include "tests/test_support.h"
#include "tools/nmea_replay/epochs.h"
#include "tools/nmea_replay/replay_options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <numeric>

using namespace nmea_replay;
using namespace std::chrono_literals;

namespace {

std::string Joined(const std::vector<std::string>& parts) {
    return std::accumulate(parts.begin(), parts.end(), std::string());
}

// The log as a port would carry it: every line but the '#' comments.
std::string WithoutComments(const std::string& log) {
    std::string body;
    for (std::size_t pos = 0; pos < log.size();) {
        std::size_t end = log.find('\n', pos);
        end = end == std::string::npos ? log.size() : end + 1;
        if (log[pos] != '#')
            body += log.substr(pos, end - pos);
        pos = end;
    }
    return body;
}

struct EpochCase {
    const char* what;
    std::string log;
    std::vector<std::string> epochs;
};

const std::string kRmc0 = "$GPRMC,120000,A,4807.038,N,01131.000,E,022.4,084.4,230394,,*1A\r\n";
const std::string kGga0 = "$GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
const std::string kVtg = "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n";
const std::string kGsv = "$GPGSV,1,1,01,07,79,048,42*4F\r\n";
const std::string kRmc1 = "$GPRMC,120001,A,4807.040,N,01131.001,E,022.4,084.4,230394,,*1B\r\n";
const std::string kGga1 = "$GPGGA,120001,4807.040,N,01131.001,E,1,08,0.9,545.4,M,46.9,M,,*46\r\n";

const std::vector<EpochCase> kEpochCases = {
    {"a new RMC time starts an epoch; VTG and GSV stay with theirs",
     kRmc0 + kVtg + kGga0 + kGsv + kRmc1 + kVtg + kGga1 + kGsv,
     {kRmc0 + kVtg + kGga0 + kGsv, kRmc1 + kVtg + kGga1 + kGsv}},
    {"a new GGA time starts an epoch too",
     kGga0 + kRmc0 + kGga1 + kRmc1,
     {kGga0 + kRmc0, kGga1 + kRmc1}},
    {"lines before the first timed sentence join the first epoch",
     kGsv + kRmc0 + kRmc1,
     {kGsv + kRmc0, kRmc1}},
    {"comment lines are dropped wherever they are",
     "# Name: test\n# Date: 2024\n" + kRmc0 + "#note\r\n" + kVtg + kRmc1,
     {kRmc0 + kVtg, kRmc1}},
    {"LF line ends",
     "$GPRMC,120000,A\n$GPVTG,1\n$GPRMC,120001,A\n",
     {"$GPRMC,120000,A\n$GPVTG,1\n", "$GPRMC,120001,A\n"}},
    {"CR CR LF is one line end",
     "$GPRMC,120000,A\r\r\n$GPVTG,1\r\r\n$GPRMC,120001,A\r\r\n",
     {"$GPRMC,120000,A\r\r\n$GPVTG,1\r\r\n", "$GPRMC,120001,A\r\r\n"}},
    {"a last line without a line end is kept",
     "$GPRMC,120000,A\n$GPGGA,120001,4",
     {"$GPRMC,120000,A\n", "$GPGGA,120001,4"}},
    {"no times: a repeated RMC starts the next epoch",
     "$GPRMC,,V,,,,,,,,,,N*53\n$GPGGA,,,,,,0,00,99.99,,,,,,*48\n$GPRMC,,V,,,,,,,,,,N*53\n",
     {"$GPRMC,,V,,,,,,,,,,N*53\n$GPGGA,,,,,,0,00,99.99,,,,,,*48\n", "$GPRMC,,V,,,,,,,,,,N*53\n"}},
    {"no RMC or GGA at all: one epoch",
     "$GPGSV,1,1,00*79\n$GPGLL,,,,,,V,N*64\n",
     {"$GPGSV,1,1,00*79\n$GPGLL,,,,,,V,N*64\n"}},
    {"twice a second: the second RMC of a second starts an epoch",
     "$GPRMC,152505.00,A\n$GPGGA,152505.00,5\n$GPRMC,152505.50,A\n$GPGGA,152505.50,5\n",
     {"$GPRMC,152505.00,A\n$GPGGA,152505.00,5\n", "$GPRMC,152505.50,A\n$GPGGA,152505.50,5\n"}},
    {"sentences of one cycle stamped apart within the second",
     "$GPGGA,014413.08,3728\n$GPRMC,014413.76,V\n$GPGGA,014421.08,3728\n",
     {"$GPGGA,014413.08,3728\n$GPRMC,014413.76,V\n", "$GPGGA,014421.08,3728\n"}},
    {"any talker; GGA of two talkers in one cycle",
     "$GNRMC,120000,A\n$GPGGA,120000,1\n$GLGGA,120000,1\n$INRMC,120001,A\n",
     {"$GNRMC,120000,A\n$GPGGA,120000,1\n$GLGGA,120000,1\n", "$INRMC,120001,A\n"}},
    {"time going backwards starts an epoch",
     "$INRMC,194124,A\n$INRMC,194111,A\n",
     {"$INRMC,194124,A\n", "$INRMC,194111,A\n"}},
    {"a garbled time field starts nothing",
     "$GPGGA,030129.00,2638\n$GPGGA,030130$GPGLL,2638\n$GPGGA,030131.00,2638\n",
     {"$GPGGA,030129.00,2638\n$GPGGA,030130$GPGLL,2638\n", "$GPGGA,030131.00,2638\n"}},
    {"other sentences naming RMC or GGA elsewhere start nothing",
     "$GPRMC,120000,A\n$PGRMC,120001\n$GPRMB,120002\n",
     {"$GPRMC,120000,A\n$PGRMC,120001\n$GPRMB,120002\n"}},
    {"a log of comments only", "# Name: x\n# Date: y\r\n", {}},
};

void PrintTo(const EpochCase& c, std::ostream* os) {
    *os << c.what;
}

class NmeaReplayEpochTable : public testing::TestWithParam<EpochCase> {};

TEST_P(NmeaReplayEpochTable, SplitsAsAReceiverSendsIt) {
    const EpochCase& c = GetParam();
    EXPECT_EQ(SplitEpochs(c.log), c.epochs) << c.what << "\nlog:\n" << c.log;
}

// Test names from the descriptions: "a new GGA time ..." -> ANewGGATime...
std::string CaseName(const testing::TestParamInfo<EpochCase>& info) {
    std::string name;
    bool wordStart = true;
    for (const char* p = info.param.what; *p != '\0'; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p)) == 0) {
            wordStart = true;
            continue;
        }
        name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(*p))) : *p;
        wordStart = false;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Logs, NmeaReplayEpochTable, testing::ValuesIn(kEpochCases), CaseName);

struct RealLog {
    const char* file;
    std::size_t epochs; // receiver cycles, counted by reading the log
    const char* why;
};

const RealLog kRealLogs[] = {
    {"bt451.log", 18, "4 cycles without time, 13 RMC cycles at 2 Hz, 1 GGA-only cycle at a splice"},
    {"eXplorist110.log", 9, "GGA at .08 and RMC at .76 of the same second"},
    {"telit-pls83-w.log", 10, "GP and GA talkers in each cycle; CR CR LF"},
    {"sirfstarv-nmea.log", 59, "GNRMC with GPGGA and GLGGA in each cycle"},
    {"triton400.log", 4, "GGA 030129.00 with RMC 030129.0; a garbled GGA"},
    {"hemi.log", 215, "GGA and VTG only, mostly without time"},
    {"humminbird-M37.log", 25, "RMC and GGA in alternate seconds; time goes back"},
    {"meinberg-gps164.log", 90, "RMC only"},
    {"neo-m8n.log", 23, "all GN talker"},
};

TEST(NmeaReplayRealLogs, EpochsAreTheReceiverCycles) {
    OSTREL_REQUIRE_TESTDATA("nmea");
    for (const RealLog& log : kRealLogs) {
        std::string bytes = ReadFileBytes(TestDataDir() / "nmea" / log.file);
        ASSERT_FALSE(bytes.empty()) << log.file;
        EXPECT_EQ(SplitEpochs(bytes).size(), log.epochs) << log.file << ": " << log.why;
    }
}

TEST(NmeaReplayRealLogs, EveryLogIsSentWholeAndInOrder) {
    OSTREL_REQUIRE_TESTDATA("nmea");
    int logs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataDir() / "nmea")) {
        if (entry.path().extension() != ".log")
            continue;
        ++logs;
        std::string bytes = ReadFileBytes(entry.path());
        std::vector<std::string> epochs = SplitEpochs(bytes);
        EXPECT_EQ(Joined(epochs), WithoutComments(bytes)) << entry.path();
        for (const std::string& epoch : epochs)
            EXPECT_FALSE(epoch.empty()) << entry.path();
    }
    EXPECT_GT(logs, 0);
}

TEST(NmeaReplayPacing, BytesGoOutAtTenBitsEach) {
    EXPECT_EQ(ByteOffset(0, 4800), 0ns);
    EXPECT_EQ(ByteOffset(480, 4800), 1s);
    EXPECT_EQ(ByteOffset(1, 4800), 2083334ns); // rounded up
    EXPECT_EQ(ByteOffset(11520, 115200), 1s);
    EXPECT_EQ(BytesDue(-1ns, 4800, 100), 0u);
    EXPECT_EQ(BytesDue(0ns, 4800, 100), 1u);
    EXPECT_EQ(BytesDue(1s, 4800, 1000), 481u);
    EXPECT_EQ(BytesDue(1s, 4800, 100), 100u);
    EXPECT_EQ(BytesDue(1s, 4800, 0), 0u);
}

// A byte is due exactly at its offset, not a nanosecond earlier; otherwise
// the sender wakes for a byte that is not yet due and waits again.
TEST(NmeaReplayPacing, BytesDueAgreesWithByteOffset) {
    for (int baud : {50, 4800, 9600, 38400, 115200, 921600, 4'000'000}) {
        for (std::size_t i = 1; i < 2000; i += 7) {
            std::chrono::nanoseconds at = ByteOffset(i, baud);
            EXPECT_EQ(BytesDue(at, baud, 5000), i + 1) << "baud " << baud << " byte " << i;
            EXPECT_EQ(BytesDue(at - 1ns, baud, 5000), i) << "baud " << baud << " byte " << i;
        }
    }
}

TEST(NmeaReplayPacing, EpochsFollowTheSpeedButNeverOverlap) {
    EXPECT_EQ(EpochPeriod(1), 1s);
    EXPECT_EQ(EpochPeriod(20), 50ms);
    EXPECT_EQ(EpochPeriod(0.5), 2s);
    EXPECT_EQ(EpochSpacing(1s, 400, 4800), 1s);
    // 600 bytes at 4800 bit/s take 1.25 s: the next epoch waits for the end.
    EXPECT_EQ(EpochSpacing(1s, 600, 4800), 1250ms);
    EXPECT_EQ(EpochSpacing(50ms, 600, 115200), 52083334ns);
}

// A replay asked for more epochs a second than its bit rate carries sent
// fewer without a word (about 2 instead of 20 at 4800 bit/s).
TEST(NmeaReplayPacing, SaysWhenTheBitRateCannotCarryTheSpeed) {
    const std::vector<std::string> epochs(5, std::string(190, 'x')); // 1900 bits each
    const struct {
        double speed;
        int baud;
        const char* warning;
    } cases[] = {
        {1, 4800, ""},
        {2.5, 4800, ""},
        {20, 4800,
         "4800 bit/s cannot carry 20 epochs a second of this log: it sends about 2.5; --baud "
         "38400 would carry them"},
        {20, 38400, ""},
        {100, 115200,
         "115200 bit/s cannot carry 100 epochs a second of this log: it sends about 61; --baud "
         "230400 would carry them"},
        {1000, 4800,
         "4800 bit/s cannot carry 1000 epochs a second of this log: it sends about 2.5; --baud "
         "3000000 would carry them"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpeedWarning(epochs, c.speed, c.baud), c.warning) << c.speed << " at " << c.baud;
    // One long epoch among short ones slows the whole replay only a little,
    // but the rate given must carry it too.
    std::vector<std::string> mixed(9, std::string(100, 'x'));
    mixed.push_back(std::string(1000, 'x'));
    EXPECT_EQ(CarryingBaud(mixed, 10), 115200);
    EXPECT_NEAR(ActualSpeed(mixed, 10, 4800), 10 / ((9 * 1000 + 10000) / 4800.0), 0.01);
    const std::vector<std::string> huge{std::string(100000, 'x')};
    EXPECT_EQ(CarryingBaud(huge, 1000), 0);
    EXPECT_TRUE(SpeedWarning(huge, 1000, 4800).ends_with("no bit rate carries them all"));
}

// A strict replay must give a reader at the wrong rate nothing that a probe
// could take for a sentence, and a reader at the right rate the log itself.
TEST(NmeaReplayGarble, OnlyTheSendingRateReadsTheLog) {
    const std::string line = "$GPRMC,120000,A,4807.038,N,01131.000,E,022.4,084.4,230394,,*6A\r\n";
    EXPECT_EQ(UartGarble(line, 9600, 9600), line);
    for (const auto& [send, read] : {std::pair{9600, 4800},
                                     {9600, 38400},
                                     {38400, 9600},
                                     {38400, 115200},
                                     {4800, 57600},
                                     {115200, 19200}}) {
        const std::string garbled = UartGarble(line + line, send, read);
        EXPECT_EQ(garbled.find("$GP"), std::string::npos) << send << " read at " << read;
        // About as many frames as the line's duration holds at the reader's rate.
        EXPECT_LE(garbled.size(), 2 * line.size() * read / send + 2) << send << " read at " << read;
        EXPECT_FALSE(garbled.empty()) << send << " read at " << read;
    }
}

TEST(NmeaReplayArguments, ReadsTheOptions) {
    std::string error;
    std::optional<ReplayOptions> o = ParseReplayArguments({"a.log"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->baud, 4800);
    EXPECT_EQ(o->speed, 1.0);
    EXPECT_FALSE(o->loop);
    EXPECT_FALSE(o->strictBaud);
    EXPECT_EQ(o->link, "");
    o = ParseReplayArguments({"--baud", "9600", "--speed", "2.5", "--loop", "a.log", "--link",
                              "/tmp/gps", "--strict-baud"},
                             error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->baud, 9600);
    EXPECT_EQ(o->speed, 2.5);
    EXPECT_TRUE(o->loop);
    EXPECT_TRUE(o->strictBaud);
    EXPECT_EQ(o->link, "/tmp/gps");
    EXPECT_EQ(o->logFile, "a.log");
    EXPECT_FALSE(o->startAtFix);
    o = ParseReplayArguments({"--start-at-fix", "a.log"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_TRUE(o->startAtFix);
    EXPECT_EQ(o->tcpPort, -1);
    EXPECT_EQ(o->udpPort, 0);
    o = ParseReplayArguments({"--tcp", "0", "--udp", "127.255.255.255:10110", "a.log"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->tcpPort, 0);
    EXPECT_EQ(o->udpHost, "127.255.255.255");
    EXPECT_EQ(o->udpPort, 10110);
    // An IPv6 address in brackets reached no host at all.
    o = ParseReplayArguments({"--udp", "[::1]:2000", "a.log"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->udpHost, "::1");
}

// A replay that starts on a cold epoch leaves the reader without a position;
// one that takes a sentence without a fix for one starts too early.
TEST(NmeaReplayStartAtFix, FindsTheFirstEpochWithAFix) {
    const std::string coldRmc = "$GPRMC,071430.00,V,,,,,,,150624,,,N*78\r\n";
    const std::string coldGga = "$GPGGA,071430.00,,,,,0,00,,,M,,M,,*49\r\n";
    const std::string gll = "$GPGLL,4916.45,N,12311.12,W,225444,A,A*5C\r\n";
    const struct {
        const char* what;
        std::vector<std::string> epochs;
        std::size_t first;
    } cases[] = {
        {"an RMC with status A", {coldRmc + coldGga, coldRmc + coldGga, kRmc0 + kGga0}, 2},
        {"a GGA with a fix beside an RMC without", {coldRmc + coldGga, coldRmc + kGga0}, 1},
        {"an A or a 1 in other sentences is no fix",
         {coldRmc + gll + kVtg, "$GPGGA,071430.00,,,,,,00,,,M,,M,,*49\r\n" + kGsv, kRmc1},
         2},
        {"another talker", {coldRmc, "$GNRMC,120000,A,4807.038,N\r\n"}, 1},
        {"no fix at all: the whole log", {coldRmc + coldGga, coldRmc}, 0},
        {"a fix at once", {kRmc0, coldRmc}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirstFixEpoch(c.epochs), c.first) << c.what;
}

TEST(NmeaReplayArguments, RefusesBadOnes) {
    const std::vector<std::string_view> cases[] = {
        {},
        {"a.log", "b.log"},
        {"a.log", "--baud"},
        {"--baud", "0", "a.log"},
        {"--baud", "4800x", "a.log"},
        {"--speed", "0", "a.log"},
        {"--speed", "nan", "a.log"},
        {"--lop", "a.log"},
        {"--tcp", "65536", "a.log"},
        {"--tcp", "-1", "a.log"},
        {"--udp", "10110", "a.log"},
        {"--udp", ":10110", "a.log"},
        {"--udp", "host:0", "a.log"},
        {"--udp", "host:port", "a.log"},
    };
    for (const auto& args : cases) {
        std::string text;
        for (std::string_view a : args)
            text += " '" + std::string(a) + "'";
        std::string error;
        EXPECT_FALSE(ParseReplayArguments(args, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

} // namespace
