#include "platform/dib_decoder.h"
#include "tests/render/bmp_file.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

// Table entries 0..5 of the small test pictures.
const std::vector<uint32_t> kPalette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080};

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += char(b);
    return s;
}
std::string Le(std::initializer_list<uint32_t> values, int width) {
    std::string s;
    for (uint32_t v : values)
        for (int i = 0; i < width; ++i)
            s += char((v >> (8 * i)) & 0xFF);
    return s;
}

std::string Hex(uint32_t v) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

// Every rectangle decodes to the same pixels as that region of the whole
// picture, and leaves the part outside the picture untouched.
void ExpectRectsMatchWholePicture(const Picture& p, const std::string& name) {
    const int32_t w = p.width, h = p.height;
    const CRect rects[] = {
        {0, 0, w, h},
        {w / 5, h / 7, w / 2 + 1, h - 1},
        {-5, -3, w / 3 + 1, h / 2 + 1},
        {w - 2, h - 2, w + 9, h + 4},
        {w - 1, h - 1, w, h},
        {w / 2, 0, w / 2 + 1, h},
        {0, h / 2, w, h / 2 + 1},
        {w, 0, w + 3, 2},
    };
    for (const CRect& r : rects) {
        std::vector<uint32_t> out(size_t(r.Width()) * size_t(r.Height()), kUnset);
        p.decoder.DecodeRect(r, out.data(), size_t(r.Width()));
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x) {
                const bool inside = x >= 0 && y >= 0 && x < w && y < h;
                const uint32_t want = inside ? p.At(x, y) : kUnset;
                const uint32_t got =
                    out[size_t(y - r.top) * size_t(r.Width()) + size_t(x - r.left)];
                if (got != want) {
                    ADD_FAILURE() << name << " rect " << r.left << "," << r.top << "," << r.right
                                  << "," << r.bottom << " pixel " << x << "," << y << ": "
                                  << Hex(got) << " want " << Hex(want);
                    return;
                }
            }
    }
    // Pixels picked by column, backwards and again, as a drawing made smaller
    // or larger picks them; a run-length picture leaves that to whole rows.
    std::vector<int32_t> columns;
    for (int32_t x = w - 1; x >= 0; x -= 2)
        columns.push_back(x);
    columns.push_back(0);
    for (int32_t y = 0; y < h; ++y) {
        std::vector<uint32_t> out(columns.size(), kUnset);
        if (!p.decoder.DecodeColumns(y, columns.data(), columns.size(), out.data())) {
            EXPECT_EQ(out, std::vector<uint32_t>(columns.size(), kUnset)) << name;
            return;
        }
        for (size_t i = 0; i < columns.size(); ++i) {
            if (out[i] != p.At(columns[i], y)) {
                ADD_FAILURE() << name << " column " << columns[i] << " of row " << y << ": "
                              << Hex(out[i]) << " want " << Hex(p.At(columns[i], y));
                return;
            }
        }
    }
}

// The pictures of a small format table: 3 x 2 pixels, top row red, green,
// blue, bottom row white, black, grey, unless said otherwise.
struct FormatCase {
    const char* what;
    BmpLayout layout;
    std::vector<uint32_t> want;
};

BmpLayout Layout(uint16_t bitCount, std::string bits, uint32_t compression = 0) {
    BmpLayout b;
    b.width = 3;
    b.height = 2;
    b.bitCount = bitCount;
    b.compression = compression;
    if (bitCount <= 8)
        b.colors = kPalette;
    b.bits = std::move(bits);
    return b;
}

