// The network byte sources through the receiver and the poll tick, against
// small servers of the test's own on the loopback interface.

#include "gps/byte_source.h"
#include "gps/poll_tick.h"
#include "tests/gps/receiver_test_support.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(SourceNames, ReadEachFormAndLeavePlainNamesToTheSerialPort) {
    const struct {
        const char* name;
        SourceKind kind;
        const char* host;
        int port;
        const char* device;
    } cases[] = {
        {"/dev/ttyUSB0", SourceKind::Serial, "", 0, ""},
        {"COM1", SourceKind::Serial, "", 0, ""},
        {"/tmp/odd:name", SourceKind::Serial, "", 0, ""},
        {"gpsd://localhost", SourceKind::Gpsd, "localhost", 2947, ""},
        {"gpsd://", SourceKind::Gpsd, "localhost", 2947, ""},
        {"gpsd://10.0.0.2:3000", SourceKind::Gpsd, "10.0.0.2", 3000, ""},
        {"gpsd://host/dev/ttyUSB0", SourceKind::Gpsd, "host", 2947, "/dev/ttyUSB0"},
        {"gpsd://[::1]:2948/dev/serial/by-id/usb-x:y", SourceKind::Gpsd, "::1", 2948,
         "/dev/serial/by-id/usb-x:y"},
        {"tcp://boat.local:10110", SourceKind::Tcp, "boat.local", 10110, ""},
        {"tcp://[fe80::1]:2000", SourceKind::Tcp, "fe80::1", 2000, ""},
        {"udp://", SourceKind::Udp, "", 10110, ""},
        {"udp://:2000", SourceKind::Udp, "", 2000, ""},
        {"udp://0.0.0.0", SourceKind::Udp, "0.0.0.0", 10110, ""},
        {"udp://192.168.1.5:65535", SourceKind::Udp, "192.168.1.5", 65535, ""},
        // Malformed network names must not fall through to a serial device.
        {"tcp://host", SourceKind::Invalid, "", 0, ""},
        {"tcp://:10110", SourceKind::Invalid, "", 0, ""},
        {"tcp://host:0", SourceKind::Invalid, "", 0, ""},
        {"tcp://host:65536", SourceKind::Invalid, "", 0, ""},
        {"tcp://host:12x", SourceKind::Invalid, "", 0, ""},
        {"tcp://host:", SourceKind::Invalid, "", 0, ""},
        {"tcp://::1:2000", SourceKind::Invalid, "", 0, ""},
        {"udp://[::1:2000", SourceKind::Invalid, "", 0, ""},
        {"udp://[::1]x", SourceKind::Invalid, "", 0, ""},
        {"http://host:80", SourceKind::Invalid, "", 0, ""},
    };
    for (const auto& c : cases) {
        const SourceAddress address = ParseSourceName(c.name);
        EXPECT_EQ(address.kind, c.kind) << c.name;
        EXPECT_EQ(address.host, c.host) << c.name;
        EXPECT_EQ(address.port, c.port) << c.name;
        EXPECT_EQ(address.device, c.device) << c.name;
    }
}

// Hammering a server that is down, or waiting minutes for one that is back.
TEST(SourceRetry, DoublesToThirtySecondsAndStartsOverAfterAGoodMinute) {
    std::chrono::seconds delay{0};
    std::vector<long> delays;
    for (int i = 0; i < 8; ++i)
        delays.push_back((delay = NextRetryDelay(delay, false)).count());
    EXPECT_EQ(delays, (std::vector<long>{1, 2, 4, 8, 16, 30, 30, 30}));
    EXPECT_EQ(NextRetryDelay(30s, true), 1s);
}

// A TCP server on a free loopback port, run by a thread: `serve` gets each
// accepted connection in turn until the test ends.
class LoopbackServer {
public:
    explicit LoopbackServer(std::function<void(int fd, const std::atomic<bool>& stop)> serve) {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(m_listener, 4) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port = ntohs(address.sin_port);
        m_thread = std::thread([this, serve = std::move(serve)] {
            while (!m_stop) {
                pollfd ready{m_listener, POLLIN, 0};
                if (poll(&ready, 1, 20) <= 0)
                    continue;
                const int fd = accept(m_listener, nullptr, nullptr);
                if (fd < 0)
                    continue;
                ++accepted;
                serve(fd, m_stop);
                close(fd);
            }
        });
    }
    ~LoopbackServer() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        close(m_listener);
    }
    int port = 0;
    std::atomic<int> accepted{0};

