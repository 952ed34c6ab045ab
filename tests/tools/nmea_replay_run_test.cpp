// Runs the real nmea-replay program on small logs and reads its device the
// way a receiver's reader does.

#include "tools/nmea_replay/epochs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Chunk {
    Clock::time_point at;
    std::string bytes;
};

// Waits for `fd` to become readable until `deadline`.
bool WaitReadable(int fd, Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLIN, 0};
    return left.count() > 0 && poll(&p, 1, static_cast<int>(left.count()) + 1) > 0;
}

// One run of nmea-replay with its standard output and error on pipes.
class ReplayRun {
public:
    ~ReplayRun() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_out, m_err})
            if (fd >= 0)
                close(fd);
    }

    bool Start(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        std::vector<std::string> all{NMEA_REPLAY_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        started = Clock::now();
        int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
        return rc == 0;
    }

    // The first line of standard output, without its line feed.
    std::string ReadLine(Clock::time_point deadline) {
        std::string line;
        char c;
        while (WaitReadable(m_out, deadline) && read(m_out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    // The exit status, or nothing when still running at `deadline`. A death
    // by a signal counts as 128 + the signal.
    std::optional<int> Wait(Clock::time_point deadline) {
        while (true) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (Clock::now() >= deadline)
                return std::nullopt;
            std::this_thread::sleep_for(5ms);
        }
    }

    std::string ReadErrors() {
        std::string text;
        char buffer[512];
        ssize_t n;
        while (WaitReadable(m_err, Clock::now() + 2s) &&
               (n = read(m_err, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }

    void Signal(int sig) { kill(m_pid, sig); }

    Clock::time_point started;

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

// Reads the device until `count` bytes came or `deadline` passed.
std::vector<Chunk> ReadDevice(int fd, std::size_t count, Clock::time_point deadline) {
    std::vector<Chunk> chunks;
    std::size_t total = 0;
    char buffer[4096];
    while (total < count && WaitReadable(fd, deadline)) {
        ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - total));
        if (n <= 0)
            break;
        chunks.push_back({Clock::now(), std::string(buffer, static_cast<std::size_t>(n))});
        total += static_cast<std::size_t>(n);
    }
    return chunks;
}

std::string Joined(const std::vector<Chunk>& chunks) {
    std::string all;
    for (const Chunk& c : chunks)
        all += c.bytes;
    return all;
}

// One cycle of a receiver: RMC, VTG and GGA, about 190 bytes.
std::string Cycle(int second) {
    char time[7];
    std::snprintf(time, sizeof time, "1200%02d", second);
    return std::string("$GPRMC,") + time +
           ",A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
           "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n"
           "$GPGGA," +
           time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
}

class NmeaReplayRun : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nmea-replay-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        if (m_device >= 0)
            close(m_device);
        fs::remove_all(m_dir);
    }

    // Writes a log of `cycles` receiver cycles under a comment header and
    // gives its path; `body` gets the bytes a receiver would send.
    std::string WriteLog(int cycles, std::string& body) {
        body.clear();
        for (int i = 0; i < cycles; ++i)
            body += Cycle(i);
        std::string path = (m_dir / "test.log").string();
        std::ofstream(path, std::ios::binary) << "# Name: test\n# Date: today\n" << body;
        return path;
    }

    // Starts the program and opens the device whose path it prints.
    void StartAndOpen(ReplayRun& run, const std::vector<std::string>& args) {
        ASSERT_TRUE(run.Start(args));
        m_path = run.ReadLine(Clock::now() + 10s);
        ASSERT_TRUE(m_path.starts_with("/dev/")) << "first line: " << m_path;
        m_device = open(m_path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(m_device, 0) << m_path << ": " << std::strerror(errno);
    }

    fs::path m_dir;
    std::string m_path;
    int m_device = -1;
};

TEST_F(NmeaReplayRun, SendsEachEpochInItsTurnAndEndsAfterTheLast) {
    std::string body;
    std::string log = WriteLog(6, body);
    std::string link = (m_dir / "gps").string();
    ReplayRun run;
    StartAndOpen(run, {"--speed", "20", "--baud", "115200", "--link", link, log});
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(fs::read_symlink(link), m_path);

    std::vector<Chunk> chunks = ReadDevice(m_device, body.size(), Clock::now() + 10s);
    ASSERT_EQ(Joined(chunks), body) << "the bytes must arrive whole and in order";
    // No epoch may come before its turn: epoch k starts k/20 s after the
    // start at the earliest (its first bytes may go kSendAhead early), and
    // the program started after `run.started`.
    std::size_t received = 0;
    for (const Chunk& c : chunks) {
        std::size_t cycleBytes = Cycle(0).size();
        std::size_t lastEpoch = (received + c.bytes.size() - 1) / cycleBytes;
        EXPECT_GE(c.at - run.started + nmea_replay::kSendAhead, lastEpoch * 50ms)
            << "epoch " << lastEpoch << " came early";
        received += c.bytes.size();
    }
    EXPECT_EQ(run.Wait(Clock::now() + 5s), 0);
    EXPECT_FALSE(fs::is_symlink(link)) << "the link must go with the program";
}

TEST_F(NmeaReplayRun, PacesTheBytesOfAnEpochAtTheBitRate) {
    std::string body;
    std::string log = WriteLog(1, body);
    ReplayRun run;
    StartAndOpen(run, {"--baud", "4800", log});
    ASSERT_FALSE(HasFailure());

    std::vector<Chunk> chunks = ReadDevice(m_device, body.size(), Clock::now() + 10s);
    ASSERT_EQ(Joined(chunks), body);
    // At 4800 bit/s the burst of about 190 bytes lasts about 0.4 s; at no
    // moment may more have arrived than the bit rate allows.
    std::size_t received = 0;
    for (const Chunk& c : chunks) {
        received += c.bytes.size();
        EXPECT_LE(received, nmea_replay::BytesDue(c.at - run.started + nmea_replay::kSendAhead,
                                                  4800, body.size()))
            << "bytes came faster than 4800 bit/s";
    }
    EXPECT_GT(chunks.size(), 1u) << "the epoch came in one piece";
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(Clock::now() + 5s), 0);
}

TEST_F(NmeaReplayRun, StartsAtTheFirstFixAndLoopsOverTheWholeLog) {
    std::string cold;
    for (int second = 0; second < 2; ++second) {
        char time[7];
        std::snprintf(time, sizeof time, "1159%02d", 58 + second);
        cold += std::string("$GPRMC,") + time + ",V,,,,,,,230394,,,N*00\r\n$GPGGA," + time +
                ",,,,,0,00,,,M,,M,,*00\r\n";
    }
    std::string fix = Cycle(0) + Cycle(1);
    std::string log = (m_dir / "cold.log").string();
    std::ofstream(log, std::ios::binary) << cold << fix;
    ReplayRun run;
    StartAndOpen(run, {"--start-at-fix", "--loop", "--speed", "20", "--baud", "115200", log});
    ASSERT_FALSE(HasFailure());

    std::string expected = fix + cold + fix;
    EXPECT_EQ(Joined(ReadDevice(m_device, expected.size(), Clock::now() + 10s)), expected)
        << "the first round begins at the fix, the next one at the cold start";
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(Clock::now() + 3s), 0);
}

class NmeaReplayStop : public NmeaReplayRun, public testing::WithParamInterface<int> {};

TEST_P(NmeaReplayStop, LoopsUntilStoppedThenRemovesItsLink) {
    std::string body;
    std::string log = WriteLog(2, body);
    std::string link = (m_dir / "gps").string();
    ReplayRun run;
    StartAndOpen(run, {"--loop", "--speed", "20", "--baud", "115200", "--link", link, log});
    ASSERT_FALSE(HasFailure());

    std::string expected = body + body + body;
    EXPECT_EQ(Joined(ReadDevice(m_device, expected.size(), Clock::now() + 10s)), expected);
    EXPECT_TRUE(fs::is_symlink(link));
    run.Signal(GetParam());
    EXPECT_EQ(run.Wait(Clock::now() + 3s), 0) << "signal " << GetParam();
    EXPECT_FALSE(fs::is_symlink(link));
}

INSTANTIATE_TEST_SUITE_P(Signals, NmeaReplayStop, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "Term" : "Interrupt");
                         });

