#include "app/command_line.h"

#include "platform/paths.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

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

// "A,B": two decimal numbers, as finite doubles.
bool ReadPair(const std::string& text, std::optional<std::pair<double, double>>& pair) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    double v[2] = {};
    const std::string parts[2] = {text.substr(0, comma), text.substr(comma + 1)};
    for (int i = 0; i < 2; ++i) {
        const char* begin = parts[i].data();
        const char* end = begin + parts[i].size();
        const auto [stop, error] = std::from_chars(begin, end, v[i]);
        if (begin == end || error != std::errc() || stop != end || !std::isfinite(v[i]))
            return false;
    }
    pair = std::pair{v[0], v[1]};
    return true;
}

// Readers of the options: a switch, a value kept as given, one more of a
// list, a day.
template <auto member> bool Switch(const std::string&, CommandLine& line) {
    line.*member = true;
    return true;
}

template <auto member> bool Keep(const std::string& value, CommandLine& line) {
    line.*member = value;
    return true;
}

template <auto member> bool Append(const std::string& value, CommandLine& line) {
    (line.*member).push_back(value);
    return true;
}

template <auto member> bool Day(const std::string& value, CommandLine& line) {
    if (!IsDay(value))
        return false;
    line.*member = value;
    return true;
}

// What one run of the program does. Every option is allowed in some of them;
// options of two different modes are refused together.
enum Mode : unsigned {
    kWindow = 1u << 0, // the default: the windows, with or without a map file
    kMonitor = 1u << 1,
    kProbe = 1u << 2,
    kExportGpx = 1u << 3,
    kExportCalibration = 1u << 4,
    kHelp = 1u << 5,
    kVersion = 1u << 6,
    kMapInfo = 1u << 7,
    kPixelToPosition = 1u << 8,
    kPositionToPixel = 1u << 9,
};
// The modes whose option ends the command line: what follows it is not read.
constexpr unsigned kAlone = kHelp | kVersion;

struct Option {
    // "--port". A name without the dashes stands for the arguments that are
    // no option, one that ends in "..." for any number of them.
    const char* name;
    const char* value = nullptr; // the value's name, null for an option without one
    unsigned modes = 0;          // the modes that allow it
    bool startsMode = false;     // it chooses its one mode; without such an option, kWindow
    const char* needs = nullptr; // the option without which it means nothing
    const char* help = nullptr;  // what --help says of it, one or more lines
    // Keeps the option and its value in `line`; false for a malformed value.
    bool (*read)(const std::string& value, CommandLine& line) = nullptr;
    const char* rule = nullptr; // what a malformed value should have been
};

