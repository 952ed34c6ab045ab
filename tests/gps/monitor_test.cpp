#include "gps/monitor.h"
#include "gps/nmea_parser.h"
#include "platform/serial_port.h"
#include "tests/gps/ostrel_run.h"
#include "tests/gps/receiver_test_support.h"
#include "tests/test_support.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

TEST(MonitorJson, ListsTheFieldsInRecordOrderWithEscapes) {
    CGpsFix fix;
    SetFields(fix,
              {"d", "t", "g", "la", "ns", "lo", "ew", "kn", "km", "co", "ma", "me", "al", "ge"});
    EXPECT_EQ(FixToJson(fix),
              R"({"m_strDate":"d","m_strTime":"t","m_strGgaTime":"g","m_strLatitude":"la",)"
              R"("m_strNorthSouth":"ns","m_strLongitude":"lo","m_strEastWest":"ew",)"
              R"("m_strSpeedKnots":"kn","m_strSpeedKmh":"km","m_strCourse":"co",)"
              R"("m_strMagnetic":"ma","m_strMagneticEW":"me","m_strAltitude":"al",)"
              R"("m_strGeoidSeparation":"ge"})");

    const std::pair<std::string, std::string> escapes[] = {
        {"", R"("")"},
        {" ~09.5", R"(" ~09.5")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"E\r", R"("E\u000d")"},
        {std::string("\0\x01\x1f\x7f", 4), R"("\u0000\u0001\u001f\u007f")"},
        {"\xb0\xff\x80", R"("\u00b0\u00ff\u0080")"},
    };
    for (const auto& [value, json] : escapes) {
        fix.m_strDate = value;
        const std::string line = FixToJson(fix);
        EXPECT_EQ(line.substr(0, line.find(",\"m_strTime\"")), "{\"m_strDate\":" + json)
            << "value: " << value;
    }
}

// ---- The ostrel program in monitor mode ----

// A receiver on a pseudo-terminal that sends epoch(0), epoch(1), ... one
// burst every `period`.
class FakeReceiver {
public:
    explicit FakeReceiver(std::string burst)
        : FakeReceiver([burst](int) { return burst; }, std::chrono::milliseconds(30)) {}
    FakeReceiver(std::function<std::string(int)> epoch, std::chrono::milliseconds period) {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            return;
        path = name;
        sender_ = std::thread([this, epoch = std::move(epoch), period] {
            auto due = Clock::now();
            for (int n = 0; !stop_; ++n) {
                const std::string burst = epoch(n);
                if (write(master_, burst.data(), burst.size()) < 0)
                    break;
                sent = n + 1;
                due += period;
                std::this_thread::sleep_until(due);
            }
        });
    }
    ~FakeReceiver() {
        stop_ = true;
        if (sender_.joinable())
            sender_.join();
        if (master_ >= 0)
            close(master_);
        if (slave_ >= 0)
            close(slave_);
    }
    std::string path;
    std::atomic<int> sent{0}; // bursts written whole

private:
    int master_ = -1;
    int slave_ = -1;
    std::atomic<bool> stop_{false};
    std::thread sender_;
};

const std::string kBurst =
    "$GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,002.1,\xb0\"*7B\r\n"
    "$GPGSV,3,1,10*78\r\n"
    "$GPGGA,101531,5231.0000,N,01323.0000,E,1,07,1.2,034.5,M,39.2,M,,*44\r\n"
    "$GPVTG,271.0,T,\\,M,006.0,N,011.1,K*68\r\n";
const std::string kBurstJson =
    R"({"m_strDate":"150306","m_strTime":"101530","m_strGgaTime":"101531",)"
    R"("m_strLatitude":"5231.0000","m_strNorthSouth":"N","m_strLongitude":"01323.0000",)"
    R"("m_strEastWest":"E","m_strSpeedKnots":"006.0","m_strSpeedKmh":"011.1",)"
    R"("m_strCourse":"271.0","m_strMagnetic":"\\","m_strMagneticEW":"\u00b0\"",)"
    R"("m_strAltitude":"034.5","m_strGeoidSeparation":"39.2"})";

TEST(MonitorProgram, PrintsTheFixAfterEveryTickThatReadSomething) {
    FakeReceiver receiver(kBurst);
    ASSERT_FALSE(receiver.path.empty());
    const ProgramRun run = RunOstrel({"--monitor", "--port", receiver.path, "--baud", "9600",
                                      "--ticks", "8", "--interval-ms", "100"});
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    const auto lines = Lines(run.out);
    EXPECT_GE(lines.size(), 1u);
    EXPECT_LE(lines.size(), 8u);
    for (const std::string& line : lines)
        EXPECT_EQ(line, kBurstJson);
    EXPECT_EQ(run.out.back(), '\n');
}