// Far more than a pseudo-terminal buffers (some 18 kB): 40 cycles (7.6 kB)
// 100 times a second at 4 Mbit/s.
const std::vector<std::string> kFlood = {"--loop", "--speed", "100", "--baud", "4000000"};

TEST_F(NmeaReplayRun, StopsPromptlyWhileNobodyReads) {
    std::string body;
    std::vector<std::string> args = kFlood;
    args.push_back(WriteLog(40, body));
    ReplayRun run;
    ASSERT_TRUE(run.Start(args));
    ASSERT_TRUE(run.ReadLine(Clock::now() + 10s).starts_with("/dev/"));
    // Long enough for every buffer between us and the device to fill: a
    // write that then waited for a reader would hold the stop signal off.
    EXPECT_EQ(run.Wait(Clock::now() + 2s), std::nullopt) << "it must not end by itself";
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(Clock::now() + 2s), 0);
}

TEST_F(NmeaReplayRun, GoesOnWhenReadersComeAndGo) {
    std::string body;
    std::vector<std::string> args = kFlood;
    args.push_back(WriteLog(40, body));
    ReplayRun run;
    ASSERT_TRUE(run.Start(args));
    std::string path = run.ReadLine(Clock::now() + 10s);
    ASSERT_TRUE(path.starts_with("/dev/")) << path;
    EXPECT_EQ(run.Wait(Clock::now() + 500ms), std::nullopt);

    for (int reader = 0; reader < 3; ++reader) {
        int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << path;
        // What piled up comes first, and then the replay must still be going.
        EXPECT_FALSE(ReadDevice(fd, 1 << 20, Clock::now() + 200ms).empty()) << "reader " << reader;
        EXPECT_FALSE(ReadDevice(fd, 1000, Clock::now() + 5s).empty()) << "reader " << reader;
        close(fd);
        EXPECT_EQ(run.Wait(Clock::now() + 100ms), std::nullopt) << "a reader left: " << reader;
    }
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(Clock::now() + 3s), 0);
}