std::vector<FormatCase> FormatCases() {
    const std::vector<uint32_t> usual = {kRed, kGreen, kBlue, kWhite, kBlack, 0xFF808080};
    std::vector<FormatCase> cases;
    cases.push_back({"8-bit", Layout(8, Bytes({4, 0, 5, 0, 1, 2, 3, 0})), usual});
    FormatCase topDown{"8-bit top-down", Layout(8, Bytes({1, 2, 3, 0, 4, 0, 5, 0})), usual};
    topDown.layout.height = -2;
    cases.push_back(topDown);
    FormatCase core{"8-bit OS/2 core header", Layout(8, Bytes({4, 0, 5, 0, 1, 2, 3, 0})), usual};
    core.layout.headerSize = 12;
    cases.push_back(core);
    FormatCase shortTable{"8-bit, indices past a 2-entry table",
                          Layout(8, Bytes({200, 1, 0, 0, 0, 1, 7, 0})),
                          {kRed, kGreen, kBlack, kBlack, kGreen, kRed}};
    shortTable.layout.colors = {0xFF0000, 0x00FF00, 0xFFFFFF, 0xFFFFFF,
                                0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    shortTable.layout.clrUsed = 2;
    cases.push_back(shortTable);
    cases.push_back({"4-bit", Layout(4, Bytes({0x40, 0x50, 0, 0, 0x12, 0x30, 0, 0})), usual});
    FormatCase mono{"1-bit",
                    Layout(1, Bytes({0x60, 0, 0, 0, 0xA0, 0, 0, 0})),
                    {kWhite, kBlack, kWhite, kBlack, kWhite, kWhite}};
    mono.layout.colors = {0x000000, 0xFFFFFF};
    cases.push_back(mono);
    cases.push_back({"16-bit 5-5-5",
                     Layout(16, Le({0x7FFF, 0, 0x4210, 0, 0x7C00, 0x03E0, 0x001F, 0}, 2)),
                     {kRed, kGreen, kBlue, kWhite, kBlack, 0xFF848484}});
    FormatCase bf565{"16-bit 5-6-5 bit fields",
                     Layout(16, Le({0xFFFF, 0, 0x8410, 0, 0xF800, 0x07E0, 0x001F, 0}, 2), 3),
                     {kRed, kGreen, kBlue, kWhite, kBlack, 0xFF848284}};
    bf565.layout.masks = {0xF800, 0x07E0, 0x001F};
    cases.push_back(bf565);
    cases.push_back({"24-bit",
                     Layout(24, Bytes({255, 255, 255, 0, 0,   0, 128, 128, 128, 0, 0, 0,
                                       0,   0,   255, 0, 255, 0, 255, 0,   0,   0, 0, 0})),
                     usual});
    cases.push_back(
        {"32-bit", Layout(32, Le({0xFFFFFF, 0, 0x808080, 0xFF0000, 0xFF00, 0xFF}, 4)), usual});
    // Channels in the high bytes, blue lowest: only a reader of the masks gets this right.
    FormatCase bf32{
        "32-bit bit fields",
        Layout(32, Le({0xFFFFFF00, 0, 0x80808000, 0xFF000000, 0x00FF0000, 0x0000FF00}, 4), 3),
        usual};
    bf32.layout.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
    cases.push_back(bf32);
    FormatCase v5 = bf32;
    v5.what = "32-bit bit fields in a v5 header";
    v5.layout.headerSize = 124;
    cases.push_back(v5);
    cases.push_back(
        {"RLE8", Layout(8, Bytes({0, 3, 4, 0, 5, 0, 0, 0, 1, 1, 1, 2, 1, 3, 0, 1}), 1), usual});
    cases.push_back(
        {"RLE4", Layout(4, Bytes({0, 3, 0x40, 0x50, 0, 0, 2, 0x12, 1, 0x30, 0, 1}), 2), usual});
    return cases;
}

} // namespace

TEST(DibDecoderFormats, DecodesEachFormatToItsColours) {
    for (const FormatCase& c : FormatCases()) {
        SCOPED_TRACE(c.what);
        const Picture p = DecodeFile(MakeBmp(c.layout));
        ASSERT_TRUE(p.loaded);
        ASSERT_EQ(p.width, 3);
        ASSERT_EQ(p.height, 2);
        for (size_t i = 0; i < c.want.size(); ++i)
            EXPECT_EQ(Hex(p.pixels[i]), Hex(c.want[i])) << "pixel " << i % 3 << "," << i / 3;
        ExpectRectsMatchWholePicture(p, c.what);
    }
}

