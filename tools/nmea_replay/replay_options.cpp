#include "tools/nmea_replay/replay_options.h"

#include <charconv>
#include <cmath>

namespace nmea_replay {

const char* const kUsage =
    "usage: nmea-replay [--baud N] [--speed X] [--loop] [--start-at-fix] [--link PATH]\n"
    "                   [--strict-baud] [--tcp PORT] [--udp HOST:PORT] LOGFILE\n"
    "Sends an NMEA log on a new pseudo-terminal the way a receiver does, one\n"
    "epoch a second, and prints the terminal's device path as the first line.\n"
    "  --baud N     bit rate at which each epoch's bytes go out (default 4800)\n"
    "  --speed X    X epochs a second instead of one\n"
    "  --loop       start again after the last epoch, until stopped\n"
    "  --link PATH  keep a symbolic link PATH to the device while running\n"
    "  --start-at-fix  begin at the log's first epoch with a fix; with --loop the\n"
    "               later rounds play the whole log, cold start included\n"
    "  --strict-baud  send what a UART would make of the log when the reader's\n"
    "               line speed is not --baud: garbage, as from a real receiver\n"
    "  --tcp PORT   no terminal: serve each epoch to every client that connects\n"
    "               to TCP port PORT (0: a free one); prints tcp://localhost:PORT\n"
    "  --udp HOST:PORT  no terminal: send each epoch as one datagram to HOST:PORT\n"
    "               (a broadcast address such as 127.255.255.255 reaches every\n"
    "               listener); prints udp://:PORT\n";

namespace {

// The whole text must be the number.
template <typename T> bool ParseNumber(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

} // namespace

std::optional<ReplayOptions> ParseReplayArguments(const std::vector<std::string_view>& args,
                                                  std::string& error) {
    ReplayOptions options;
    bool haveLog = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        bool takesValue = arg == "--baud" || arg == "--speed" || arg == "--link" ||
                          arg == "--tcp" || arg == "--udp";
        if (takesValue && i + 1 == args.size()) {
            error = std::string(arg) + " needs a value";
            return std::nullopt;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--strict-baud") {
            options.strictBaud = true;
        } else if (arg == "--loop") {
            options.loop = true;
        } else if (arg == "--start-at-fix") {
            options.startAtFix = true;
        } else if (arg == "--baud") {
            std::string_view value = args[++i];
            // Up to the fastest rates serial adapters offer.
            if (!ParseNumber(value, options.baud) || options.baud < 50 ||
                options.baud > 4'000'000) {
                error = "bad bit rate: " + std::string(value);
                return std::nullopt;
            }
        } else if (arg == "--speed") {
            std::string_view value = args[++i];
            if (!ParseNumber(value, options.speed) || !std::isfinite(options.speed) ||
                options.speed <= 0 || options.speed > 1000) {
                error = "bad speed: " + std::string(value);
                return std::nullopt;
            }
        } else if (arg == "--link") {
            options.link = args[++i];
        } else if (arg == "--tcp") {
            std::string_view value = args[++i];
            if (!ParseNumber(value, options.tcpPort) || options.tcpPort < 0 ||
                options.tcpPort > 65535) {
                error = "bad TCP port: " + std::string(value);
                return std::nullopt;
            }
        } else if (arg == "--udp") {
            std::string_view value = args[++i];
            const std::size_t colon = value.rfind(':');
            if (colon == std::string_view::npos || colon == 0 ||
                !ParseNumber(value.substr(colon + 1), options.udpPort) || options.udpPort < 1 ||
                options.udpPort > 65535) {
                error = "bad UDP address (HOST:PORT): " + std::string(value);
                return std::nullopt;
            }
            options.udpHost = value.substr(0, colon);
            // "[::1]:2000": the brackets only set an IPv6 address apart from its port.
            if (options.udpHost.size() > 2 && options.udpHost.front() == '[' &&
                options.udpHost.back() == ']')
                options.udpHost = options.udpHost.substr(1, options.udpHost.size() - 2);
        } else if (arg.starts_with('-') && arg.size() > 1) {
            error = "unknown option: " + std::string(arg);
            return std::nullopt;
        } else if (haveLog) {
            error = "more than one log file";
            return std::nullopt;
        } else {
            options.logFile = arg;
            haveLog = true;
        }
    }
    if (!haveLog && !options.help) {
        error = "no log file";
        return std::nullopt;
    }
    return options;
}

} // namespace nmea_replay
