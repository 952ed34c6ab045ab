// The program in monitor mode reading a real gpsd, an nmea-replay TCP server
// and broadcast datagrams, all on the loopback interface.

#include "gps/monitor.h"
#include "gps/nmea_parser.h"
#include "platform/serial_port.h"
#include "tests/gps/ostrel_run.h"
#include "tests/test_support.h"
#include "tools/nmea_replay/epochs.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A loopback port of `type` that nobody uses just now.
int FreePort(int type) {
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

// True when gpsd on `port` greets a client within `wait`: it listens some
// seconds before it answers.
bool Answers(int port, std::chrono::milliseconds wait = 0ms) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(port));
    char greeting[64] = {};
    pollfd ready{fd, POLLIN, 0};
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    poll(&ready, 1, int(wait.count())) > 0 &&
                    recv(fd, greeting, sizeof greeting - 1, 0) > 0 &&
                    std::strstr(greeting, "VERSION") != nullptr;
    close(fd);
    return ok;
}

std::string GpsdProgram() {
    for (const char* path : {"/usr/sbin/gpsd", "/usr/bin/gpsd", "/usr/local/sbin/gpsd"})
        if (access(path, X_OK) == 0)
            return path;
    return {};
}

// A gpsd of the test's own, in the foreground on `port`, reading `device`.
class Gpsd {
public:
    Gpsd(int port, const std::string& device) {
        std::vector<std::string> args = {GpsdProgram(),        "-N",  "-n", "-S",
                                         std::to_string(port), device};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; i < 300 && m_pid > 0 && !Answers(port, 100ms); ++i)
            std::this_thread::sleep_for(10ms);
    }
    ~Gpsd() { Kill(); }
    void Kill() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

#define REQUIRE_GPSD()                                                                             \
    do {                                                                                           \
        if (GpsdProgram().empty())                                                                 \
            GTEST_SKIP() << "gpsd is not installed";                                               \
    } while (0)

// Every fix the log's sentences can leave from its first epoch with a fix
// on, whichever of the first few sentences a reader begins with: a line the
// monitor prints that is not among them is not the log's.
std::set<std::string> ReachableFixes(const std::string& log) {
    const std::vector<std::string> epochs = nmea_replay::SplitEpochs(log);
    std::vector<std::string> sentences;
    for (size_t e = nmea_replay::FirstFixEpoch(epochs); e < epochs.size() && e < 80; ++e)
        for (size_t at = 0, end; (end = epochs[e].find('\n', at)) != std::string::npos;
             at = end + 1)
            sentences.push_back(epochs[e].substr(at, end - at));
    std::set<std::string> fixes;
    for (size_t first = 0; first < 40 && first < sentences.size(); ++first) {
        CGpsFix fix;
        for (size_t n = first; n < sentences.size(); ++n)
            if (ParseNmeaSentence(fix, sentences[n]))
                fixes.insert(FixToJson(fix));
    }
    return fixes;
}

const std::string kDemoTrack = OSTREL_DEMO_TRACK;

// Fixes through gpsd must be those the serial port gives for the same log.
TEST(GpsdSource, FirstFixWithinThreeSecondsAndTheSameFixesAsTheSerialPort) {
    REQUIRE_GPSD();
    const std::set<std::string> reachable = ReachableFixes(ReadFileBytes(kDemoTrack));
    ASSERT_GT(reachable.size(), 100u);
    Replay forGpsd({"--start-at-fix", "--baud", "115200", kDemoTrack});
    Replay forSerial({"--start-at-fix", "--baud", "115200", kDemoTrack});
    ASSERT_FALSE(forGpsd.name.empty());
    const int port = FreePort(SOCK_STREAM);
    Gpsd gpsd(port, forGpsd.name);
    ASSERT_TRUE(Answers(port, 1000ms)) << "gpsd does not answer";

    ProgramRun runs[2];
    Clock::duration firstFix[2] = {};
    std::vector<std::thread> threads;
    const std::string ports[2] = {"gpsd://127.0.0.1:" + std::to_string(port), forSerial.name};
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&, i] {
            const auto start = Clock::now();
            runs[i] =
                RunOstrel({"--monitor", "--port", ports[i], "--ticks", "8", "--baud", "115200"},
                          [&](pid_t, const std::string& out, const std::string&) {
                              if (firstFix[i] == Clock::duration{} && !out.empty())
                                  firstFix[i] = Clock::now() - start;
                          });
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(ports[i]);
        EXPECT_TRUE(ExitedWith(runs[i], 0)) << runs[i].err;
        EXPECT_NE(firstFix[i], Clock::duration{});
        EXPECT_LE(firstFix[i], 3s);
        const auto lines = Lines(runs[i].out);
        EXPECT_GE(lines.size(), 5u);
        for (const std::string& line : lines)
            EXPECT_EQ(reachable.count(line), 1u) << "a fix the log never gave: " << line;
        EXPECT_NE(lines.back().find("\"m_strLatitude\":\"37"), std::string::npos) << lines.back();
    }
    EXPECT_EQ(runs[0].err, "ostrel: " + ports[0] + ": receiving\n");
}