// Connects to the replay's TCP server on this machine.
int ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Every client gets each epoch whole, one that leaves must not stop the
// others, and the terminal is not made.
TEST_F(NmeaReplayRun, ServesEachEpochToEveryTcpClient) {
    std::string body;
    const std::string log = WriteLog(4, body);
    ReplayRun run;
    ASSERT_TRUE(run.Start({"--loop", "--speed", "10", "--tcp", "0", log}));
    const std::string name = run.ReadLine(Clock::now() + 10s);
    ASSERT_TRUE(name.starts_with("tcp://localhost:")) << name;
    const int port = std::atoi(name.c_str() + 16);
    int clients[3];
    for (int& fd : clients) {
        fd = ConnectTo(port);
        ASSERT_GE(fd, 0);
    }
    close(clients[2]); // goes at once
    for (int i = 0; i < 2; ++i) {
        const std::string got =
            Joined(ReadDevice(clients[i], 6 * Cycle(0).size(), Clock::now() + 5s));
        EXPECT_EQ(got.size(), 6 * Cycle(0).size()) << "client " << i;
        // Whole cycles, in the log's order, from the first one it was there for.
        const size_t first = got.find("$GPRMC");
        EXPECT_EQ(first, 0u) << got;
        EXPECT_NE((body + body + body).find(got), std::string::npos) << got;
        close(clients[i]);
    }
    EXPECT_EQ(run.Wait(Clock::now() + 300ms), std::nullopt) << "clients leaving ended it";
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(Clock::now() + 3s), 0);
}

TEST_F(NmeaReplayRun, SaysWhenTheBitRateCannotCarryTheSpeed) {
    std::string body;
    const std::string log = WriteLog(4, body);
    ReplayRun run;
    ASSERT_TRUE(run.Start({"--speed", "20", log}));
    EXPECT_TRUE(run.ReadLine(Clock::now() + 10s).starts_with("/dev/"));
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(Clock::now() + 3s), 0);
    const std::string errors = run.ReadErrors();
    EXPECT_TRUE(errors.starts_with("nmea-replay: 4800 bit/s cannot carry 20 epochs a second of "
                                   "this log: it sends about 2."))
        << errors;
    EXPECT_TRUE(errors.ends_with("; --baud 38400 would carry them\n")) << errors;
}

struct FailureCase {
    std::vector<std::string> args;
    int status;
    const char* message;
};

TEST_F(NmeaReplayRun, RefusesBadArgumentsUnreadableLogsAndFilesInTheWay) {
    std::string body;
    std::string log = WriteLog(1, body);
    std::string commentsOnly = (m_dir / "comments.log").string();
    std::ofstream(commentsOnly) << "# Name: nothing\n";
    std::string precious = (m_dir / "precious").string();
    std::ofstream(precious) << "keep";
    const FailureCase cases[] = {
        {{}, 2, "usage: nmea-replay"},
        {{"--baud", "fast", log}, 2, "usage: nmea-replay"},
        {{(m_dir / "missing.log").string()}, 1, "missing.log"},
        {{m_dir.string()}, 1, "cannot read"},
        {{commentsOnly}, 1, "holds no sentences"},
        {{"--link", (m_dir / "nodir" / "gps").string(), log}, 1, "nodir"},
        {{"--link", precious, log}, 1, "not a symbolic link"},
        {{"--tcp", "65536", log}, 2, "bad TCP port"},
        {{"--udp", "10110", log}, 2, "bad UDP address"},
    };
    for (const FailureCase& c : cases) {
        std::string args;
        for (const std::string& a : c.args)
            args += " " + a;
        ReplayRun run;
        ASSERT_TRUE(run.Start(c.args));
        EXPECT_EQ(run.Wait(Clock::now() + 10s), c.status) << args;
        EXPECT_NE(run.ReadErrors().find(c.message), std::string::npos) << args;
        EXPECT_EQ(run.ReadLine(Clock::now() + 1s), "") << "nothing on standard output:" << args;
    }
    std::ifstream in(precious);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

} // namespace
