// nmea-replay: plays a receiver log on a pseudo-terminal, or over TCP or UDP,
// so that the program can be run and tried without a receiver.

#include "tools/nmea_replay/epochs.h"
#include "tools/nmea_replay/replay_options.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace nmea_replay;
using Clock = std::chrono::steady_clock;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

// The pseudo-terminal: we write to the master; readers open the device side.
// We keep a descriptor of the device side ourselves, so that a reader that
// comes and goes never hangs the terminal up.
struct Terminal {
    int master = -1;
    int device = -1;
    std::string path;

    ~Terminal() {
        if (device >= 0)
            close(device);
        if (master >= 0)
            close(master);
    }

    bool Open(std::string& error) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            error = std::strerror(errno);
            return false;
        }
        const char* name = ptsname(master);
        if (name == nullptr) {
            error = std::strerror(errno);
            return false;
        }
        path = name;
        device = open(path.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        if (device < 0 || tcgetattr(device, &tio) != 0) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        cfmakeraw(&tio);
        // A full buffer must not stop the replay: writes that do not fit fail.
        if (tcsetattr(device, TCSANOW, &tio) != 0 ||
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
            error = std::strerror(errno);
            return false;
        }
        return true;
    }
};

// A TCP server that hands each epoch to every client connected. A client
// that cannot take a whole epoch at once loses it, as a reader that falls
// behind loses a receiver's output; one whose connection failed is dropped.
struct TcpServer {
    int listener = -1;
    std::vector<int> clients;
    int port = 0;

    ~TcpServer() {
        for (int fd : clients)
            close(fd);
        if (listener >= 0)
            close(listener);
    }

    bool Open(int wanted, std::string& error) {
        listener = socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int off = 0, on = 1;
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_any;
        address.sin6_port = htons(static_cast<uint16_t>(wanted));
        socklen_t size = sizeof address;
        // Both IPv6 and IPv4 clients: "localhost" may be either.
        if (listener < 0 ||
            setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0 ||
            setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
            bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 16) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            error = std::strerror(errno);
            return false;
        }
        port = ntohs(address.sin6_port);
        return true;
    }

    void Send(const std::string& epoch) {
        for (int fd; (fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;)
            clients.push_back(fd);
        std::erase_if(clients, [&](int fd) {
            const ssize_t n = send(fd, epoch.data(), epoch.size(), MSG_NOSIGNAL);
            if (n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK)
                return false;
            close(fd);
            return true;
        });
    }
};

// Each epoch as one datagram to one address, broadcast addresses included.
struct UdpSender {
    int fd = -1;
    sockaddr_storage to{};
    socklen_t toSize = 0;

    ~UdpSender() {
        if (fd >= 0)
            close(fd);
    }

    bool Open(const std::string& host, int port, std::string& error) {
        addrinfo hints{};
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        if (status != 0) {
            error = host + ": " + gai_strerror(status);
            return false;
        }
        std::memcpy(&to, found->ai_addr, found->ai_addrlen);
        toSize = found->ai_addrlen;
        fd = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        freeaddrinfo(found);
        const int on = 1;
        if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            error = std::strerror(errno);
            return false;
        }
        return true;
    }

    // A datagram that cannot go (nobody on a unicast port) is lost, as on a
    // boat network.
    void Send(const std::string& epoch) {
        (void)sendto(fd, epoch.data(), epoch.size(), MSG_DONTWAIT,
                     reinterpret_cast<const sockaddr*>(&to), toSize);
    }
};

// Where the replay goes: the terminal, or the network outputs asked for.
struct Outputs {
    Terminal* terminal = nullptr;
    TcpServer* tcp = nullptr;
    UdpSender* udp = nullptr;
};