// A gpsd that dies must be noticed, and one that comes back read again
// without a restart of the program.
TEST(GpsdSource, AKilledGpsdIsReportedAndItsReturnIsRead) {
    REQUIRE_GPSD();
    Replay replay({"--loop", "--start-at-fix", "--baud", "115200", kDemoTrack});
    const int port = FreePort(SOCK_STREAM);
    auto gpsd = std::make_unique<Gpsd>(port, replay.name);
    ASSERT_TRUE(Answers(port, 1000ms));
    const std::string name = "gpsd://127.0.0.1:" + std::to_string(port);

    Clock::time_point killed{}, told{}, respawned{}, resumed{};
    std::atomic<Clock::rep> answering{0}; // when the new gpsd greets clients
    std::thread restart;
    size_t linesAtRestart = 0;
    // Each line on stderr and when it was first seen.
    std::vector<std::pair<std::string, Clock::time_point>> errLines;
    const ProgramRun run = RunOstrel(
        {"--monitor", "--port", name, "--ticks", "26"},
        [&](pid_t, const std::string& out, const std::string& err) {
            const auto now = Clock::now();
            const auto lines = Lines(err);
            for (size_t i = errLines.size(); i < lines.size(); ++i)
                errLines.emplace_back(lines[i], now);
            if (killed == Clock::time_point{} && !out.empty()) {
                gpsd->Kill();
                killed = now;
            }
            if (killed != Clock::time_point{} && told == Clock::time_point{} &&
                err.find("retrying in") != std::string::npos)
                told = now;
            // gpsd takes seconds to start: in a thread of its own, so that the
            // times the lines are seen stay true.
            if (told != Clock::time_point{} && respawned == Clock::time_point{} &&
                now - killed > 3500ms) {
                respawned = now;
                linesAtRestart = Lines(out).size();
                restart = std::thread([&] {
                    gpsd = std::make_unique<Gpsd>(port, replay.name);
                    answering = Clock::now().time_since_epoch().count();
                });
            }
            if (respawned != Clock::time_point{} && resumed == Clock::time_point{} &&
                Lines(out).size() > linesAtRestart)
                resumed = now;
        },
        40s);
    if (restart.joinable())
        restart.join();
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    ASSERT_NE(told, Clock::time_point{}) << run.err;
    EXPECT_LE(told - killed, 6s);
    ASSERT_NE(resumed, Clock::time_point{}) << "no fix after gpsd came back:\n" << run.err;
    // The first try after the restart: a retry told before it, due after it.
    // A try while gpsd was starting waits for its greeting.
    Clock::time_point nextTry{};
    for (const auto& [line, seen] : errLines) {
        const size_t at = line.find("retrying in ");
        if (at == std::string::npos)
            continue;
        const auto due = seen + std::chrono::seconds(std::atoi(line.c_str() + at + 12));
        if (due >= respawned) {
            nextTry = due;
            break;
        }
    }
    ASSERT_NE(nextTry, Clock::time_point{}) << run.err;
    const Clock::time_point ready{Clock::duration(answering.load())};
    EXPECT_LE(resumed - std::max(nextTry, ready), 3s) << run.err;
    EXPECT_EQ(errLines.front().first, "ostrel: " + name + ": receiving");
    EXPECT_EQ(errLines.back().first, "ostrel: " + name + ": receiving");
    EXPECT_EQ(errLines[1].first, "ostrel: " + name + ": closed by the other end; retrying in 1 s");
}