// The order is that of the usage and the help.
const Option kOptions[] = {
    {.name = "--port",
     .value = "NAME",
     .modes = kWindow | kMonitor,
     .help = "the receiver's serial device: /dev/ttyUSB0, /dev/ttyACM0, ...;\n"
             "COM1, COM2, ... stand for /dev/ttyS0, /dev/ttyS1, ... (default COM1);\n"
             "gpsd://HOST[:PORT][/DEVICE], tcp://HOST:PORT, udp://[ADDRESS]:PORT:\n"
             "gpsd, a TCP server or UDP datagrams (no bit rate);\n"
             "auto: the first receiver that --probe finds, at its rate",
     .read = Keep<&CommandLine::port>},
    {.name = "--baud",
     .value = "N",
     .modes = kWindow | kMonitor,
     .help = "its bit rate in bit/s (default 4800);\n"
             "auto: the rate at which --probe finds the receiver on --port",
     .read =
         [](const std::string& v, CommandLine& l) {
             int rate = 0;
             if (v == "auto")
                 l.baudAuto = true;
             else if (ReadNumber(v, 1, rate))
                 l.baudRate = rate;
             else
                 return false;
             return true;
         },
     .rule = "a bit rate of 1 or more"},
    {.name = "--record",
     .value = "FILE",
     .modes = kWindow | kMonitor,
     .help = "also write every byte the receiver sends to FILE, for nmea-replay",
     .read = Keep<&CommandLine::record>},
    {.name = "--world-map",
     .modes = kWindow,
     .help = "open a World Map window beside MAPFILE's, the two tiled",
     .read = Switch<&CommandLine::worldMap>},
    {.name = "--show-route",
     .modes = kWindow,
     .needs = "MAPFILE",
     .help = "start MAPFILE's window with the route line shown",
     .read = Switch<&CommandLine::showRoute>},
    {.name = "--centre",
     .value = "X,Y",
     .modes = kWindow,
     .needs = "MAPFILE",
     .help = "start MAPFILE's window scrolled to show map pixel X,Y in its middle",
     .read =
         [](const std::string& v, CommandLine& l) {
             CPoint pixel;
             if (!ReadPixel(v, pixel))
                 return false;
             l.centre = pixel;
             return true;
         },
     .rule = "a map pixel X,Y"},
    {.name = "MAPFILE", .modes = kWindow, .read = Keep<&CommandLine::mapFile>},
    // Arguments of the windows that end in ".gpx" are layers, not the map.
    {.name = "GPXFILE...", .modes = kWindow, .read = Append<&CommandLine::gpxFiles>},
    {.name = "--monitor",
     .modes = kMonitor,
     .startsMode = true,
     .help = "no window: print the fix as a JSON line after each read",
     .read = Switch<&CommandLine::monitor>},
    {.name = "--ticks",
     .value = "N",
     .modes = kMonitor,
     .help = "stop the monitor after N reads (default: run until Ctrl+C)",
     .read = [](const std::string& v, CommandLine& l) { return ReadNumber(v, 0, l.ticks); },
     .rule = "a count of 0 or more"},
    {.name = "--interval-ms",
     .value = "MS",
     .modes = kMonitor,
     .help = "time between the monitor's reads (default 1000)",
     .read = [](const std::string& v, CommandLine& l) { return ReadNumber(v, 1, l.intervalMs); },
     .rule = "milliseconds, 1 or more"},
    {.name = "--goto",
     .value = "LON,LAT",
     .modes = kMonitor,
     .help = "add the distance [m] and true bearing [deg] from the fix to\n"
             "LON,LAT (WGS 84 degrees, west and south negative) to each line",
     .read =
         [](const std::string& v, CommandLine& l) {
             return ReadPair(v, l.goTo) && std::fabs(l.goTo->first) <= 180 &&
                    std::fabs(l.goTo->second) <= 90;
         },
     .rule = "a longitude and latitude LON,LAT in degrees"},
    {.name = "--probe",
     .modes = kProbe,
     .startsMode = true,
     .help = "no window: look for a receiver on DEVICEs (default: every\n"
             "serial device, then gpsd://localhost) at each common rate\n"
             "and say what was found",
     .read = Switch<&CommandLine::probe>},
    {.name = "--probe-tsv",
     .modes = kProbe,
     .needs = "--probe",
     .help = "with --probe: one tab-separated line a device, for programs\n"
             "to read (device, port, rate, failure, description)",
     .read = Switch<&CommandLine::probeTsv>},
    {.name = "DEVICE...", .modes = kProbe, .read = Append<&CommandLine::probeDevices>},
    {.name = "--export-gpx",
     .value = "OUT.gpx",
     .modes = kExportGpx,
     .startsMode = true,
     .help = "no window: write the track journal as GPX to OUT.gpx",
     .read = Keep<&CommandLine::exportGpx>},
    {.name = "--from",
     .value = "YYYY-MM-DD",
     .modes = kExportGpx,
     .help = "the first day it exports (default: the journal's first)",
     .read = Day<&CommandLine::fromDay>,
     .rule = "a day YYYY-MM-DD"},
    {.name = "--to",
     .value = "YYYY-MM-DD",
     .modes = kExportGpx,
     .help = "the last day it exports (default: the journal's last)",
     .read = Day<&CommandLine::toDay>,
     .rule = "a day YYYY-MM-DD"},
    {.name = "--export-calibration",
     .value = "MAP",
     .modes = kExportCalibration,
     .startsMode = true,
     .help = "no window: write MAP's calibration (stored, or from a file\n"
             "beside it) as a .map file and a world file beside MAP",
     .read = Keep<&CommandLine::exportCalibration>},
    {.name = "--force",
     .modes = kExportCalibration,
     .help = "let --export-calibration replace files it did not write",
     .read = Switch<&CommandLine::force>},
    {.name = "--map-info",
     .value = "MAP",
     .modes = kMapInfo,
     .startsMode = true,
     .help = "no window: MAP's size, where its calibration comes from, its\n"
             "coordinate system, its points' errors and its corners on WGS 84",
     .read = Keep<&CommandLine::mapInfo>},
    {.name = "--pixel-to-position",
     .value = "MAP",
     .modes = kPixelToPosition,
     .startsMode = true,
     .needs = "X,Y",
     .help = "no window: print the WGS 84 longitude and latitude of MAP's\n"
             "picture pixel X,Y, as its window places it",
     .read = Keep<&CommandLine::pixelToPosition>},
    {.name = "X,Y",
     .modes = kPixelToPosition,
     .read = [](const std::string& v, CommandLine& l) { return ReadPair(v, l.point); },
     .rule = "a picture pixel X,Y"},
    {.name = "--position-to-pixel",
     .value = "MAP",
     .modes = kPositionToPixel,
     .startsMode = true,
     .needs = "LON,LAT",
     .help = "no window: print the picture pixel X Y of MAP at the WGS 84\n"
             "longitude and latitude LON,LAT [deg]",
     .read = Keep<&CommandLine::positionToPixel>},
    {.name = "LON,LAT",
     .modes = kPositionToPixel,
     .read = [](const std::string& v, CommandLine& l) { return ReadPair(v, l.point); },
     .rule = "a longitude and latitude LON,LAT in degrees"},
    {.name = "--help", .modes = kHelp, .startsMode = true, .read = Switch<&CommandLine::help>},
    {.name = "--version",
     .modes = kVersion,
     .startsMode = true,
     .read = Switch<&CommandLine::version>},
};