// --goto must add the geodesic distance and bearing to each line, as geod
// gives them, not a spherical or a swapped-axis value:
// echo "52.5166666667 13.3833333333 52.52 13.405" | geod -I +ellps=WGS84 -f %.6f
// gives 75.836800 -104.146007 1516.828.
TEST(MonitorProgram, AddsTheDistanceAndBearingToATarget) {
    FakeReceiver receiver(kBurst);
    ASSERT_FALSE(receiver.path.empty());
    const ProgramRun run =
        RunOstrel({"--monitor", "--port", receiver.path, "--baud", "9600", "--ticks", "4",
                   "--interval-ms", "100", "--goto", "13.405,52.52"});
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_GE(lines.size(), 1u);
    std::string json = kBurstJson;
    json.insert(json.size() - 1, R"(,"goto_distance_m":1516.8,"goto_bearing_deg":75.84)");
    EXPECT_EQ(lines.front(), json);
}

// Epoch n: an RMC whose time field is n, then satellite sentences up to
// `size` bytes.
std::string NumberedEpoch(int n, size_t size) {
    std::string epoch =
        "$GPRMC," + std::to_string(n) + ",A,5230.1234,N,01322.5678,E,0,0,150306,,*7B\r\n";
    while (epoch.size() + 70 <= size)
        epoch += "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n";
    return epoch;
}

// Ticks that read 1000 bytes a second and took the oldest sentence showed
// such receivers ever further behind.
TEST(MonitorProgram, ShowsTheNewestEpochOfFastReceivers) {
    struct Case {
        const char* name;
        std::chrono::milliseconds period;
        size_t size; // [byte] an epoch
    };
    const Case cases[] = {{"2000 bytes a second", std::chrono::milliseconds(1000), 2000},
                          {"10 Hz", std::chrono::milliseconds(100), 600}};
    std::vector<std::thread> runs;
    for (const Case& c : cases) {
        runs.emplace_back([c] {
            FakeReceiver receiver([&](int n) { return NumberedEpoch(n, c.size); }, c.period);
            ASSERT_FALSE(receiver.path.empty());
            size_t seen = 0;
            int lines = 0;
            const auto start = Clock::now();
            const ProgramRun run = RunOstrel(
                {"--monitor", "--port", receiver.path, "--ticks", "21", "--interval-ms", "1000"},
                [&](pid_t, const std::string& out, const std::string&) {
                    for (size_t end; (end = out.find('\n', seen)) != std::string::npos;
                         seen = end + 1) {
                        const size_t at = out.find("\"m_strTime\":\"", seen) + 13;
                        const int shown = std::atoi(out.c_str() + at);
                        const auto behind = (receiver.sent - 1 - shown) * c.period;
                        EXPECT_LE(behind, std::chrono::milliseconds(1500))
                            << c.name << ": line " << lines;
                        ++lines;
                    }
                },
                std::chrono::seconds(40));
            EXPECT_TRUE(ExitedWith(run, 0)) << c.name << ": " << run.err;
            EXPECT_GE(Clock::now() - start, std::chrono::seconds(20)) << c.name;
            EXPECT_GE(lines, 18) << c.name;
        });
    }
    for (std::thread& run : runs)
        run.join();
}

TEST(MonitorProgram, CountsTicksThatReadNothing) {
    FakeReceiver silent("");
    ASSERT_FALSE(silent.path.empty());
    const auto start = Clock::now();
    const ProgramRun run =
        RunOstrel({"--monitor", "--port", silent.path, "--ticks", "3", "--interval-ms", "50"});
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
}

TEST(MonitorProgram, StopsCleanlyOnInterruptAndTerminate) {
    for (const int signal : {SIGINT, SIGTERM}) {
        FakeReceiver receiver(kBurst);
        ASSERT_FALSE(receiver.path.empty());
        bool sent = false;
        const ProgramRun run =
            RunOstrel({"--monitor", "--port", receiver.path, "--interval-ms", "50"},
                      [&](pid_t pid, const std::string& out, const std::string&) {
                          if (!sent && !out.empty()) {
                              kill(pid, signal);
                              sent = true;
                          }
                      });
        EXPECT_TRUE(sent);
        EXPECT_TRUE(ExitedWith(run, 0)) << "signal " << signal << ": " << run.err;
    }
}

