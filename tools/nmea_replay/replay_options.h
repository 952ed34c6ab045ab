#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nmea_replay {

struct ReplayOptions {
    int baud = 4800;         // [bit/s] paces the bytes of each burst
    double speed = 1.0;      // epochs per second
    bool loop = false;       // start again after the last epoch
    bool help = false;       // --help: print the usage and do nothing else
    bool strictBaud = false; // garble what a reader at another line speed gets
    std::string link;        // symbolic link kept to the device, or empty
    std::string logFile;
    // The first round begins at the log's first epoch with a fix.
    bool startAtFix = false;
    // Over the network instead of a pseudo-terminal, each epoch whole: to
    // every client of a TCP server on this port (0: one the system picks;
    // -1: none), and as one datagram to udpHost:udpPort (0: none).
    int tcpPort = -1;
    std::string udpHost;
    int udpPort = 0;
};

extern const char* const kUsage;

// Reads `nmea-replay [--baud N] [--speed X] [--loop] [--start-at-fix] [--link PATH]
// [--strict-baud] [--tcp PORT] [--udp HOST:PORT] LOGFILE`
// (arguments without the program name). On a bad argument gives nothing and
// says why in `error`.
std::optional<ReplayOptions> ParseReplayArguments(const std::vector<std::string_view>& args,
                                                  std::string& error);

} // namespace nmea_replay