// RLE streams over a 4 x 3 picture. In `want`, rows run from the top, digits
// are table indices and '.' a pixel the stream does not set.
TEST(DibDecoderRle, SetsOnlyThePixelsTheStreamReachesAndNothingOutside) {
    struct Case {
        const char* what;
        uint16_t bitCount;
        std::string stream;
        const char* want;
    } cases[] = {
        {"delta then run", 8, Bytes({0, 2, 1, 1, 2, 2, 0, 1}), "....|.22.|...."},
        {"early end of line", 8, Bytes({1, 1, 0, 0, 1, 2, 0, 1}), "....|2...|1..."},
        {"delta within the row", 8, Bytes({1, 1, 0, 2, 2, 0, 1, 3, 0, 1}), "....|....|1..3"},
        {"run past the right edge", 8, Bytes({6, 1, 0, 1}), "....|....|1111"},
        {"literal run past the right edge", 8, Bytes({0, 5, 1, 2, 3, 1, 2, 0, 0, 1}),
         "....|....|1231"},
        {"delta past the top", 8, Bytes({0, 2, 0, 5, 1, 1, 0, 1}), "....|....|...."},
        {"more lines than the picture", 8, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 1, 1}), "....|....|...."},
        {"literal run cut short", 8, Bytes({1, 3, 0, 5, 1, 2}), "....|....|3..."},
        {"delta cut short", 8, Bytes({1, 3, 0, 2, 1}), "....|....|3..."},
        {"no end of bitmap", 8, Bytes({1, 1, 0, 0, 1, 2}), "....|2...|1..."},
        {"RLE4 odd literal run, then a run past the edge", 4,
         Bytes({0, 3, 0x12, 0x30, 3, 0x45, 0, 1}), "....|....|1234"},
        {"RLE4 run alternates nibbles", 4, Bytes({7, 0x12}), "....|....|1212"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmpLayout b = Layout(c.bitCount, c.stream, c.bitCount == 8 ? 1 : 2);
        b.width = 4;
        b.height = 3;
        Picture p = DecodeFile(MakeBmp(b));
        ASSERT_TRUE(p.loaded);
        // Decode into the middle of a larger buffer whose border must survive.
        const size_t stride = 6;
        std::vector<uint32_t> buffer(stride * 5, kUnset);
        p.decoder.DecodeRect({0, 0, 4, 3}, buffer.data() + stride + 1, stride);
        std::string got;
        for (size_t y = 0; y < 5; ++y) {
            for (size_t x = 0; x < stride; ++x) {
                const uint32_t v = buffer[y * stride + x];
                const bool border = y == 0 || y == 4 || x == 0 || x == 5;
                if (border) {
                    EXPECT_EQ(v, kUnset) << "border " << x << "," << y;
                    continue;
                }
                const auto index = std::find_if(kPalette.begin(), kPalette.end(),
                                                [&](uint32_t c) { return (c | 0xFF000000) == v; });
                got += v == kUnset ? '.' : char('0' + (index - kPalette.begin()));
            }
            if (y > 0 && y < 3)
                got += '|';
        }
        EXPECT_EQ(got, c.want);
    }
}