// A device path that may yet appear is looked for; a name that can never
// be opened (no device, a malformed network address) ends the monitor.
TEST(MonitorProgram, SaysWhichPortCouldNotBeOpened) {
    const struct {
        const char* port;
        int status;
        const char* after; // on stderr after the failure message
    } cases[] = {
        {"/nonexistent/gps", 0,
         "ostrel: looking for the receiver on \"/nonexistent/gps\" every second\n"},
        {"nodevice", 1, ""},
        {"tcp://localhost", 1, ""},
        {"udp://[::1:10110", 1, ""},
    };
    for (const auto& c : cases) {
        const ProgramRun run =
            RunOstrel({"--monitor", "--port", c.port, "--baud", "9600", "--ticks", "2"});
        EXPECT_TRUE(ExitedWith(run, c.status)) << c.port;
        EXPECT_EQ(run.err, "Can not open Com Port \"" + std::string(c.port) +
                               "\" with Baud Rate 9600.\n" + c.after);
        EXPECT_EQ(run.out, "");
    }
}

TEST(MonitorProgram, RefusesBadOptionsWithUsage) {
    const std::vector<std::string> cases[] = {
        {"--monitor", "--baud"},
        {"--monitor", "--baud", "fast"},
        {"--monitor", "--ticks", "-1"},
        {"--monitor", "--interval-ms", "0"},
        {"--ticks", "3"},
        {"--monitor", "--frobnicate"},
    };
    for (const auto& args : cases) {
        const ProgramRun run = RunOstrel(args);
        EXPECT_TRUE(ExitedWith(run, 2)) << args.back();
        EXPECT_NE(run.err.find("Usage: ostrel"), std::string::npos) << args.back();
        EXPECT_EQ(run.out, "");
    }
}

// ---- Finding the receiver, and getting it back ----

// Receiver cycles with correct checksums, as the probe demands.
std::string ChecksummedLog() {
    std::string log;
    for (int second = 0; second < 10; ++second) {
        for (std::string body :
             {"GPRMC,1200" + std::to_string(10 + second) + ",A,4807.038,N,01131.000,E,0,0,230394,,",
              "GPGGA,1200" + std::to_string(10 + second) +
                  ",4807.038,N,01131.000,E,1,08,0.9,545,M,47,M,,"}) {
            unsigned sum = 0;
            for (char c : body)
                sum ^= static_cast<unsigned char>(c);
            char tail[8];
            std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
            log += "$" + body + tail;
        }
    }
    return log;
}

class ReceiverOnReplay : public testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/ostrel-probe-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        log_ = dir_ + "/test.log";
        std::ofstream(log_, std::ios::binary) << ChecksummedLog();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_, log_;
};

// A wrong rate gives silence or garbage with no hint: the probe must find
// the right one, and the command it prints must use it.
TEST_F(ReceiverOnReplay, ProbeFindsEachReceiverAtItsRate) {
    Replay slow(log_, dir_ + "/slow", {"--strict-baud", "--baud", "9600"});
    Replay fast(log_, dir_ + "/fast", {"--strict-baud", "--baud", "38400", "--speed", "5"});
    const ProgramRun run =
        RunOstrel({"--probe", dir_ + "/slow", dir_ + "/fast"}, {}, std::chrono::seconds(30));
    EXPECT_TRUE(ExitedWith(run, 0)) << run.out << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], dir_ + "/slow  9600 bit/s  talkers GP  sentences GGA RMC  1 epochs/s  fix");
    EXPECT_EQ(lines[1].substr(0, lines[1].find("  talkers")), dir_ + "/fast  38400 bit/s");
    EXPECT_NE(lines[1].find("  5 epochs/s  fix"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "ostrel --port " + dir_ + "/slow --baud 9600");
}

TEST_F(ReceiverOnReplay, ProbeSaysWhyADeviceCannotBeUsed) {
    Replay held(log_, dir_ + "/held", {"--baud", "4800"});
    const int holder = SerialOpen(dir_ + "/held");
    ASSERT_GE(holder, 0);
    const ProgramRun run = RunOstrel({"--probe", dir_ + "/held", log_});
    SerialClose(holder);
    EXPECT_TRUE(ExitedWith(run, 1)) << run.out << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], dir_ + "/held  in use by another program. A GPS service (gpsd) often "
                               "takes USB receivers; stop it with \"sudo systemctl stop "
                               "gpsd.socket gpsd.service\" and try again.");
    EXPECT_EQ(lines[1], log_ + "  not a serial device.");
    EXPECT_EQ(lines[2], "No receiver found.");
}