private:
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

const std::string kRmc = "$GPRMC,101530,A,5230.1234,N,01322.5678,E,005.2,270.5,150306,,*7B\r\n";

// A receiver reading `name`, polled as the main frame polls it.
struct PolledReceiver {
    explicit PolledReceiver(const std::string& name) : gps(MakeOfflineReceiver()) {
        opened = gps->OpenPort(name, 4800);
    }
    // Ticks every `period` until `done` or `limit`; the statuses told.
    std::vector<std::string> TickUntil(const std::function<bool(const PollResult&)>& done,
                                       std::chrono::milliseconds limit,
                                       std::chrono::milliseconds period = 100ms) {
        std::vector<std::string> told;
        for (const auto end = Clock::now() + limit; Clock::now() < end;) {
            const PollResult result = PollTick(*gps);
            if (!result.status.empty())
                told.push_back(result.status);
            if (done(result))
                break;
            std::this_thread::sleep_for(period);
        }
        return told;
    }
    std::unique_ptr<CGpsReceiver> gps;
    bool opened = false;
};

// A half-open connection (a server that hangs, a network that drops without
// a word) is never noticed without the watchdog.
TEST(TcpSource, AServerThatFallsSilentIsReconnectedWithinTheWatchdogAndOneSecond) {
    std::atomic<int> connection{0};
    Clock::time_point silentSince{};
    LoopbackServer server([&](int fd, const std::atomic<bool>& stop) {
        if (++connection == 1) {
            (void)send(fd, kRmc.data(), kRmc.size(), MSG_NOSIGNAL);
            silentSince = Clock::now();
        }
        // Holds the connection open, silent, until the receiver lets it go.
        char byte;
        while (!stop && connection == 1) {
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, 10) > 0 && recv(fd, &byte, 1, 0) <= 0)
                break;
        }
    });
    PolledReceiver receiver("tcp://localhost:" + std::to_string(server.port));
    Clock::time_point reconnected{};
    const auto told = receiver.TickUntil(
        [&](const PollResult&) {
            if (server.accepted >= 2 && reconnected == Clock::time_point{})
                reconnected = Clock::now();
            return reconnected != Clock::time_point{};
        },
        10s);
    ASSERT_NE(reconnected, Clock::time_point{}) << "never reconnected";
    // A tick (100 ms) of slack each for the watchdog and the retry, and some
    // for a busy machine.
    EXPECT_LE(reconnected - silentSince, 6s + 500ms);
    EXPECT_GE(reconnected - silentSince, 5s);
    const std::string name = "tcp://localhost:" + std::to_string(server.port);
    ASSERT_GE(told.size(), 3u);
    EXPECT_EQ(std::vector(told.begin(), told.begin() + 3),
              (std::vector<std::string>{name + ": receiving", name + ": no data",
                                        name + ": no data for 5 s; retrying in 1 s"}));
}

TEST(TcpSource, ARefusedConnectionIsTriedAgainLaterAndLater) {
    // A port nobody listens on: one that was free a moment ago.
    int port = 0;
    {
        LoopbackServer gone([](int, const std::atomic<bool>&) {});
        port = gone.port;
    }
    const std::string name = "tcp://127.0.0.1:" + std::to_string(port);
    PolledReceiver receiver(name);
    ASSERT_TRUE(receiver.opened) << "a network source opens even when its server is down";
    std::vector<std::string> told;
    for (int tick = 0; tick < 12; ++tick) {
        const PollResult result = PollTick(*receiver.gps);
        if (!result.status.empty())
            told.push_back(result.status);
        receiver.gps->m_nextReopen = Clock::now(); // no waiting in a test
    }
    ASSERT_GE(told.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(told[i],
                  name + ": Connection refused; retrying in " + std::to_string(1 << i) + " s");
}

TEST(GpsdSource, AsksForTheDevicesNmeaAndDropsItsOwnLines) {
    std::string request;
    LoopbackServer gpsd([&](int fd, const std::atomic<bool>& stop) {
        const std::string greeting = R"({"class":"VERSION","release":"3.22"})"
                                     "\r\n";
        (void)send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        char buffer[512];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        request.assign(buffer, size_t(std::max<ssize_t>(n, 0)));
        const std::string lines = R"({"class":"DEVICES","devices":[{"path":"/dev/x"}]})"
                                  "\r\n" +
                                  kRmc + R"({"class":"TPV","lat":"$GPRMC,1,A"})" + "\n" + kRmc;
        (void)send(fd, lines.data(), lines.size(), MSG_NOSIGNAL);
        while (!stop)
            std::this_thread::sleep_for(10ms);
    });
    PolledReceiver receiver("gpsd://127.0.0.1:" + std::to_string(gpsd.port) + "/dev/x\"y");
    std::string read;
    receiver.TickUntil(
        [&](const PollResult& r) {
            read += r.chunk;
            return read.size() >= 2 * kRmc.size();
        },
        3s);
    EXPECT_EQ(request, R"(?WATCH={"enable":true,"nmea":true,"device":"/dev/x\"y"})"
                       "\n");
    EXPECT_EQ(read, kRmc + kRmc);
}

