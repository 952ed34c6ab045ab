// The demo data shipped in res/demo: the receiver log must parse and stay
// on the demo map, the map must be a sound 8-bit bitmap, and its
// calibration line must match the graticule drawn on it.

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::filesystem::path kDemoDir = OSTREL_DEMO_DIR;

uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

// The map decoded to one palette index per pixel, rows top-down.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::array<uint8_t, 3>> palette; // red, green, blue
    std::vector<uint8_t> pixels;

    const std::array<uint8_t, 3>& Rgb(int x, int y) const {
        return palette.at(pixels.at(static_cast<size_t>(y) * width + x));
    }
};

// Reads an 8-bit BI_RGB or BI_RLE8 bitmap; a message on the first fault.
std::string Decode(const std::string& b, Picture& pic) {
    if (b.size() < 54 || b.compare(0, 2, "BM") != 0)
        return "no BM header";
    if (U32(b, 2) != b.size())
        return "bfSize " + std::to_string(U32(b, 2)) + " for " + std::to_string(b.size()) +
               " bytes";
    if (U32(b, 14) != 40)
        return "header size " + std::to_string(U32(b, 14));
    pic.width = static_cast<int32_t>(U32(b, 18));
    pic.height = static_cast<int32_t>(U32(b, 22));
    const uint32_t compression = U32(b, 30);
    uint32_t colours = U32(b, 46);
    if (colours == 0)
        colours = 256;
    const uint32_t offset = U32(b, 10);
    if (pic.width <= 0 || pic.height <= 0 || U16(b, 26) != 1 || U16(b, 28) != 8 || colours > 256)
        return "not a bottom-up 8-bit picture";
    if (compression != 0 && compression != 1)
        return "compression " + std::to_string(compression);
    if (offset < 54 + 4 * colours || offset > b.size())
        return "bfOffBits " + std::to_string(offset);
    for (uint32_t i = 0; i < colours; ++i) {
        const size_t at = 54 + 4 * i;
        pic.palette.push_back({static_cast<uint8_t>(b[at + 2]), static_cast<uint8_t>(b[at + 1]),
                               static_cast<uint8_t>(b[at])});
    }
    const size_t w = static_cast<size_t>(pic.width), h = static_cast<size_t>(pic.height);
    pic.pixels.assign(w * h, 0);
    if (compression == 0) {
        const size_t stride = (w + 3) / 4 * 4;
        if (b.size() - offset < stride * h)
            return "pixel block too short";
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                pic.pixels[y * w + x] = static_cast<uint8_t>(b[offset + (h - 1 - y) * stride + x]);
        return {};
    }
    size_t at = offset, x = 0, row = 0; // row counts from the bottom
    auto put = [&](uint8_t index) {
        if (x >= w || row >= h)
            return false;
        pic.pixels[(h - 1 - row) * w + x++] = index;
        return true;
    };
    while (at + 1 < b.size()) {
        const auto count = static_cast<uint8_t>(b[at]), value = static_cast<uint8_t>(b[at + 1]);
        at += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k)
                if (!put(value))
                    return "run past the row end in row " + std::to_string(row);
        } else if (value == 0) {
            if (x != w)
                return "row " + std::to_string(row) + " has " + std::to_string(x) + " pixels";
            x = 0;
            ++row;
        } else if (value == 1) {
            return row == h ? std::string()
                            : "end of bitmap after " + std::to_string(row) + " rows";
        } else if (value == 2) {
            return "delta escape"; // the generator never skips pixels
        } else {
            if (at + value > b.size())
                return "literal run past the end of the file";
            for (int k = 0; k < value; ++k)
                if (!put(static_cast<uint8_t>(b[at + k])))
                    return "literal run past the row end in row " + std::to_string(row);
            at += value + (value & 1);
        }
    }
    return "no end of bitmap";
}

// x1,y1,lon1,lat1,x2,y2,lon2,lat2 [pixel, arc-s].
std::optional<std::array<long, 8>> ReadCalibration() {
    const std::string text = ReadFileBytes(kDemoDir / "demo_map.cal");
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return std::nullopt;
    std::array<long, 8> v{};
    const char* p = text.c_str();
    for (size_t i = 0; i < v.size(); ++i) {
        char* end = nullptr;
        v[i] = std::strtol(p, &end, 10);
        if (end == p || *end != (i + 1 < v.size() ? ',' : '\r'))
            return std::nullopt;
        p = end + 1;
    }
    return v;
}

