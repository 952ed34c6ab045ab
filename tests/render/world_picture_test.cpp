// The built-in world picture, read from the source tree: its format and
// colour table, and the pixels that the world calibration relies on.

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

constexpr int kWidth = 540;
constexpr int kHeight = 341;
constexpr int kStride = 272; // [byte] 540 pixels of 4 bits, padded to 4 bytes
constexpr int kBitsOffset = 14 + 40 + 16 * 4;
constexpr int kBlack = 0;
constexpr int kYellow = 11;
constexpr int kWhite = 15;
constexpr std::array kMeridians = {21, 63, 104, 146, 187, 229, 270, 311, 353, 394, 436, 477, 519};
constexpr std::array kParallels = {46, 88, 129, 170, 212, 253, 295};

uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

class WorldPicture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_bytes = ReadFileBytes(OSTREL_WORLD_PICTURE); }

    void SetUp() override { ASSERT_EQ(s_bytes.size(), size_t{92870}) << OSTREL_WORLD_PICTURE; }

    // Colour index of picture pixel (x, y), y counted from the top; rows are stored bottom-up.
    static int Pixel(int x, int y) {
        const auto byte =
            static_cast<uint8_t>(s_bytes[kBitsOffset + (kHeight - 1 - y) * kStride + x / 2]);
        return x % 2 ? byte & 0x0F : byte >> 4;
    }

    // The pixel of a geographic position by the world calibration [arc-s].
    static int PixelAt(int lonSec, int latSec) {
        const int x = static_cast<int>(498.0 * (lonSec + 648000) / 1296000) + 21;
        const int y = static_cast<int>(249.0 * (latSec - 324000) / -648000) + 46;
        return Pixel(x, y);
    }

    static inline std::string s_bytes;
};

TEST_F(WorldPicture, HeadersDescribeAnUncompressed4BitBottomUpPicture) {
    EXPECT_EQ(s_bytes.substr(0, 2), "BM");
    EXPECT_EQ(U32(s_bytes, 2), 92870u);
    EXPECT_EQ(U32(s_bytes, 10), uint32_t{kBitsOffset});
    EXPECT_EQ(U32(s_bytes, 14), 40u);
    EXPECT_EQ(static_cast<int32_t>(U32(s_bytes, 18)), kWidth);
    EXPECT_EQ(static_cast<int32_t>(U32(s_bytes, 22)), kHeight);
    EXPECT_EQ(U16(s_bytes, 26), 1);
    EXPECT_EQ(U16(s_bytes, 28), 4);
    EXPECT_EQ(U32(s_bytes, 30), 0u);
    const uint32_t used = U32(s_bytes, 46);
    EXPECT_TRUE(used == 0 || used == 16) << used;
}

TEST_F(WorldPicture, ColourTableHoldsTheSixteenStandardColours) {
    constexpr std::array<std::array<int, 3>, 16> rgb = {{{0, 0, 0},
                                                         {128, 0, 0},
                                                         {0, 128, 0},
                                                         {128, 128, 0},
                                                         {0, 0, 128},
                                                         {128, 0, 128},
                                                         {0, 128, 128},
                                                         {192, 192, 192},
                                                         {128, 128, 128},
                                                         {255, 0, 0},
                                                         {0, 255, 0},
                                                         {255, 255, 0},
                                                         {0, 0, 255},
                                                         {255, 0, 255},
                                                         {0, 255, 255},
                                                         {255, 255, 255}}};
    for (size_t i = 0; i < rgb.size(); ++i) {
        const size_t at = 54 + 4 * i; // blue, green, red, reserved
        EXPECT_EQ(static_cast<uint8_t>(s_bytes[at + 2]), rgb[i][0]) << "entry " << i;
        EXPECT_EQ(static_cast<uint8_t>(s_bytes[at + 1]), rgb[i][1]) << "entry " << i;
        EXPECT_EQ(static_cast<uint8_t>(s_bytes[at]), rgb[i][2]) << "entry " << i;
    }
}

TEST_F(WorldPicture, UsesOnlyBlackYellowAndWhite) {
    std::set<int> used;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            used.insert(Pixel(x, y));
    EXPECT_EQ(used, (std::set<int>{kBlack, kYellow, kWhite}));
}

