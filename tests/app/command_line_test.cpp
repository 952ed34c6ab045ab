#include "app/command_line.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

bool Parse(std::vector<const char*> args, CommandLine& line, std::string& error) {
    args.insert(args.begin(), "ostrel");
    return ParseCommandLine(int(args.size()), args.data(), line, error);
}

TEST(CommandLine, ReadsTheMonitorAndPortOptions) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(Parse({"--monitor", "--port", "/dev/ttyUSB0", "--baud", "9600", "--ticks", "0",
                       "--interval-ms", "250"},
                      line, error))
        << error;
    EXPECT_TRUE(line.monitor);
    EXPECT_EQ(line.port, "/dev/ttyUSB0");
    EXPECT_EQ(line.baudRate, 9600);
    EXPECT_EQ(line.ticks, 0);
    EXPECT_EQ(line.intervalMs, 250);

    ASSERT_TRUE(Parse({"--baud", "2147483647", "map.bmp", "--port", "COM2"}, line, error));
    EXPECT_FALSE(line.monitor);
    EXPECT_EQ(line.port, "COM2");
    EXPECT_EQ(line.baudRate, 2147483647);
    EXPECT_EQ(line.mapFile, "map.bmp");
    EXPECT_EQ(line.ticks, -1);
    EXPECT_EQ(line.intervalMs, 1000);

    ASSERT_TRUE(Parse({}, line, error));
    EXPECT_FALSE(line.port);
    EXPECT_FALSE(line.baudRate);
    ASSERT_TRUE(Parse({"--port", "--help"}, line, error)); // a name, however odd
    EXPECT_EQ(line.port, "--help");

    ASSERT_TRUE(Parse({"--monitor", "--port", "auto", "--baud", "auto"}, line, error)) << error;
    EXPECT_EQ(line.port, "auto");
    EXPECT_TRUE(line.baudAuto);
    EXPECT_FALSE(line.baudRate);
    // Devices before --probe count too: the probe opens no map.
    ASSERT_TRUE(Parse({"/dev/ttyUSB0", "--probe", "/dev/ttyACM0"}, line, error)) << error;
    EXPECT_TRUE(line.probe);
    EXPECT_EQ(line.probeDevices, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyACM0"}));
    EXPECT_EQ(line.mapFile, "");
}

TEST(CommandLine, ReadsHowTheMapWindowStarts) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(Parse({"--show-route", "/maps/aegina.bmp", "--centre", "1000,380", "--world-map"},
                      line, error))
        << error;
    EXPECT_EQ(line.mapFile, "/maps/aegina.bmp");
    EXPECT_TRUE(line.worldMap);
    EXPECT_TRUE(line.showRoute);
    EXPECT_EQ(line.centre, (CPoint{1000, 380}));

    ASSERT_TRUE(Parse({"--centre", "0,2147483647", "map.bmp"}, line, error)) << error;
    EXPECT_EQ(line.centre, (CPoint{0, 2147483647}));
    EXPECT_FALSE(line.worldMap);
    EXPECT_FALSE(line.showRoute);

    // Without a map file the first window is the world map anyway.
    ASSERT_TRUE(Parse({"--world-map"}, line, error)) << error;
    EXPECT_TRUE(line.worldMap);
    EXPECT_FALSE(line.centre);
}