// An unplugged USB receiver used to stay away until the user reopened it.
TEST_F(ReceiverOnReplay, MonitorGetsTheReceiverBackBehindTheSameLink) {
    const std::string link = dir_ + "/gps";
    auto replay = std::make_unique<Replay>(log_, link, std::vector<std::string>{"--speed", "5"});
    Clock::time_point restarted{};
    Clock::time_point flowing{};
    size_t linesBefore = 0;
    const ProgramRun run = RunOstrel(
        {"--monitor", "--port", link, "--ticks", "60", "--interval-ms", "100"},
        [&](pid_t, const std::string& out, const std::string&) {
            if (!out.empty() && restarted == Clock::time_point{}) {
                replay.reset(); // the receiver goes: its device with it
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                replay =
                    std::make_unique<Replay>(log_, link, std::vector<std::string>{"--speed", "5"});
                restarted = Clock::now();
                linesBefore = Lines(out).size();
            } else if (restarted != Clock::time_point{} && flowing == Clock::time_point{} &&
                       Lines(out).size() > linesBefore) {
                flowing = Clock::now();
            }
        });
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    ASSERT_NE(flowing, Clock::time_point{}) << "no data after the receiver came back";
    EXPECT_LT(flowing - restarted, std::chrono::seconds(2));
    EXPECT_EQ(run.err, "ostrel: the receiver on \"" + link +
                           "\" is gone; looking for it every second\n"
                           "ostrel: the receiver on \"" +
                           link + "\" is back\n");
}

// A receiver plugged in after the start used to stay unread until the user
// opened its port again from Properties.
TEST_F(ReceiverOnReplay, MonitorReadsAReceiverPluggedInAfterTheStart) {
    const std::string link = dir_ + "/later";
    std::unique_ptr<Replay> replay;
    const auto start = Clock::now();
    Clock::time_point plugged{}, flowing{};
    const ProgramRun run =
        RunOstrel({"--monitor", "--port", link, "--ticks", "40", "--interval-ms", "100"},
                  [&](pid_t, const std::string& out, const std::string&) {
                      if (!replay && Clock::now() - start > std::chrono::milliseconds(1500)) {
                          replay = std::make_unique<Replay>(
                              log_, link, std::vector<std::string>{"--speed", "5"});
                          plugged = Clock::now();
                      }
                      if (!out.empty() && flowing == Clock::time_point{})
                          flowing = Clock::now();
                  });
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    ASSERT_NE(flowing, Clock::time_point{}) << "never read: " << run.err;
    EXPECT_LT(flowing - plugged, std::chrono::seconds(2));
    EXPECT_EQ(run.err, "Can not open Com Port \"" + link + "\" with Baud Rate 4800.\n" +
                           "ostrel: looking for the receiver on \"" + link +
                           "\" every second\nostrel: the receiver on \"" + link + "\" is back\n");
}

// A recording that drops, doubles or reorders bytes replays as a different
// trip: every byte read must be written, in order, and the recording must
// give the monitor fixes the receiver's own sentences can give. Which of
// them a tick catches depends on timing, so the fixes are checked against
// every state the sentences can leave the fix in, not against one run.
TEST_F(ReceiverOnReplay, RecordingReplaysAsTheSameFixes) {
    const std::string log = ChecksummedLog();
    std::vector<std::string> sentences;
    for (size_t at = 0, end; (end = log.find('\n', at)) != std::string::npos; at = end + 1)
        sentences.push_back(log.substr(at, end - at - 1));
    std::set<std::string> reachable;
    for (size_t first = 0; first < sentences.size(); ++first) {
        CGpsFix fix;
        for (size_t n = 0; n < 2 * sentences.size(); ++n) {
            ASSERT_TRUE(ParseNmeaSentence(fix, sentences[(first + n) % sentences.size()]));
            reachable.insert(FixToJson(fix));
        }
    }

    const std::string recorded = dir_ + "/trip.nmea";
    auto monitorFixes = [&](const std::string& source, const std::string& link,
                            std::vector<std::string> extra) {
        Replay replay(source, link, {"--speed", "5"});
        std::vector<std::string> args = {"--monitor", "--port",        link, "--ticks",
                                         "12",        "--interval-ms", "200"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProgramRun run = RunOstrel(args);
        EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
        return Lines(run.out);
    };
    for (const std::string& fix : monitorFixes(log_, dir_ + "/gps", {"--record", recorded}))
        EXPECT_EQ(reachable.count(fix), 1u) << "a fix the receiver never gave: " << fix;
    const std::string bytes = ReadFileBytes(recorded);
    ASSERT_GT(bytes.size(), 200u);
    EXPECT_NE((log + log + log).find(bytes), std::string::npos)
        << "not a run of what the receiver sent:\n"
        << bytes;

    const auto replayed = monitorFixes(recorded, dir_ + "/again", {});
    EXPECT_GE(replayed.size(), 3u);
    for (const std::string& fix : replayed)
        EXPECT_EQ(reachable.count(fix), 1u) << "a fix the recording never held: " << fix;
}

} // namespace