namespace {

fs::path Suite(const std::string& name) {
    return TestDataDir() / "bmp" / name;
}

Picture DecodeSuiteFile(const fs::path& path) {
    return DecodeFile(ReadFileBytes(path));
}

std::vector<fs::path> FilesIn(const std::string& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(Suite(folder)))
        if (entry.path().extension() == ".bmp")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(DibDecoderSuite, EveryGoodFileReadsAndItsRectanglesMatch) {
    OSTREL_REQUIRE_TESTDATA("bmp/g");
    const auto files = FilesIn("g");
    EXPECT_EQ(files.size(), 27u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const Picture p = DecodeSuiteFile(file);
        ASSERT_TRUE(p.loaded);
        ExpectRectsMatchWholePicture(p, file.filename().string());
    }
}

TEST(DibDecoderSuite, FilesOfTheSamePictureDecodeToTheSamePixels) {
    OSTREL_REQUIRE_TESTDATA("bmp/g");
    // The first file of each group is the reference. Questionable files may
    // be refused, but what is read must match.
    const std::vector<std::vector<std::string>> groups = {
        {"g/pal8", "g/pal8-0", "g/pal8rle", "g/pal8topdown", "g/pal8os2", "g/pal8v4", "g/pal8v5",
         "q/pal8os2-hs", "q/pal8os2-sz", "q/pal8os2sp", "q/pal8os2v2-16", "q/pal8os2v2-40sz",
         "q/pal8os2v2-sz", "q/pal8os2v2", "q/pal8offs", "q/pal8oversizepal", "q/rgb24rle24"},
        {"g/pal4", "g/pal4rle"},
        {"g/pal1", "g/pal1wb"},
        {"g/rgb16", "g/rgb16bfdef", "q/rgb16faketrns"},
        {"g/rgb16-565", "g/rgb16-565pal"},
        {"g/rgb24", "g/rgb24pal", "g/rgb32", "g/rgb32bf", "g/rgb32bfdef", "q/rgb24largepal",
         "q/rgb24lprof", "q/rgb24prof", "q/rgb32-xbgr", "q/rgb32fakealpha", "q/rgb32h52"},
    };
    for (const auto& group : groups) {
        const Picture reference = DecodeSuiteFile(Suite(group[0] + ".bmp"));
        ASSERT_TRUE(reference.loaded) << group[0];
        for (const std::string& name : group) {
            const Picture p = DecodeSuiteFile(Suite(name + ".bmp"));
            if (!p.loaded) {
                EXPECT_EQ(name[0], 'q') << name << " was refused";
                continue;
            }
            EXPECT_EQ(p.width, reference.width) << name;
            EXPECT_EQ(p.height, reference.height) << name;
            EXPECT_TRUE(p.pixels == reference.pixels) << name << " differs from " << group[0];
        }
    }
}

TEST(DibDecoderSuite, KnownPixelsHaveTheirColours) {
    OSTREL_REQUIRE_TESTDATA("bmp/g");
    struct Case {
        const char* file;
        int32_t x, y; // from the top-left
        uint32_t want;
    } cases[] = {
        {"g/pal8.bmp", 0, 0, kRed},          {"g/pal8.bmp", 126, 0, 0xFF99AACC},
        {"g/pal8.bmp", 0, 63, kBlack},       {"g/rgb24.bmp", 126, 0, 0xFF9F9FBD},
        {"g/pal1.bmp", 0, 0, kWhite},        {"g/pal4.bmp", 126, 0, 0xFFFF80FF},
        {"g/rgb16.bmp", 126, 0, 0xFF9C9CBD}, {"g/rgb16-565.bmp", 126, 0, 0xFF9C9EBD},
    };
    for (const Case& c : cases) {
        const Picture p = DecodeSuiteFile(Suite(c.file));
        ASSERT_TRUE(p.loaded) << c.file;
        EXPECT_EQ(Hex(p.At(c.x, c.y)), Hex(c.want)) << c.file << " at " << c.x << "," << c.y;
    }
}

TEST(DibDecoderSuite, BadAndOddFilesAreRefusedOrDecodeSafely) {
    OSTREL_REQUIRE_TESTDATA("bmp/bad");
    const std::set<std::string> mustRefuse = {
        "badbitcount.bmp", "badplanes.bmp", "badwidth.bmp", "reallybig.bmp", "shortfile.bmp",
        "ba-bm.bmp",       "pal2.bmp",      "rgba64.bmp",   "rgb24png.bmp",  "rgb24jpeg.bmp"};
    for (const std::string folder : {"bad", "q", "x"}) {
        for (const fs::path& file : FilesIn(folder)) {
            SCOPED_TRACE(folder + "/" + file.filename().string());
            // Decoding the whole picture runs every stored byte past the sanitizers.
            const Picture p = DecodeSuiteFile(file);
            if (mustRefuse.count(file.filename().string()))
                EXPECT_FALSE(p.loaded);
            else if (p.loaded)
                ExpectRectsMatchWholePicture(p, file.filename().string());
        }
    }
}

TEST(DibDecoderMaps, WorldMapReadsTheSameCompressedOrNot) {
    OSTREL_REQUIRE_TESTDATA("maps");
    const fs::path maps = TestDataDir() / "maps";
    const Picture plain = DecodeSuiteFile(maps / "world-equirect-512x256-pal8.bmp");
    const Picture rle = DecodeSuiteFile(maps / "world-equirect-512x256-pal8-rle8.bmp");
    ASSERT_TRUE(plain.loaded);
    ASSERT_TRUE(rle.loaded);
    EXPECT_EQ(rle.width, 512);
    EXPECT_EQ(rle.height, 256);
    EXPECT_TRUE(plain.pixels == rle.pixels);
    ExpectRectsMatchWholePicture(rle, "world RLE8");
}

TEST(DibDecoderMaps, NorthWestAmericaHasOceanWestAndLandAtBend) {
    OSTREL_REQUIRE_TESTDATA("maps");
    const Picture p = DecodeSuiteFile(TestDataDir() / "maps" / "nw-america-256x128-rgb24.bmp");
    ASSERT_TRUE(p.loaded);
    ASSERT_EQ(p.width, 256);
    ASSERT_EQ(p.height, 128);
    auto red = [](uint32_t c) { return int(c >> 16 & 0xFF); };
    auto blue = [](uint32_t c) { return int(c & 0xFF); };
    // Longitude 135 W is open Pacific from 52 N southwards.
    for (int32_t y = 24; y < 128; y += 8)
        EXPECT_GT(blue(p.At(0, y)), red(p.At(0, y)) + 20) << "row " << y << ": " << Hex(p.At(0, y));
    // Bend, Oregon (44.06 N, 121.31 W) is dry land.
    EXPECT_LT(blue(p.At(78, 69)), red(p.At(78, 69))) << Hex(p.At(78, 69));
}
