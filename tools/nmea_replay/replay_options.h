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
};

extern const char* const kUsage;

// Reads `nmea-replay [--baud N] [--speed X] [--loop] [--start-at-fix] [--link PATH]
// [--strict-baud] LOGFILE`
// (arguments without the program name). On a bad argument gives nothing and
// says why in `error`.
std::optional<ReplayOptions> ParseReplayArguments(const std::vector<std::string_view>& args,
                                                  std::string& error);

} // namespace nmea_replay