TEST_F(WorldPicture, FrameIsOneBlackPixelAllRound) {
    for (int x = 0; x < kWidth; ++x) {
        EXPECT_EQ(Pixel(x, 0), kBlack) << "x " << x;
        EXPECT_EQ(Pixel(x, kHeight - 1), kBlack) << "x " << x;
    }
    for (int y = 0; y < kHeight; ++y) {
        EXPECT_EQ(Pixel(0, y), kBlack) << "y " << y;
        EXPECT_EQ(Pixel(kWidth - 1, y), kBlack) << "y " << y;
    }
    // Inside the frame, the margins start white.
    for (int x = 1; x < kWidth - 1; ++x)
        EXPECT_EQ(Pixel(x, 1), kWhite) << "x " << x;
    for (int y = 1; y < kHeight - 1; ++y)
        EXPECT_EQ(Pixel(1, y), kWhite) << "y " << y;
}

TEST_F(WorldPicture, GraticuleLinesRunTheFullMapArea) {
    for (int x : kMeridians)
        for (int y = 46; y <= 295; ++y)
            ASSERT_EQ(Pixel(x, y), kBlack) << "meridian x " << x << " at y " << y;
    for (int y : kParallels)
        for (int x = 21; x <= 519; ++x)
            ASSERT_EQ(Pixel(x, y), kBlack) << "parallel y " << y << " at x " << x;
}

TEST_F(WorldPicture, NothingIsDrawnBelowOrLeftOfTheMapArea) {
    for (int y = 296; y < kHeight - 1; ++y)
        for (int x = 1; x < kWidth - 1; ++x)
            ASSERT_EQ(Pixel(x, y), kWhite) << "(" << x << ", " << y << ")";
    for (int y = 1; y < kHeight - 1; ++y)
        for (int x = 1; x < 5; ++x)
            ASSERT_EQ(Pixel(x, y), kWhite) << "(" << x << ", " << y << ")";
}

// Black pixels of the top margin within +-30 pixels of each labelled meridian
// must be centred on it; those of the right margin on each labelled parallel.
TEST_F(WorldPicture, LabelsAreCentredOnTheirLines) {
    for (size_t i = 0; i < kMeridians.size(); i += 2) {
        const int m = kMeridians[i];
        int lo = kWidth, hi = -1;
        for (int y = 1; y < 46; ++y)
            for (int x = std::max(1, m - 30); x <= std::min(kWidth - 2, m + 30); ++x)
                if (Pixel(x, y) == kBlack) {
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                }
        ASSERT_GE(hi, lo) << "no label above meridian x " << m;
        EXPECT_LE(std::abs(lo + hi - 2 * m), 2)
            << "label above x " << m << " spans " << lo << ".." << hi;
    }
    for (size_t i = 1; i + 1 < kParallels.size(); ++i) {
        const int p = kParallels[i];
        int lo = kHeight, hi = -1;
        for (int y = p - 15; y <= p + 15; ++y)
            for (int x = 520; x < kWidth - 1; ++x)
                if (Pixel(x, y) == kBlack) {
                    lo = std::min(lo, y);
                    hi = std::max(hi, y);
                }
        ASSERT_GE(hi, lo) << "no label beside parallel y " << p;
        EXPECT_LE(std::abs(lo + hi - 2 * p), 2)
            << "label beside y " << p << " spans " << lo << ".." << hi;
    }
}

struct Place {
    const char* name;
    int lonDeg;
    int latDeg;
    int colour;
};

TEST_F(WorldPicture, SeaIsWhiteAndLandYellowWhereTheCalibrationPutsThem) {
    const Place places[] = {
        {"mid-Pacific", -140, 10, kWhite},        {"North Pacific", 170, 35, kWhite},
        {"mid-Atlantic", -35, 25, kWhite},        {"South Atlantic", -15, -40, kWhite},
        {"Indian Ocean", 80, -25, kWhite},        {"central Africa", 22, 5, kYellow},
        {"central Asia", 70, 48, kYellow},        {"Brazil", -50, -10, kYellow},
        {"Australia", 134, -25, kYellow},         {"Canada", -100, 55, kYellow},
        {"Antarctic interior", 15, -80, kYellow}, {"Greenland", -40, 72, kYellow},
    };
    for (const Place& p : places)
        EXPECT_EQ(PixelAt(p.lonDeg * 3600, p.latDeg * 3600), p.colour)
            << p.name << " (" << p.lonDeg << ", " << p.latDeg << ")";
}

} // namespace