bool IsArgument(const Option& option) {
    return option.name[0] != '-';
}

// The option named `arg` exactly, or null; an argument's entry only when
// `argument` says so.
const Option* FindOption(const std::string& arg, bool argument = false) {
    for (const Option& option : kOptions)
        if (IsArgument(option) == argument && arg == option.name)
            return &option;
    return nullptr;
}

// What the arguments that are no option stand for in `modes`, or null.
const Option* FindArgument(unsigned modes) {
    for (const Option& option : kOptions)
        if (IsArgument(option) && (option.modes & modes))
            return &option;
    return nullptr;
}

bool Read(const Option& option, const std::string& value, CommandLine& line, std::string& error) {
    if (option.read(value, line))
        return true;
    error = std::string(option.name) + " needs " + option.rule + ", not \"" + value + "\"";
    return false;
}

// "--ticks N", "[--ticks N]"; "[MAPFILE]", "[DEVICE...]".
std::string UsageWord(const Option& option, bool optional) {
    std::string word = option.name;
    if (option.value)
        word += std::string(" ") + option.value;
    return optional ? "[" + word + "]" : word;
}

// The usage of one mode: its option first, then those it allows.
std::vector<std::string> UsageForm(unsigned mode) {
    std::vector<std::string> words{"ostrel"};
    const char* needed = nullptr; // what the mode's option cannot do without
    for (const Option& option : kOptions)
        if (option.startsMode && option.modes == mode) {
            words.push_back(UsageWord(option, false));
            needed = option.needs;
        }
    for (const Option& option : kOptions)
        if (!option.startsMode && (option.modes & mode))
            words.push_back(UsageWord(option, !needed || std::string(option.name) != needed));
    return words;
}

} // namespace