// The exports keep their values; --help and --version win over whatever
// stands before them, and what follows them is not read.
TEST(CommandLine, ReadsTheExportsAndStopsAtHelpOrVersion) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(Parse({"--to", "2024-06-30", "--export-gpx", "june.gpx", "--from", "2024-06-01"},
                      line, error))
        << error;
    EXPECT_EQ(line.exportGpx, "june.gpx");
    EXPECT_EQ(line.fromDay, "2024-06-01");
    EXPECT_EQ(line.toDay, "2024-06-30");

    ASSERT_TRUE(Parse({"--force", "--export-calibration", "/maps/a.bmp"}, line, error)) << error;
    EXPECT_EQ(line.exportCalibration, "/maps/a.bmp");
    EXPECT_TRUE(line.force);

    // GPX files beside the map, before or after it, are layers, not a second map.
    ASSERT_TRUE(Parse({"trip.gpx", "map.jpg", "Marks.GPX"}, line, error)) << error;
    EXPECT_EQ(line.mapFile, "map.jpg");
    EXPECT_EQ(line.gpxFiles, (std::vector<std::string>{"trip.gpx", "Marks.GPX"}));
    ASSERT_TRUE(Parse({"trip.gpx"}, line, error)) << error;
    EXPECT_EQ(line.mapFile, "");

    // A longitude west of Greenwich must not be taken for an option.
    ASSERT_TRUE(Parse({"--position-to-pixel", "m.jpg", "-3.25,-52.5"}, line, error)) << error;
    EXPECT_EQ(line.positionToPixel, "m.jpg");
    EXPECT_EQ(line.point, (std::pair{-3.25, -52.5}));
    ASSERT_TRUE(Parse({"--pixel-to-position", "m.jpg", "10.5,2e2"}, line, error)) << error;
    EXPECT_EQ(line.point, (std::pair{10.5, 200.0}));

    ASSERT_TRUE(Parse({"--monitor", "--world-map", "--help", "--bogus"}, line, error)) << error;
    EXPECT_TRUE(line.help);
    ASSERT_TRUE(Parse({"--probe", "--version", "a", "b"}, line, error)) << error;
    EXPECT_TRUE(line.version);
    EXPECT_FALSE(Parse({"--baud", "fast", "--help"}, line, error)) << "read before --help";
}

// Each mode with the options it allows: what the parser accepts is what the
// usage shows.
TEST(CommandLine, UsageHasOneFormForEachMode) {
    EXPECT_EQ(
        UsageText(),
        "Usage: ostrel [--port NAME] [--baud N] [--record FILE] [--world-map] [--show-route]\n"
        "              [--centre X,Y] [MAPFILE] [GPXFILE...]\n"
        "       ostrel --monitor [--port NAME] [--baud N] [--record FILE] [--ticks N]\n"
        "              [--interval-ms MS] [--goto LON,LAT]\n"
        "       ostrel --probe [--probe-tsv] [DEVICE...]\n"
        "       ostrel --export-gpx OUT.gpx [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
        "       ostrel --export-calibration MAP [--force]\n"
        "       ostrel --map-info MAP\n"
        "       ostrel --pixel-to-position MAP X,Y\n"
        "       ostrel --position-to-pixel MAP LON,LAT\n"
        "       ostrel --help | --version\n");
}