// Waits until `deadline`; false when a stop signal arrived. The stop signals
// are blocked everywhere else, so none can slip in between the check and the
// wait; and a deadline already past still lets a pending one in.
bool WaitUntil(Clock::time_point deadline, const sigset_t& waitMask) {
    while (true) {
        auto ns = std::max<std::int64_t>(
            0,
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count());
        timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                         static_cast<long>(ns % 1'000'000'000)};
        ppoll(nullptr, 0, &timeout, &waitMask);
        if (g_stop)
            return false;
        if (Clock::now() >= deadline)
            return true;
    }
}

// The line speed the reader has set [bit/s], or 0 when unknown. A
// pseudo-terminal's master reports the settings of its device side.
int ReaderBaud(const Terminal& terminal) {
    static const struct {
        speed_t code;
        int rate;
    } kRates[] = {
        {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
        {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
        {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
        {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
        {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
        {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
        {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
        {B3500000, 3500000}, {B4000000, 4000000}};
    termios tio{};
    if (tcgetattr(terminal.master, &tio) != 0)
        return 0;
    const speed_t code = cfgetispeed(&tio);
    for (const auto& r : kRates)
        if (r.code == code)
            return r.rate;
    return 0;
}

// Sends one epoch paced at `baud` from `start`. Bytes go out up to
// kSendAhead before their time, so that being woken late does not put a
// pause into the burst that a reader would take for its end. When the buffer
// is full (nobody reading), the rest of the epoch is dropped, as a
// receiver's output is lost when nobody listens. False when a stop signal
// arrived.
bool SendEpoch(const Terminal& terminal, const std::string& epoch, int baud, bool strictBaud,
               Clock::time_point start, const sigset_t& waitMask) {
    std::size_t sent = 0;
    bool dropping = false;
    while (true) {
        Clock::time_point now = Clock::now();
        std::size_t due = BytesDue(now - start + kSendAhead, baud, epoch.size());
        if (due > sent && !dropping) {
            std::string_view piece(epoch.data() + sent, due - sent);
            std::string garbled;
            const int readerBaud = strictBaud ? ReaderBaud(terminal) : baud;
            if (readerBaud != baud && readerBaud > 0) {
                garbled = UartGarble(piece, baud, readerBaud);
                piece = garbled;
            }
            ssize_t n = write(terminal.master, piece.data(), piece.size());
            dropping = n < static_cast<ssize_t>(piece.size());
        }
        sent = std::max(sent, due);
        if (sent == epoch.size())
            return true;
        if (!WaitUntil(now + kSendStep, waitMask))
            return false;
    }
}

void Replay(const Outputs& outputs, const std::vector<std::string>& epochs,
            const ReplayOptions& options, const sigset_t& waitMask) {
    std::chrono::nanoseconds period = EpochPeriod(options.speed);
    Clock::time_point start = Clock::now();
    // Only the first round skips the cold start; later rounds play it all.
    std::size_t first = options.startAtFix ? FirstFixEpoch(epochs) : 0;
    for (std::size_t i = first;; i = (i + 1) % epochs.size()) {
        if (!WaitUntil(start, waitMask))
            return;
        if (outputs.terminal) {
            if (!SendEpoch(*outputs.terminal, epochs[i], options.baud, options.strictBaud, start,
                           waitMask))
                return;
            start += std::chrono::duration_cast<Clock::duration>(
                EpochSpacing(period, epochs[i].size(), options.baud));
        } else {
            // The network has no bit rate to pace: each epoch goes whole.
            if (outputs.tcp)
                outputs.tcp->Send(epochs[i]);
            if (outputs.udp)
                outputs.udp->Send(epochs[i]);
            start += std::chrono::duration_cast<Clock::duration>(period);
        }
        // The last epoch gets its full period too, so that a reader polling
        // once per period still finds it before the terminal goes away.
        if (i + 1 == epochs.size() && !options.loop) {
            WaitUntil(start, waitMask);
            return;
        }
    }
}

bool ReadLog(const std::string& path, std::string& log, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        log.append(buffer, static_cast<std::size_t>(n));
    if (n < 0)
        error = std::strerror(errno);
    close(fd);
    return n == 0;
}

// Replaces a symbolic link left behind by an earlier run, nothing else.
bool MakeLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + ": exists and is not a symbolic link";
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        error = link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Removes the link only while it still points to our device.
void RemoveLink(const std::string& link, const std::string& target) {
    char buffer[4096];
    ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
    if (n >= 0 && std::string(buffer, static_cast<std::size_t>(n)) == target)
        unlink(link.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    std::optional<ReplayOptions> options =
        ParseReplayArguments(std::vector<std::string_view>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "nmea-replay: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    std::string log;
    if (!ReadLog(options->logFile, log, error)) {
        std::fprintf(stderr, "nmea-replay: cannot read %s: %s\n", options->logFile.c_str(),
                     error.c_str());
        return 1;
    }
    std::vector<std::string> epochs = SplitEpochs(log);
    if (epochs.empty()) {
        std::fprintf(stderr, "nmea-replay: %s holds no sentences\n", options->logFile.c_str());
        return 1;
    }

    // The stop signals stay blocked except while waiting (see WaitUntil).
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, sig);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigaction(sig, &action, nullptr);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);
    std::signal(SIGPIPE, SIG_IGN);

    Terminal terminal;
    TcpServer tcp;
    UdpSender udp;
    Outputs outputs;
    if (options->tcpPort >= 0) {
        if (!tcp.Open(options->tcpPort, error)) {
            std::fprintf(stderr, "nmea-replay: cannot serve TCP port %d: %s\n", options->tcpPort,
                         error.c_str());
            return 1;
        }
        outputs.tcp = &tcp;
        std::printf("tcp://localhost:%d\n", tcp.port);
    }
    if (options->udpPort > 0) {
        if (!udp.Open(options->udpHost, options->udpPort, error)) {
            std::fprintf(stderr, "nmea-replay: cannot send to %s:%d: %s\n",
                         options->udpHost.c_str(), options->udpPort, error.c_str());
            return 1;
        }
        outputs.udp = &udp;
        std::printf("udp://:%d\n", options->udpPort);
    }
    if (!outputs.tcp && !outputs.udp) {
        if (!terminal.Open(error)) {
            std::fprintf(stderr, "nmea-replay: cannot open a pseudo-terminal: %s\n", error.c_str());
            return 1;
        }
        if (!options->link.empty() && !MakeLink(options->link, terminal.path, error)) {
            std::fprintf(stderr, "nmea-replay: %s\n", error.c_str());
            return 1;
        }
        outputs.terminal = &terminal;
        std::printf("%s\n", terminal.path.c_str());
        // Fewer epochs than asked for would pass unnoticed otherwise.
        if (const std::string warning = SpeedWarning(epochs, options->speed, options->baud);
            !warning.empty())
            std::fprintf(stderr, "nmea-replay: %s\n", warning.c_str());
    }
    std::fflush(stdout);

    Replay(outputs, epochs, *options, waitMask);

    if (outputs.terminal && !options->link.empty())
        RemoveLink(options->link, terminal.path);
    return 0;
}