std::string UsageText() {
    std::vector<std::vector<std::string>> forms{UsageForm(kWindow)};
    std::vector<std::string> alone{"ostrel"};
    for (const Option& option : kOptions) {
        if (!option.startsMode)
            continue;
        if (option.modes & kAlone) {
            if (alone.size() > 1)
                alone.push_back("|");
            alone.push_back(option.name);
        } else {
            forms.push_back(UsageForm(option.modes));
        }
    }
    forms.push_back(alone);

    // Lines about as wide as the help's; a wider form goes on below, lined up
    // with its first option.
    constexpr size_t kWidth = 88; // [characters]
    const std::string indent(14, ' ');
    std::string text;
    for (const std::vector<std::string>& form : forms) {
        std::string row = text.empty() ? "Usage:" : "      ";
        for (const std::string& word : form) {
            if (row.size() + 1 + word.size() > kWidth) {
                text += row + "\n";
                row = indent.substr(1);
            }
            row += " " + word;
        }
        text += row + "\n";
    }
    return text;
}

std::string OptionHelpText() {
    // The options in a column of 16 characters, their help after it; a
    // longer option has its help start on the next line.
    const std::string indent(20, ' ');
    std::string text;
    for (const Option& option : kOptions) {
        if (!option.help)
            continue;
        const std::string word = UsageWord(option, false);
        std::string row = "  " + word;
        row += word.size() <= 16 ? std::string(18 - word.size(), ' ') : "\n" + indent;
        for (const char* c = option.help; *c; ++c) {
            row += *c;
            if (*c == '\n')
                row += indent;
        }
        text += row + "\n";
    }
    return text;
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    line = CommandLine{};
    // The options given, each once, in the order of their first use; null
    // where the first argument that is no option stands, since the mode
    // decides what those are.
    std::vector<const Option*> given;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const Option* option = FindOption(arg);
        // "-3.5,52" is a place west of Greenwich, not an option.
        const bool number =
            arg.size() > 1 && (std::isdigit((unsigned char)arg[1]) || arg[1] == '.');
        if (!option && arg.size() > 1 && arg[0] == '-' && !number) {
            error = "unknown option " + arg;
            return false;
        }
        if (!option) {
            arguments.push_back(arg);
        } else {
            std::string value;
            if (option->value) {
                if (i + 1 >= argc) {
                    error = arg + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            if (!Read(*option, value, line, error))
                return false;
            if (option->modes & kAlone)
                return true;
        }
        if (std::find(given.begin(), given.end(), option) == given.end())
            given.push_back(option);
    }

    // The mode is that of the first option that chooses one.
    const auto starter = std::find_if(given.begin(), given.end(),
                                      [](const Option* o) { return o && o->startsMode; });
    const unsigned mode = starter != given.end() ? (*starter)->modes : kWindow;
    const Option* argument = FindArgument(mode);
    for (const Option*& option : given)
        if (!option)
            option = argument ? argument : FindArgument(~0u);
    for (auto it = given.begin(); it != given.end(); ++it) {
        const Option& option = **it;
        if (option.modes & mode)
            continue;
        if (starter == given.end()) {
            // Not one of the windows' options, and what it is for is missing.
            error = std::string(option.name) + " needs";
            const char* separator = " ";
            for (const Option& other : kOptions) {
                if (other.startsMode && (other.modes & option.modes)) {
                    error += separator + std::string(other.name);
                    separator = " or ";
                }
            }
            return false;
        }
        const Option& first = it < starter ? option : **starter;
        const Option& second = it < starter ? **starter : option;
        error = std::string(first.name) + " and " + second.name + " cannot be used together";
        return false;
    }
    for (const Option* option : given) {
        if (option->needs && std::none_of(given.begin(), given.end(), [&](const Option* o) {
                return std::string(o->name) == option->needs;
            })) {
            error = std::string(option->name) + " needs " + option->needs;
            return false;
        }
    }

    if (mode == kWindow) {
        const Option* layers = FindOption("GPXFILE...", true);
        std::erase_if(arguments, [&](const std::string& a) {
            const bool gpx = a.size() > 4 && AsciiLower(a.substr(a.size() - 4)) == ".gpx";
            return gpx && layers->read(a, line);
        });
    }
    if (argument && arguments.size() > 1 && !std::string(argument->name).ends_with("...")) {
        error = std::string("only one ") + argument->name + " can be given";
        return false;
    }
    for (const std::string& value : arguments)
        if (!Read(*argument, value, line, error))
            return false;
    return true;
}
