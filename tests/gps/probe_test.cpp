#include "gps/probe.h"

#include <gtest/gtest.h>

namespace {

// Find Receiver reads the probe's result from this line. Read back by
// pattern from the human row, a port with a space in its name came back cut
// at the space; any byte of a name or row must come back as it was.
TEST(ProbeResultLine, ReadsBackWhatWasWritten) {
    const ProbeResult cases[] = {
        {"/dev/ttyUSB0", "/dev/serial/by-id/usb-GPS_Mouse-if00-port0", 4800, "", "row"},
        {"/tmp/my receiver", "/tmp/my receiver", 38400, "", "/tmp/my receiver  38400 bit/s"},
        {"/dev/ttyS0", "/dev/ttyS0", 0, "no such device.", "/dev/ttyS0  no such device."},
        {"a\tb\\tc\\", "d\ne\\n", 115200, "\\", "USB 1546:01a7 \"tab\there\""},
        {"", "", 0, "", ""},
    };
    for (const ProbeResult& c : cases) {
        const std::string line = ProbeResultLine(c);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "one line each";
        ProbeResult read;
        ASSERT_TRUE(ReadProbeResultLine(line, read));
        EXPECT_EQ(read.device, c.device);
        EXPECT_EQ(read.port, c.port);
        EXPECT_EQ(read.baudRate, c.baudRate);
        EXPECT_EQ(read.failure, c.failure);
        EXPECT_EQ(read.row, c.row);
    }
}

// A cut, garbled or foreign line (the human output, a crash message) must
// not give a port or rate to open.
TEST(ProbeResultLine, RefusesAnyOtherLine) {
    for (const char* line : {
             "/dev/ttyUSB0  4800 bit/s  talkers GP  sentences GGA RMC  fix",
             "ostrel --port /dev/ttyUSB0 --baud 4800",
             "a\tb\t4800\tc",           // a field missing
             "a\tb\t4800\tc\td\te",     // one too many
             "a\tb\t\tc\td",            // no rate
             "a\tb\t-4800\tc\td",       // negative rate
             "a\tb\t4800x\tc\td",       // rate with more after it
             "a\tb\t99999999999\tc\td", // rate past int
             "a\tb\t4800\tc\td\\",      // cut inside an escape
             "a\\x\tb\t4800\tc\td",     // unknown escape
             "a\tb\t4800\tc\td\n",      // a newline inside
         }) {
        ProbeResult read;
        EXPECT_FALSE(ReadProbeResultLine(line, read)) << line;
    }
}

} // namespace
