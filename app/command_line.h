#pragma once

#include "platform/gdi_types.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the command line asks for. The port and bit rate replace the
// settings' defaults for this run only.
struct CommandLine {
    bool help = false;
    bool version = false;
    bool monitor = false;
    bool probe = false;
    bool probeTsv = false;                 // --probe-tsv: --probe's lines for Find Receiver to read
    std::vector<std::string> probeDevices; // empty: every candidate
    std::optional<std::string> port;       // "auto": the first receiver the probe finds
    std::optional<int> baudRate;           // [bit/s]
    bool baudAuto = false;                 // the rate the probe finds
    int ticks = -1;                        // monitor ticks to run; -1 runs until stopped
    int intervalMs = 1000;                 // [ms] between monitor ticks
    // The monitor's lines also give the distance and bearing to this
    // longitude and latitude [deg].
    std::optional<std::pair<double, double>> goTo;
    std::string mapFile;               // empty when none is given
    std::vector<std::string> gpxFiles; // GPX files to open as layers
    // How the window of `mapFile` starts: a World Map window beside it, its
    // route line shown, scrolled to show a map pixel in its middle.
    bool worldMap = false;
    bool showRoute = false;
    std::optional<CPoint> centre; // [map pixel]
    // Every byte the receiver sends also goes to this file (window or monitor).
    std::optional<std::string> record;
    // Write the track journal's days from `fromDay` to `toDay` ("YYYY-MM-DD",
    // both optional) as GPX to this file, without a window.
    std::optional<std::string> exportGpx;
    std::optional<std::string> fromDay;
    std::optional<std::string> toDay;
    // No window: write MAP's calibration as files other programs read.
    std::optional<std::string> exportCalibration;
    bool force = false; // the export may replace files it did not write
    // No window: what the model of a map says. --map-info MAP describes it;
    // --pixel-to-position MAP X,Y and --position-to-pixel MAP LON,LAT turn
    // `point` from picture pixels to WGS 84 degrees or back.
    std::optional<std::string> mapInfo;
    std::optional<std::string> pixelToPosition;
    std::optional<std::string> positionToPixel;
    std::optional<std::pair<double, double>> point;
};

// The usage lines printed by --help and after a bad command line: one form
// for each mode (the windows, --monitor, --probe, --export-gpx,
// --export-calibration, the map queries, --help or --version) with the options it allows.
std::string UsageText();
// What each option does, printed by --help after the usage lines.
std::string OptionHelpText();

// Reads argv[1..argc-1] into `line`. False with a one-line reason in
// `error` for a missing or malformed value, an unknown option, options or a
// map file of two different modes, an option given without the mode or the
// map file it is for, or a surplus map file. --help and --version end the
// command line: what follows them is not read.
[[nodiscard]] bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line,
                                    std::string& error);