// Each source kind fed what a broken or hostile sender sends: no tick may
// take long, read more than the backlog allows, or keep anything back.
struct HostileCase {
    const char* what;
    const char* scheme; // "tcp", "gpsd" or "udp"
    std::function<std::string(int n)> burst;
};

std::string Noise(int n) {
    std::string bytes(8192, '\0');
    uint32_t state = 2463534242u + uint32_t(n);
    for (char& c : bytes) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        c = char(state);
    }
    return bytes;
}

const HostileCase kHostileCases[] = {
    {"an endless line", "tcp", [](int) { return std::string(16384, 'A'); }},
    {"binary noise", "tcp", Noise},
    {"nothing but JSON", "gpsd",
     [](int) { return R"({"class":"TPV","mode":3,"lat":1.5})" + std::string("\n"); }},
    {"a JSON line that never ends", "gpsd",
     [](int n) { return n == 0 ? std::string("{\"class\":") : std::string(16384, '$'); }},
    {"datagrams of noise", "udp", Noise},
    {"datagrams of one endless line", "udp", [](int) { return std::string(30000, '$'); }},
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.scheme << ": " << c.what;
}

class HostileSender : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileSender, NeverStallsATickNorHoldsMoreThanTheBacklog) {
    const HostileCase& c = GetParam();
    std::atomic<bool> stop{false};
    std::unique_ptr<LoopbackServer> server;
    std::thread udpSender;
    std::string name;
    if (std::string(c.scheme) == "udp") {
        const int probe = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0);
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
        close(probe);
        name = "udp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        udpSender = std::thread([&, address] {
            const int fd = socket(AF_INET, SOCK_DGRAM, 0);
            for (int n = 0; !stop; ++n) {
                const std::string burst = c.burst(n);
                (void)sendto(fd, burst.data(), burst.size(), 0,
                             reinterpret_cast<const sockaddr*>(&address), sizeof address);
                if (n % 4 == 0)
                    std::this_thread::sleep_for(1ms);
            }
            close(fd);
        });
    } else {
        server = std::make_unique<LoopbackServer>([&](int fd, const std::atomic<bool>& end) {
            for (int n = 0; !end && !stop; ++n) {
                const std::string burst = c.burst(n);
                if (send(fd, burst.data(), burst.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN)
                    break;
            }
        });
        name = std::string(c.scheme) + "://127.0.0.1:" + std::to_string(server->port);
    }
    PolledReceiver receiver(name);
    size_t read = 0;
    for (int tick = 0; tick < 20; ++tick) {
        const auto start = Clock::now();
        const PollResult result = PollTick(*receiver.gps);
        // Far below the poll period, even for a sanitised build on a busy machine.
        EXPECT_LT(Clock::now() - start, 500ms) << c.what << ": tick " << tick;
        EXPECT_LE(result.chunk.size(), kMaxBacklog + 65536) << c.what;
        if (std::string(c.scheme) == "gpsd") {
            EXPECT_EQ(result.chunk.find('{'), std::string::npos) << c.what;
        }
        read += result.chunk.size();
        std::this_thread::sleep_for(20ms);
    }
    stop = true;
    if (udpSender.joinable())
        udpSender.join();
    EXPECT_EQ(Fields(receiver.gps->m_fix), FixFields{}) << c.what;
    if (std::string(c.scheme) != "gpsd") {
        EXPECT_GT(read, 0u) << c.what << ": the source read nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(EachSource, HostileSender, testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return std::to_string(info.index); });

} // namespace
