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

TEST(CommandLine, RefusesMalformedValuesAndStrayArguments) {
    const std::vector<const char*> cases[] = {
        {"--port"},
        {"--baud"},
        {"--baud", ""},
        {"--baud", "0"},
        {"--baud", "-4800"},
        {"--baud", "+4800"},
        {"--baud", "4800x"},
        {"--baud", " 4800"},
        {"--baud", "2147483648"},
        {"--baud", "99999999999999999999"},
        {"--monitor", "--ticks", "-1"},
        {"--monitor", "--ticks", "1.5"},
        {"--monitor", "--interval-ms", "0"},
        {"--ticks", "3"},
        {"--interval-ms", "3"},
        {"--monitor", "map.bmp"},
        {"a.bmp", "b.bmp"},
        {"--bogus"},
        {"-x"},
        {"--centre", "1000", "map.bmp"},
        {"--centre", "1000,", "map.bmp"},
        {"--centre", ",380", "map.bmp"},
        {"--centre", "-1,380", "map.bmp"},
        {"--centre", "1,2,3", "map.bmp"},
        {"--centre", "1 ,2", "map.bmp"},
        {"map.bmp", "--centre"},
        {"--centre", "1,2"},
        {"--show-route"},
        {"--monitor", "--world-map"},
        {"--monitor", "--show-route"},
        {"--probe", "--monitor"},
        {"--probe", "--port", "/dev/ttyUSB0"},
        {"--probe", "--baud", "auto"},
        {"--baud", "Auto"},
    };
    for (const auto& args : cases) {
        CommandLine line;
        std::string error;
        std::string shown;
        for (const char* a : args)
            shown += std::string(a) + " ";
        EXPECT_FALSE(Parse(args, line, error)) << shown;
        EXPECT_FALSE(error.empty()) << shown;
    }
}

} // namespace