// Each case with the reason it must give, so that a refusal for another
// reason does not pass.
TEST(CommandLine, RefusesMalformedValuesAndStrayArguments) {
    const struct {
        std::vector<const char*> args;
        const char* reason;
    } cases[] = {
        {{"--port"}, "--port needs a value"},
        {{"--baud"}, "--baud needs a value"},
        {{"--baud", ""}, "--baud needs a bit rate of 1 or more, not \"\""},
        {{"--baud", "0"}, "--baud needs a bit rate"},
        {{"--baud", "-4800"}, "--baud needs a bit rate"},
        {{"--baud", "+4800"}, "--baud needs a bit rate"},
        {{"--baud", "4800x"}, "--baud needs a bit rate"},
        {{"--baud", " 4800"}, "--baud needs a bit rate"},
        {{"--baud", "2147483648"}, "--baud needs a bit rate"},
        {{"--baud", "99999999999999999999"}, "--baud needs a bit rate"},
        {{"--monitor", "--ticks", "-1"}, "--ticks needs a count of 0 or more"},
        {{"--monitor", "--ticks", "1.5"}, "--ticks needs a count of 0 or more"},
        {{"--monitor", "--interval-ms", "0"}, "--interval-ms needs milliseconds"},
        {{"--ticks", "3"}, "--ticks needs --monitor"},
        {{"--interval-ms", "3"}, "--interval-ms needs --monitor"},
        {{"--monitor", "map.bmp"}, "--monitor and MAPFILE cannot be used together"},
        {{"a.bmp", "b.bmp"}, "only one MAPFILE can be given"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"-x"}, "unknown option -x"},
        {{"--centre", "1000", "map.bmp"}, "--centre needs a map pixel X,Y"},
        {{"--centre", "1000,", "map.bmp"}, "--centre needs a map pixel X,Y"},
        {{"--centre", ",380", "map.bmp"}, "--centre needs a map pixel X,Y"},
        {{"--centre", "-1,380", "map.bmp"}, "--centre needs a map pixel X,Y"},
        {{"--centre", "1,2,3", "map.bmp"}, "--centre needs a map pixel X,Y"},
        {{"--centre", "1 ,2", "map.bmp"}, "--centre needs a map pixel X,Y"},
        {{"map.bmp", "--centre"}, "--centre needs a value"},
        {{"--centre", "1,2"}, "--centre needs MAPFILE"},
        {{"--show-route"}, "--show-route needs MAPFILE"},
        {{"--monitor", "--world-map"}, "--monitor and --world-map cannot be used together"},
        {{"--monitor", "--show-route"}, "--monitor and --show-route cannot be used together"},
        {{"--probe", "--monitor"}, "--probe and --monitor cannot be used together"},
        {{"--probe", "--port", "/dev/ttyUSB0"}, "--probe and --port cannot be used together"},
        {{"--probe", "--baud", "auto"}, "--probe and --baud cannot be used together"},
        {{"--baud", "Auto"}, "--baud needs a bit rate"},
        // Options of two modes: one of them used to be dropped without a word.
        {{"--export-gpx", "x.gpx", "--export-calibration", "m.bmp"},
         "--export-gpx and --export-calibration cannot be used together"},
        {{"--probe", "--export-calibration", "m.bmp"},
         "--probe and --export-calibration cannot be used together"},
        {{"--export-calibration", "m.bmp", "--port", "COM2"},
         "--export-calibration and --port cannot be used together"},
        {{"--record", "r.nmea", "--export-calibration", "m.bmp"},
         "--record and --export-calibration cannot be used together"},
        {{"--world-map", "--export-gpx", "x.gpx"},
         "--world-map and --export-gpx cannot be used together"},
        {{"--export-gpx", "x.gpx", "--baud", "9600"},
         "--export-gpx and --baud cannot be used together"},
        {{"--export-gpx", "x.gpx", "--force"}, "--export-gpx and --force cannot be used together"},
        {{"map.bmp", "--export-calibration", "m.bmp"},
         "MAPFILE and --export-calibration cannot be used together"},
        {{"--monitor", "--export-gpx", "x.gpx", "--probe"},
         "--monitor and --export-gpx cannot be used together"},
        {{"--from", "2024-06-01"}, "--from needs --export-gpx"},
        {{"--force"}, "--force needs --export-calibration"},
        {{"--export-gpx", "x.gpx", "--to", "30.6.2024"}, "--to needs a day YYYY-MM-DD"},
        {{"--monitor", "--goto", "181,0"}, "--goto needs a longitude and latitude"},
        {{"--goto", "1,2"}, "--goto needs --monitor"},
        // A query without its place, or with one that is no pair of numbers.
        {{"--pixel-to-position", "m.jpg"}, "--pixel-to-position needs X,Y"},
        {{"--position-to-pixel", "m.jpg"}, "--position-to-pixel needs LON,LAT"},
        {{"--pixel-to-position", "m.jpg", "1,nan"}, "X,Y needs a picture pixel X,Y"},
        {{"--pixel-to-position", "m.jpg", "1,2,3"}, "X,Y needs a picture pixel X,Y"},
        {{"--position-to-pixel", "m.jpg", "-x,2"}, "unknown option -x,2"},
        {{"--position-to-pixel", "m.jpg", "1e999,2"}, "LON,LAT needs a longitude"},
        {{"--map-info", "m.jpg", "--pixel-to-position", "m.jpg"},
         "--map-info and --pixel-to-position cannot be used together"},
    };
    for (const auto& c : cases) {
        CommandLine line;
        std::string error;
        std::string shown;
        for (const char* a : c.args)
            shown += std::string(a) + " ";
        EXPECT_FALSE(Parse(c.args, line, error)) << shown;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << shown << "gives: " << error;
    }
}

} // namespace