// Fields between commas and the asterisk, empty ones kept.
std::vector<std::string> Fields(const std::string& sentence) {
    std::vector<std::string> out(1);
    for (char c : sentence) {
        if (c == ',' || c == '*')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

// A line "$...*HH" whose checksum is right; false for any other line.
bool ChecksumHolds(const std::string& line) {
    const size_t star = line.find('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos || star + 3 != line.size())
        return false;
    unsigned sum = 0;
    for (size_t i = 1; i < star; ++i)
        sum ^= static_cast<uint8_t>(line[i]);
    char* end = nullptr;
    const std::string digits = line.substr(star + 1);
    return std::strtoul(digits.c_str(), &end, 16) == sum && *end == '\0';
}

// ddmm.mmmm or dddmm.mmmm with its hemisphere, to arc-seconds.
double ArcSeconds(const std::string& value, const std::string& hemisphere, int degreeDigits) {
    const double degrees = std::stod(value.substr(0, degreeDigits));
    const double minutes = std::stod(value.substr(degreeDigits));
    const double sec = degrees * 3600 + minutes * 60;
    return hemisphere == "S" || hemisphere == "W" ? -sec : sec;
}

class DemoData : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_log = ReadFileBytes(kDemoDir / "demo_track.nmea");
        s_mapError = Decode(ReadFileBytes(kDemoDir / "demo_map.bmp"), s_map);
        s_cal = ReadCalibration();
        std::string line;
        for (size_t i = 0; i < s_log.size(); ++i) {
            if (s_log[i] == '\n') {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                s_lines.push_back(line);
                line.clear();
            } else {
                line += s_log[i];
            }
        }
    }

    void SetUp() override {
        ASSERT_FALSE(s_log.empty()) << kDemoDir / "demo_track.nmea";
        ASSERT_EQ(s_mapError, "") << kDemoDir / "demo_map.bmp";
        ASSERT_TRUE(s_cal.has_value()) << "demo_map.cal is not one line of eight integers";
    }

    // Map pixel of a position by the linear calibration [arc-s].
    static std::array<double, 2> ToPixel(double lonSec, double latSec) {
        const auto& c = *s_cal;
        return {c[0] + (lonSec - c[2]) * (c[4] - c[0]) / (c[6] - c[2]),
                c[1] + (latSec - c[3]) * (c[5] - c[1]) / (c[7] - c[3])};
    }

    // Positions of the valid RMC and GGA sentences with intact checksums [arc-s].
    static std::vector<std::pair<std::string, std::array<double, 2>>> Fixes() {
        std::vector<std::pair<std::string, std::array<double, 2>>> out;
        for (const std::string& line : s_lines) {
            if (!ChecksumHolds(line))
                continue;
            const auto f = Fields(line);
            if (f[0] == "$GPRMC" && f.size() > 6 && f[2] == "A")
                out.push_back({line, {ArcSeconds(f[5], f[6], 3), ArcSeconds(f[3], f[4], 2)}});
            else if (f[0] == "$GPGGA" && f.size() > 6 && f[6] != "0")
                out.push_back({line, {ArcSeconds(f[4], f[5], 3), ArcSeconds(f[2], f[3], 2)}});
        }
        return out;
    }

    static inline std::string s_log;
    static inline std::vector<std::string> s_lines;
    static inline Picture s_map;
    static inline std::string s_mapError;
    static inline std::optional<std::array<long, 8>> s_cal;
};

TEST_F(DemoData, LogLinesEndInCrLfAndOnlyAFewAreDamaged) {
    EXPECT_EQ(s_log.substr(s_log.size() - 2), "\r\n");
    size_t lineFeeds = 0, crLf = 0;
    for (size_t i = 0; i < s_log.size(); ++i)
        if (s_log[i] == '\n') {
            ++lineFeeds;
            crLf += i > 0 && s_log[i - 1] == '\r';
        }
    EXPECT_EQ(crLf, lineFeeds);
    int damaged = 0;
    for (const std::string& line : s_lines)
        damaged += !ChecksumHolds(line);
    EXPECT_GE(damaged, 1);
    EXPECT_LE(damaged, 5);
}

TEST_F(DemoData, EveryIntactSentenceOfTheThreeTypesParses) {
    int rmc = 0, gga = 0, vtg = 0;
    for (const std::string& line : s_lines) {
        if (!ChecksumHolds(line))
            continue;
        const auto f = Fields(line);
        if (f[0] == "$GPRMC") {
            ++rmc;
            ASSERT_EQ(f.size(), 14u) << line;
            ASSERT_TRUE(f[2] == "A" || f[2] == "V") << line;
            ASSERT_EQ(f[1].size(), 9u) << line;
            ASSERT_EQ(f[9].size(), 6u) << line;
            if (f[2] == "A") {
                ASSERT_EQ(f[3].size(), 9u) << line;
                ASSERT_EQ(f[5].size(), 10u) << line;
                ASSERT_TRUE(f[4] == "N" && f[6] == "E") << line;
            }
        } else if (f[0] == "$GPGGA") {
            ++gga;
            ASSERT_EQ(f.size(), 16u) << line;
            if (f[6] != "0") {
                ASSERT_EQ(f[6], "1") << line;
                ASSERT_FALSE(f[9].empty() || f[11].empty()) << line;
            }
        } else if (f[0] == "$GPVTG") {
            ++vtg;
            ASSERT_EQ(f.size(), 11u) << line;
            if (!f[5].empty()) {
                const double course = std::stod(f[1]);
                ASSERT_TRUE(course >= 0 && course < 360) << line;
                // Both speeds are rounded to 0.1 [knot, km/h].
                ASSERT_NEAR(std::stod(f[5]) * 1.852, std::stod(f[7]), 0.15) << line;
            }
        }
    }
    // One epoch a second for 20 to 40 minutes; the damaged sentences are missing.
    EXPECT_GE(rmc, 1200);
    EXPECT_LE(rmc, 2400);
    EXPECT_NEAR(gga, rmc, 3);
    EXPECT_NEAR(vtg, rmc, 3);
}

TEST_F(DemoData, EpochsFollowEachOtherSecondBySecondWithinTheLineRate) {
    // At 4800 bit/s a receiver sends at most 480 bytes a second.
    size_t start = s_log.find("$GPRMC");
    int previous = -1;
    while (start != std::string::npos) {
        const size_t next = s_log.find("$GPRMC", start + 1);
        const std::string epoch = s_log.substr(start, next - start);
        EXPECT_LE(epoch.size(), 480u) << epoch;
        const std::string time = epoch.substr(7, 6);
        const int sec = std::stoi(time.substr(0, 2)) * 3600 + std::stoi(time.substr(2, 2)) * 60 +
                        std::stoi(time.substr(4, 2));
        if (previous >= 0) {
            ASSERT_EQ(sec, previous + 1) << epoch;
        }
        previous = sec;
        start = next;
    }
}

TEST_F(DemoData, FixesMoveNoFasterThanTheBoat) {
    // 35 knots is 18 m/s; the receiver's wander adds a little.
    double lastTime = -1;
    std::array<double, 2> last{};
    std::string lastLine;
    for (const auto& [line, pos] : Fixes()) {
        if (line.compare(0, 6, "$GPRMC") != 0)
            continue;
        const double time = std::stod(line.substr(7, 2)) * 3600 +
                            std::stod(line.substr(9, 2)) * 60 +
                            std::stod(line.substr(11, 5)); // [s]
        if (lastTime >= 0) {
            const double metresPerArcSec = 1852.0 / 60;
            const double east = (pos[0] - last[0]) * metresPerArcSec *
                                std::cos(pos[1] / 3600 * std::numbers::pi / 180);
            const double north = (pos[1] - last[1]) * metresPerArcSec;
            ASSERT_LT(std::hypot(east, north) / (time - lastTime), 21.0) << lastLine << "\n"
                                                                         << line;
        }
        lastTime = time;
        last = pos;
        lastLine = line;
    }
    ASSERT_GE(lastTime, 0) << "no fix";
}

TEST_F(DemoData, CalibrationPointsLieOnTheGraticuleFarApart) {
    const auto& c = *s_cal;
    EXPECT_GE(std::abs(c[4] - c[0]), s_map.width / 2);
    EXPECT_GE(std::abs(c[5] - c[1]), s_map.height / 2);
    // Whole or quarter degrees, on pixels where a meridian and a parallel cross.
    const std::array<uint8_t, 3> grey = {120, 120, 120};
    for (int p = 0; p < 2; ++p) {
        const long x = c[4 * p], y = c[4 * p + 1];
        EXPECT_EQ(c[4 * p + 2] % 900, 0) << "point " << p + 1;
        EXPECT_EQ(c[4 * p + 3] % 900, 0) << "point " << p + 1;
        ASSERT_TRUE(x > 50 && y > 50 && x < s_map.width - 50 && y < s_map.height - 50);
        for (int d : {-40, -20, 0, 20, 40}) {
            EXPECT_EQ(s_map.Rgb(static_cast<int>(x + d), static_cast<int>(y)), grey)
                << "parallel through point " << p + 1 << " at dx " << d;
            EXPECT_EQ(s_map.Rgb(static_cast<int>(x), static_cast<int>(y + d)), grey)
                << "meridian through point " << p + 1 << " at dy " << d;
        }
    }
}

TEST_F(DemoData, TheCrossingStaysOnTheMapAndOnTheWater) {
    const std::array<uint8_t, 3> land = {238, 234, 220};
    const auto fixes = Fixes();
    ASSERT_FALSE(fixes.empty());
    for (const auto& [line, pos] : fixes) {
        const auto [x, y] = ToPixel(pos[0], pos[1]);
        ASSERT_TRUE(x >= 0 && y >= 0 && x < s_map.width && y < s_map.height)
            << line << " at pixel (" << x << ", " << y << ")";
        EXPECT_NE(s_map.Rgb(static_cast<int>(x), static_cast<int>(y)), land)
            << line << " at pixel (" << x << ", " << y << ")";
    }
}

} // namespace
