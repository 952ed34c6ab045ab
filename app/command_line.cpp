#include "app/command_line.h"

#include <climits>
#include <cstring>

const char* const kUsage =
    "Usage: ostrel [--port NAME] [--baud N] [--record FILE] [--world-map] [--show-route]\n"
    "              [--centre X,Y] [MAPFILE]\n"
    "       ostrel --monitor [--port NAME] [--baud N] [--record FILE] [--ticks N] [--interval-ms "
    "MS]\n"
    "       ostrel --probe [DEVICE...]\n"
    "       ostrel --export-gpx OUT.gpx [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "       ostrel --export-calibration MAP [--force]\n"
    "       ostrel --help | --version\n";

const char* const kOptionHelp =
    "  --port NAME       the receiver's serial device: /dev/ttyUSB0, /dev/ttyACM0, ...;\n"
    "                    COM1, COM2, ... stand for /dev/ttyS0, /dev/ttyS1, ... (default COM1)\n"
    "  --baud N          its bit rate in bit/s (default 4800)\n"
    "  --port auto       the first receiver that --probe finds, at its rate\n"
    "  --baud auto       the rate at which --probe finds the receiver on --port\n"
    "  --world-map       open a World Map window beside MAPFILE's, the two tiled\n"
    "  --show-route      start MAPFILE's window with the route line shown\n"
    "  --centre X,Y      start MAPFILE's window scrolled to show map pixel X,Y in its middle\n"
    "  --monitor         no window: print the fix as a JSON line after each read\n"
    "  --ticks N         stop the monitor after N reads (default: run until Ctrl+C)\n"
    "  --interval-ms MS  time between the monitor's reads (default 1000)\n"
    "  --record FILE     also write every byte the receiver sends to FILE, for nmea-replay\n"
    "  --probe           no window: look for a receiver on DEVICEs (default: every\n"
    "                    serial device) at each common rate and say what was found\n"
    "  --export-gpx OUT.gpx  no window: write the track journal as GPX to OUT.gpx\n"
    "  --from YYYY-MM-DD, --to YYYY-MM-DD  the first and last day it exports (default: all)\n"
    "  --export-calibration MAP\n"
    "                    no window: write MAP's calibration (stored, or from a file beside\n"
    "                    it) as a .map file and a world file beside MAP\n"
    "  --force           let --export-calibration replace files it did not write\n";

namespace {

// A plain decimal number from `minimum` up to INT_MAX, nothing around it.
bool ReadNumber(const std::string& text, int minimum, int& value) {
    if (text.empty() || text.size() > 10)
        return false;
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    if (number < minimum || number > INT_MAX)
        return false;
    value = int(number);
    return true;
}

// "YYYY-MM-DD" with digits where they belong.
bool IsDay(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// "X,Y": two plain decimal numbers of 0 or more.
bool ReadPixel(const std::string& text, CPoint& point) {
    const size_t comma = text.find(',');
    int x = 0, y = 0;
    if (comma == std::string::npos || !ReadNumber(text.substr(0, comma), 0, x) ||
        !ReadNumber(text.substr(comma + 1), 0, y))
        return false;
    point = CPoint{x, y};
    return true;
}

} // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    line = CommandLine{};
    bool monitorOption = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            line.help = true;
            return true;
        }
        if (arg == "--version") {
            line.version = true;
            return true;
        }
        if (arg == "--monitor") {
            line.monitor = true;
            continue;
        }
        if (arg == "--probe" || arg == "--probe-tsv") {
            line.probe = true;
            line.probeTsv = arg == "--probe-tsv";
            continue;
        }
        if (arg == "--world-map") {
            line.worldMap = true;
            continue;
        }
        if (arg == "--force") {
            line.force = true;
            continue;
        }
        if (arg == "--show-route") {
            line.showRoute = true;
            continue;
        }
        if (arg == "--port" || arg == "--baud" || arg == "--ticks" || arg == "--interval-ms" ||
            arg == "--centre" || arg == "--export-calibration" || arg == "--record" ||
            arg == "--export-gpx" || arg == "--from" || arg == "--to") {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            int number = 0;
            CPoint pixel;
            if (arg == "--port") {
                line.port = value;
            } else if (arg == "--export-calibration") {
                line.exportCalibration = value;
            } else if (arg == "--record") {
                line.record = value;
            } else if (arg == "--export-gpx") {
                line.exportGpx = value;
            } else if (arg == "--from" || arg == "--to") {
                if (!IsDay(value)) {
                    error = arg + " needs a day YYYY-MM-DD, not \"" + value + "\"";
                    return false;
                }
                (arg == "--from" ? line.fromDay : line.toDay) = value;
            } else if (arg == "--centre") {
                if (!ReadPixel(value, pixel)) {
                    error = "--centre needs a map pixel X,Y, not \"" + value + "\"";
                    return false;
                }
                line.centre = pixel;
            } else if (arg == "--baud" && value == "auto") {
                line.baudAuto = true;
            } else if (arg == "--baud") {
                if (!ReadNumber(value, 1, number)) {
                    error = "--baud needs a bit rate of 1 or more, not \"" + value + "\"";
                    return false;
                }
                line.baudRate = number;
            } else if (arg == "--ticks") {
                if (!ReadNumber(value, 0, number)) {
                    error = "--ticks needs a count of 0 or more, not \"" + value + "\"";
                    return false;
                }
                line.ticks = number;
                monitorOption = true;
            } else {
                if (!ReadNumber(value, 1, number)) {
                    error = "--interval-ms needs milliseconds, 1 or more, not \"" + value + "\"";
                    return false;
                }
                line.intervalMs = number;
                monitorOption = true;
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        }
        if (line.probe) {
            line.probeDevices.push_back(arg);
            continue;
        }
        if (!line.mapFile.empty()) {
            error = "only one map file can be given";
            return false;
        }
        line.mapFile = arg;
    }
    if (line.probe) {
        if (!line.mapFile.empty())
            line.probeDevices.insert(line.probeDevices.begin(), line.mapFile);
        line.mapFile.clear();
        if (line.monitor || line.port || line.baudRate || line.baudAuto || line.worldMap ||
            line.showRoute || line.centre || monitorOption || line.record || line.exportGpx) {
            error = "--probe takes devices only";
            return false;
        }
    }
    if (line.monitor && !line.mapFile.empty()) {
        error = "the monitor opens no map file";
        return false;
    }
    if (line.monitor && (line.worldMap || line.showRoute || line.centre)) {
        error = "the monitor opens no windows";
        return false;
    }
    if (line.mapFile.empty() && (line.showRoute || line.centre)) {
        error = "--show-route and --centre need a map file";
        return false;
    }
    if (!line.exportGpx && (line.fromDay || line.toDay)) {
        error = "--from and --to are for --export-gpx only";
        return false;
    }
    if (line.exportGpx && (line.monitor || !line.mapFile.empty() || line.record)) {
        error = "--export-gpx runs on its own";
        return false;
    }
    if (line.exportCalibration &&
        (line.monitor || !line.mapFile.empty() || line.worldMap || line.showRoute || line.centre)) {
        error = "--export-calibration opens no windows";
        return false;
    }
    if (line.force && !line.exportCalibration) {
        error = "--force is for --export-calibration only";
        return false;
    }
    if (!line.monitor && monitorOption) {
        error = "--ticks and --interval-ms are for --monitor only";
        return false;
    }
    return true;
}
