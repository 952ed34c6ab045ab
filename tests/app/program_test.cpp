// The program's answers that need no window: version, usage, a bad option.

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    std::string out; // standard output and error, in that order of writing
    int exitCode = -1;
};

Outcome RunProgram(const std::string& arguments) {
    const std::string command = "'" OSTREL_PROGRAM "' " + arguments + " 2>&1";
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return outcome;
    std::array<char, 256> buffer{};
    while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
        outcome.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(Program, VersionHelpAndBadOptionsAnswerWithoutAWindow) {
    // No display is needed: none of these may open one.
    const Outcome version = RunProgram("--version");
    EXPECT_EQ(version.out, "Ostrel 1.0.0.1\n");
    EXPECT_EQ(version.exitCode, 0);

    const Outcome help = RunProgram("--help map.bmp");
    EXPECT_EQ(
        help.out.rfind("Usage: ostrel [--port NAME] [--baud N] [--record FILE] [--world-map] "
                       "[--show-route]\n              [--centre X,Y] [MAPFILE] [GPXFILE...]\n",
                       0),
        0u)
        << help.out;
    // Each option heads a line of its own help, which follows on that line or the next.
    for (const char* option :
         {"--port NAME", "--baud N", "--world-map", "--show-route", "--centre X,Y", "--monitor",
          "--ticks N", "--interval-ms MS", "--record FILE", "--probe", "--export-gpx OUT.gpx",
          "--from YYYY-MM-DD", "--to YYYY-MM-DD", "--export-calibration MAP", "--force"}) {
        const std::string head = "\n  " + std::string(option);
        EXPECT_TRUE(help.out.find(head + ' ') != std::string::npos ||
                    help.out.find(head + '\n') != std::string::npos)
            << option;
    }
    EXPECT_EQ(help.exitCode, 0);

    const Outcome bad = RunProgram("--baud fast");
    EXPECT_EQ(bad.out.rfind("ostrel: --baud needs a bit rate", 0), 0u) << bad.out;
    EXPECT_NE(bad.out.find("Usage:"), std::string::npos);
    EXPECT_EQ(bad.exitCode, 2);
}

} // namespace
