#include "picture/picture_levels.h"

#include "tests/render/bmp_file.h"
#include "tests/test_support.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// A 24-bit w x h picture whose pixel (x, y) has channels that differ at
// every column and row, so a shift or a swapped channel shows.
std::string PatternBmp(int32_t w, int32_t h) {
    BmpLayout layout;
    layout.width = w;
    layout.height = h;
    const size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
    layout.bits.assign(stride * size_t(h), '\0');
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            char* p = &layout.bits[stride * size_t(h - 1 - y) + size_t(3 * x)];
            p[0] = char((x * 7 + y) & 0xFF);   // blue
            p[1] = char((x ^ (y * 3)) & 0xFF); // green
            p[2] = char((x + y * 5) & 0xFF);   // red
        }
    }
    return MakeBmp(layout);
}

std::vector<uint32_t> Pixels(const CDib& dib) {
    CDibDecoder decoder;
    std::vector<uint32_t> pixels(size_t(dib.GetWidth()) * size_t(dib.GetHeight()), kUnset);
    EXPECT_TRUE(
        decoder.Open(dib.m_pInfo.get(), dib.GetInfoSize(), dib.m_pBits.get(), dib.GetBitsSize()));
    decoder.DecodeRect({0, 0, dib.GetWidth(), dib.GetHeight()}, pixels.data(),
                       size_t(dib.GetWidth()));
    return pixels;
}

// Level k from level k - 1 the slow and obvious way: each channel the
// rounded mean of its 2 x 2 block, a lone last row or column counted twice.
std::vector<uint32_t> Halve(const std::vector<uint32_t>& above, int32_t w, int32_t h) {
    const int32_t hw = (w + 1) / 2, hh = (h + 1) / 2;
    std::vector<uint32_t> out(size_t(hw) * size_t(hh));
    for (int32_t y = 0; y < hh; ++y) {
        for (int32_t x = 0; x < hw; ++x) {
            const int32_t xs[] = {2 * x, std::min(2 * x + 1, w - 1)};
            const int32_t ys[] = {2 * y, std::min(2 * y + 1, h - 1)};
            uint32_t pixel = 0xFF000000;
            for (int shift : {0, 8, 16}) {
                unsigned sum = 2;
                for (int32_t yy : ys)
                    for (int32_t xx : xs)
                        sum += above[size_t(yy) * size_t(w) + size_t(xx)] >> shift & 0xFF;
                pixel |= (sum / 4) << shift;
            }
            out[size_t(y) * size_t(hw) + size_t(x)] = pixel;
        }
    }
    return out;
}

class PictureLevels : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ReadDib(base, PatternBmp(601, 303)), 0u);
        entry = (m_dir.Path() / "0123456789abcdef.bmp").string();
    }

    // Every level is whole and holds the halved level above it.
    void ExpectLevelsOfTheBase(const CPictureLevels& levels) {
        ASSERT_EQ(levels.Count(), 2) << "601 x 303: 301 x 152, then 151 x 76";
        std::vector<uint32_t> above = Pixels(base);
        int32_t w = base.GetWidth(), h = base.GetHeight();
        for (int k = 1; k <= levels.Count(); ++k) {
            SCOPED_TRACE(k);
            const std::vector<uint32_t> expected = Halve(above, w, h);
            w = (w + 1) / 2;
            h = (h + 1) / 2;
            ASSERT_EQ(levels.Level(k).GetWidth(), w);
            ASSERT_EQ(levels.Level(k).GetHeight(), h);
            const std::vector<uint32_t> got = Pixels(levels.Level(k));
            int wrong = 0;
            for (size_t i = 0; i < got.size() && wrong < 3; ++i) {
                if (got[i] != expected[i]) {
                    ++wrong;
                    ADD_FAILURE() << "level " << k << " pixel " << i % size_t(w) << ","
                                  << i / size_t(w) << ": " << std::hex << got[i] << " not "
                                  << expected[i];
                }
            }
            above = expected;
        }
    }

    TempDir m_dir;
    CDib base;
    std::string entry;
};

TEST(PictureLevelSizes, HalveDownToAQuarterThousandPixelsAndCostAThird) {
    EXPECT_EQ(LevelCount(256, 100), 0);
    EXPECT_EQ(LevelCount(257, 1), 1);
    EXPECT_EQ(LevelCount(20000, 20000), 7); // 10000 ... 157
    EXPECT_EQ(LevelSide(20000, 7), 157);
    EXPECT_EQ(LevelSide(601, 1), 301) << "a lone last column makes a pixel of its own";
    EXPECT_EQ(LevelPath("/c/0123.bmp", 2), "/c/0123.L2.bmp");
    // The levels take at most 34 % of a 32-bit picture's room.
    const double base = 20000.0 * 20000.0 * 4;
    EXPECT_LE(double(LevelBytes(20000, 20000)), 0.34 * base);
}

// Catches wrong rounding, a channel mixed into another, a row or column
// shifted, and a lone last row or column dropped or read past the edge.
TEST_F(PictureLevels, EachLevelAveragesTwoByTwoBlocksOfTheOneAbove) {
    CPictureLevels levels;
    EXPECT_EQ(levels.Open(entry, base.GetWidth(), base.GetHeight()), 0);
    std::string problem;
    ASSERT_TRUE(levels.OpenOrBuild(entry, base, problem)) << problem;
    ExpectLevelsOfTheBase(levels);
    // Opened again they are read, not made again.
    const auto made = fs::last_write_time(LevelPath(entry, 1));
    CPictureLevels again;
    ASSERT_TRUE(again.OpenOrBuild(entry, base, problem));
    EXPECT_EQ(fs::last_write_time(LevelPath(entry, 1)), made);
}

// Catches levels drawn as garbage: one missing, one cut short (a build or
// a disk that stopped half-way), one left by another picture under this
// name, or a build killed before it put its files in place.
TEST_F(PictureLevels, MissingPartlyWrittenOrStaleLevelsAreRebuilt) {
    std::string problem;
    {
        // Killed while building: only the temporary files existed.
        CLevelWriter writer(entry);
        ASSERT_TRUE(writer.Begin(base.GetWidth(), base.GetHeight()));
        std::vector<uint32_t> row(size_t(base.GetWidth()), 0);
        for (int i = 0; i < 100; ++i)
            writer.PutRow(row.data());
    }
    for (const auto& e : fs::directory_iterator(m_dir.Path()))
        ADD_FAILURE() << "left behind: " << e.path();

    const std::function<void()> damages[] = {
        [&] { fs::remove(LevelPath(entry, 2)); },
        [&] { fs::resize_file(LevelPath(entry, 1), fs::file_size(LevelPath(entry, 1)) / 2); },
        [&] { std::ofstream(LevelPath(entry, 1), std::ios::binary) << PatternBmp(300, 152); },
        [&] { std::ofstream(LevelPath(entry, 2), std::ios::binary) << "BM"; },
    };
    for (size_t i = 0; i < std::size(damages); ++i) {
        SCOPED_TRACE(i);
        CPictureLevels levels;
        ASSERT_TRUE(levels.OpenOrBuild(entry, base, problem)) << problem;
        levels.Free();
        damages[i]();
        CPictureLevels reopened;
        EXPECT_LT(reopened.Open(entry, base.GetWidth(), base.GetHeight()), 2);
        ASSERT_TRUE(reopened.OpenOrBuild(entry, base, problem)) << problem;
        ExpectLevelsOfTheBase(reopened);
    }
}

} // namespace