// A receiver that gpsd holds was "in use by another program", and the user
// was sent off to stop gpsd instead of reading it through gpsd.
TEST(GpsdSource, ProbeReadsADeviceInUseThroughGpsdAndPrintsTheCommandThatWorks) {
    REQUIRE_GPSD();
    TempDir dir;
    const std::string link = (dir.Path() / "gps").string();
    Replay replay({"--loop", "--start-at-fix", "--baud", "115200", "--link", link, kDemoTrack});
    const int port = FreePort(SOCK_STREAM);
    Gpsd gpsd(port, replay.name);
    ASSERT_TRUE(Answers(port, 1000ms));
    // As root nothing keeps the probe out but the lock of another reader.
    const int holder = SerialOpen(link);
    ASSERT_GE(holder, 0);
    const std::string name = "gpsd://127.0.0.1:" + std::to_string(port);
    const ProgramRun run = RunOstrel({"--probe", link, name}, {}, 30s);
    SerialClose(holder);
    EXPECT_TRUE(ExitedWith(run, 0)) << run.out << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0].substr(0, lines[0].find("  talkers")),
              link + "  in use by gpsd, which reads it");
    EXPECT_TRUE(lines[0].ends_with("  fix  read it through gpsd: --port " + name + replay.name))
        << lines[0];
    EXPECT_TRUE(lines[1].starts_with(name + "  gpsd ")) << lines[1];
    EXPECT_NE(lines[1].find("  devices " + replay.name + "  talkers GP"), std::string::npos)
        << lines[1];
    EXPECT_EQ(lines[2], "ostrel --port " + name + replay.name);

    const ProgramRun none =
        RunOstrel({"--probe", "gpsd://127.0.0.1:" + std::to_string(FreePort(SOCK_STREAM))});
    EXPECT_TRUE(ExitedWith(none, 1));
    EXPECT_NE(none.out.find("  no gpsd answers (Connection refused).\nNo receiver found.\n"),
              std::string::npos)
        << none.out;
}

TEST(TcpSource, AReplayOverTcpGivesTheLogsFixesWithinThreeSeconds) {
    const std::set<std::string> reachable = ReachableFixes(ReadFileBytes(kDemoTrack));
    Replay server({"--loop", "--start-at-fix", "--tcp", "0", kDemoTrack});
    ASSERT_EQ(server.name.rfind("tcp://localhost:", 0), 0u) << server.name;
    const auto start = Clock::now();
    Clock::duration firstFix{};
    const ProgramRun run = RunOstrel({"--monitor", "--port", server.name, "--ticks", "5"},
                                     [&](pid_t, const std::string& out, const std::string&) {
                                         if (firstFix == Clock::duration{} && !out.empty())
                                             firstFix = Clock::now() - start;
                                     });
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    EXPECT_NE(firstFix, Clock::duration{});
    EXPECT_LE(firstFix, 3s);
    const auto lines = Lines(run.out);
    EXPECT_GE(lines.size(), 3u);
    for (const std::string& line : lines)
        EXPECT_EQ(reachable.count(line), 1u) << "a fix the log never gave: " << line;
}

// Boat multiplexers broadcast each sentence once: a datagram lost, or taken
// from the other programs on the port, is a sentence lost.
TEST(UdpSource, SixHundredBroadcastsAtTenHertzReachUsAndAnotherListener) {
    TempDir dir;
    const std::string log = (dir.Path() / "600.nmea").string();
    {
        std::ofstream out(log, std::ios::binary);
        for (int n = 0; n < 600; ++n) {
            char line[96];
            std::snprintf(line, sizeof line,
                          "$GPRMC,%02d%02d%02d,A,4807.038,N,01131.000,E,0,0,230394,,*00\r\n",
                          12 + n / 3600, n / 60 % 60, n % 60);
            out << line;
        }
    }
    // The other program on the port: bound first, the way it would be.
    const int other = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(other, reinterpret_cast<sockaddr*>(&address), size), 0);
    getsockname(other, reinterpret_cast<sockaddr*>(&address), &size);
    const int port = ntohs(address.sin_port);
    std::atomic<int> otherReceived{0};
    std::atomic<bool> stop{false};
    std::thread listener([&] {
        char buffer[2048];
        while (!stop) {
            pollfd ready{other, POLLIN, 0};
            if (poll(&ready, 1, 50) > 0 && recv(other, buffer, sizeof buffer, 0) > 0)
                ++otherReceived;
        }
    });

    const std::string recorded = (dir.Path() / "read.nmea").string();
    std::unique_ptr<Replay> sender;
    const auto start = Clock::now();
    const ProgramRun run = RunOstrel(
        {"--monitor", "--port", "udp://:" + std::to_string(port), "--record", recorded, "--ticks",
         "66"},
        [&](pid_t, const std::string&, const std::string&) {
            // The monitor listens before its first tick.
            if (!sender && Clock::now() - start > 1500ms)
                sender = std::make_unique<Replay>(std::vector<std::string>{
                    "--speed", "10", "--udp", "127.255.255.255:" + std::to_string(port), log});
        },
        90s);
    stop = true;
    listener.join();
    close(other);
    EXPECT_TRUE(ExitedWith(run, 0)) << run.err;
    const std::string bytes = ReadFileBytes(recorded);
    size_t sentences = 0;
    for (size_t at = 0; (at = bytes.find("$GPRMC,", at)) != std::string::npos; ++at)
        ++sentences;
    EXPECT_GE(sentences, 599u);
    EXPECT_GE(otherReceived, 599);
}

} // namespace
