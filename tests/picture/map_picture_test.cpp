#include "picture/block_writer.h"
#include "picture/map_picture.h"
#include "picture/picture_levels.h"
#include "platform/unique_fd.h"
#include "platform/unique_file.h"
#include "tests/render/bmp_file.h"
#include "tests/test_support.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

// Allocations of more than this many bytes fail, as they do where the
// address space or the memory runs out. [byte]
static size_t g_nAllocationLimit = SIZE_MAX;

void* operator new(size_t size) {
    void* p = size <= g_nAllocationLimit ? std::malloc(size ? size : 1) : nullptr;
    if (!p)
        throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

struct AllocationLimit {
    explicit AllocationLimit(size_t bytes) { g_nAllocationLimit = bytes; }
    ~AllocationLimit() { g_nAllocationLimit = SIZE_MAX; }
};

// A little-endian TIFF of one 8-bit grey strip whose header claims
// `width` x `height` pixels.
std::string GreyTiffClaiming(uint32_t width, uint32_t height) {
    std::string t = "II*";
    t += '\0';
    auto u16 = [&t](uint32_t v) {
        t += char(v & 0xFF);
        t += char(v >> 8 & 0xFF);
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    u32(8);
    const uint32_t entries[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                   {259, 3, 1},     {262, 3, 1},      {273, 4, 200},
                                   {277, 3, 1},     {278, 4, height}, {279, 4, 64}};
    u16(std::size(entries));
    for (const auto& e : entries) {
        u16(e[0]);
        u16(e[1]);
        u32(1);
        u32(e[2]);
    }
    u32(0);
    t.resize(264, '\x80');
    return t;
}

// Pictures are made by ImageMagick from one source picture; its own BMP of
// each (composed over white) is what our decode must show.
class MapPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("convert -version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ImageMagick's convert is not installed";
        // 61 pixels: rows of every depth end in padding.
        ASSERT_TRUE(
            Convert("-size 61x37 gradient:red-blue -fill \"rgb(0,192,0)\" "
                    "-draw \"rectangle 4,3 20,12\" -fill white -draw \"circle 45,25 50,30\"",
                    "src.png"));
    }

    bool Convert(const std::string& args, const std::string& out) {
        const std::string cmd =
            "cd " + m_dir.Path().string() + " && convert " + args + " " + out + " 2>/dev/null";
        return std::system(cmd.c_str()) == 0;
    }

    MapPictureOutcome Open(const std::string& name, CDib& dib, int* progressCalls = nullptr,
                           bool cancel = false) {
        const fs::path path = m_dir.Path() / name;
        const UniqueFile f = OpenFile(path.c_str(), "rb");
        EXPECT_TRUE(f) << path;
        return OpenMapPicture(path.string(), f.get(), dib, m_cache, [=](uint64_t, uint64_t) {
            if (progressCalls)
                ++*progressCalls;
            return !cancel;
        });
    }

    // Every file in the cache folder.
    std::vector<std::string> CacheFiles() const {
        std::vector<std::string> names;
        if (fs::exists(m_cache.Dir()))
            for (const auto& e : fs::directory_iterator(m_cache.Dir()))
                names.push_back(e.path().filename().string());
        return names;
    }

    TempDir m_dir;
    CMapCache m_cache{(m_dir.Path() / "cache").string()};
};

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t U32(const uint8_t* p) {
    return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16;
}

uint32_t Distance(uint32_t a, uint32_t b) {
    uint32_t d = 0;
    for (int shift : {0, 8, 16})
        d = std::max<uint32_t>(d,
                               uint32_t(std::abs(int(a >> shift & 255) - int(b >> shift & 255))));
    return d;
}

} // namespace

// Catches wrong channel order, rows upside down or shifted by padding,
// palettes lost or not expanded, and alpha not composed, per format and layout.
TEST_F(MapPictureTest, EachFormatShowsThePixelsOfItsBitmap) {
    struct Case {
        const char* file;
        const char* make;  // convert options between src.png and the file
        uint16_t bitCount; // of the cached bitmap
    } cases[] = {
        {"p1.png", "-type Bilevel", 1},
        {"p1i.png", "-type Bilevel -interlace PNG", 1},
        {"grey4.png", "-type Grayscale -depth 4", 4},
        {"p4.png", "-colors 12 PNG8:", 8},
        {"grey.png", "-type Grayscale -depth 8", 8},
        {"rgb.png", "PNG24:", 24},
        {"deep.png", "-depth 16 PNG48:", 24},
        {"alpha.png", "-alpha set -channel A -fx \"i/w\" +channel PNG32:", 32},
        {"interlaced.png", "-alpha set -channel A -fx \"j/h\" +channel -interlace PNG PNG32:", 32},
        {"rgb.jpg", "-quality 90", 24},
        {"grey.jpg", "-colorspace Gray", 8},
        {"progressive.jpg", "-interlace JPEG", 24},
        {"cmyk.jpg", "-colorspace CMYK", 24},
        {"strips.tif", "-compress None", 24},
        {"tiles.tif", "-define tiff:tile-geometry=16x16 -compress Zip", 24},
        {"jpeg.tif", "-compress JPEG", 24},
        {"pal8.tif", "-type Palette -colors 200", 8},
        {"pal4tiles.tif", "-colors 9 -type Palette -depth 4 -define tiff:tile-geometry=16x16", 4},
        {"bilevel.tif", "-type Bilevel -compress Group4", 1},
        {"grey.tif", "-type Grayscale -depth 8 -compress Zip", 8},
        {"rgba.tif", "-alpha set -channel A -fx \"i/w\" +channel -type TrueColorAlpha", 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string make = c.make;
        const size_t colon = make.rfind(' ') == std::string::npos ? 0 : make.rfind(' ') + 1;
        const bool prefixed = make.back() == ':';
        const std::string options = prefixed ? make.substr(0, colon) : make;
        const std::string out = prefixed ? make.substr(colon) + c.file : c.file;
        ASSERT_TRUE(Convert("src.png " + options, out));
        ASSERT_TRUE(Convert(std::string(c.file) + " -background white -flatten -type TrueColor",
                            "BMP3:" + std::string(c.file) + ".bmp"));
        CDib dib;
        const MapPictureOutcome opened = Open(c.file, dib);
        ASSERT_EQ(opened.result, MapPictureOutcome::Opened) << opened.message;
        EXPECT_EQ(U16(dib.m_pInfo.get() + 14), c.bitCount);
        EXPECT_TRUE(dib.m_pBits.IsMapped());

        const Picture expected =
            DecodeFile(ReadFileBytes(m_dir.Path() / (std::string(c.file) + ".bmp")));
        ASSERT_TRUE(expected.loaded);
        ASSERT_EQ(dib.GetWidth(), expected.width);
        ASSERT_EQ(dib.GetHeight(), expected.height);
        CDibDecoder decoder;
        ASSERT_TRUE(decoder.Open(dib.m_pInfo.get(), dib.GetInfoSize(), dib.m_pBits.get(),
                                 dib.GetBitsSize()));
        std::vector<uint32_t> pixels(expected.pixels.size(), kUnset);
        decoder.DecodeRect({0, 0, expected.width, expected.height}, pixels.data(),
                           size_t(expected.width));
        int wrong = 0;
        for (size_t i = 0; i < pixels.size() && wrong < 3; ++i) {
            // Composing over white may round one step apart.
            if (Distance(pixels[i], expected.pixels[i]) > 1) {
                ++wrong;
                ADD_FAILURE() << "pixel " << i % size_t(expected.width) << ","
                              << i / size_t(expected.width) << ": " << std::hex << pixels[i]
                              << " not " << expected.pixels[i];
            }
        }
    }
}

// Catches a decode on every open, a changed file shown from its stale copy,
// and a cancelled or failed decode leaving a partial entry behind.
TEST_F(MapPictureTest, TheCacheKeepsOneWholeEntryPerVersionOfAFile) {
    ASSERT_TRUE(Convert("src.png", "scan.jpg"));
    CDib dib;
    int calls = 0;
    EXPECT_EQ(Open("scan.jpg", dib, &calls, true).result, MapPictureOutcome::Cancelled);
    EXPECT_TRUE(CacheFiles().empty()) << "a cancelled decode left " << CacheFiles().front();
    EXPECT_EQ(dib.GetWidth(), 0);

    EXPECT_EQ(Open("scan.jpg", dib, &calls).result, MapPictureOutcome::Opened);
    EXPECT_EQ(CacheFiles().size(), 1u);
    calls = 0;
    EXPECT_EQ(Open("scan.jpg", dib, &calls).result, MapPictureOutcome::Opened);
    EXPECT_EQ(calls, 0) << "the second open decoded again";

    ASSERT_TRUE(Convert("src.png -rotate 90", "scan.jpg"));
    EXPECT_EQ(Open("scan.jpg", dib, &calls).result, MapPictureOutcome::Opened);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(dib.GetWidth(), 37) << "the changed file showed its old copy";

    // No room: the write fails with its reason and leaves nothing.
    ASSERT_TRUE(Convert("src.png -resize 400x400!", "big.png"));
    const size_t before = CacheFiles().size();
    {
        FileSizeLimit limit(100000);
        const MapPictureOutcome full = Open("big.png", dib);
        EXPECT_EQ(full.result, MapPictureOutcome::Refused);
        EXPECT_NE(full.message.find("cannot be written"), std::string::npos) << full.message;
    }
    EXPECT_EQ(CacheFiles().size(), before);
}

// Catches a cache that grows without bound or drops the entries in use.
TEST_F(MapPictureTest, TrimmingRemovesTheLeastRecentlyUsedEntriesFirst) {
    fs::create_directories(m_cache.Dir());
    const CMapCache small(m_cache.Dir(), 2500);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        std::ofstream(fs::path(m_cache.Dir()) / name) << std::string(1000, 'x');
        struct timespec t[2] = {{0, UTIME_OMIT},
                                {name[0] == 'b'   ? 100
                                 : name[0] == 'a' ? 200
                                                  : 300,
                                 0}};
        utimensat(AT_FDCWD, (fs::path(m_cache.Dir()) / name).c_str(), t, 0);
    }
    // a's reduced copy: it must go with a, though used more recently.
    std::ofstream(fs::path(m_cache.Dir()) / "a.L1.bmp") << std::string(100, 'x');
    small.Touch((fs::path(m_cache.Dir()) / "b.bmp").string());
    small.Trim(1000);
    EXPECT_FALSE(fs::exists(fs::path(m_cache.Dir()) / "a.bmp"));
    EXPECT_FALSE(fs::exists(fs::path(m_cache.Dir()) / "a.L1.bmp")) << "a level outlived its entry";
    EXPECT_TRUE(fs::exists(fs::path(m_cache.Dir()) / "b.bmp")) << "the entry just used went";
    EXPECT_FALSE(fs::exists(fs::path(m_cache.Dir()) / "c.bmp"));
    EXPECT_EQ(small.Size(), 1000u);
}

// Catches levels that cost a second read of the scan (missing after the
// decode), that differ from levels made from the entry afterwards, or that
// are made from rows an interlaced decode puts more than once, and files
// left longer than their headers say by the padding of direct writes. The
// large scan's entry spans more than one write block, so a row is split
// between two of them; the 8-colour one is kept packed, 4 bits a pixel.
TEST_F(MapPictureTest, ADecodeMakesTheReducedCopiesInTheSamePass) {
    struct Case {
        const char* file;
        const char* options;
        int32_t w, h;
        int levels;
    };
    const Case cases[] = {
        {"scan.jpg", "", 700, 300, 2},
        {"scan.png", "", 700, 300, 2},
        {"grey.png", " -type Grayscale -depth 8", 700, 300, 2},
        {"colours8.png", " -colors 8 -type Palette", 700, 300, 2},
        {"interlaced.png", " -interlace PNG", 700, 300, 0},
        {"large.jpg", "", 1700, 1000, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string name = c.file;
        const std::string size = std::to_string(c.w) + "x" + std::to_string(c.h);
        ASSERT_TRUE(Convert("src.png -resize " + size + "!" + c.options, name));
        CDib dib;
        const MapPictureOutcome opened = Open(name, dib);
        ASSERT_EQ(opened.result, MapPictureOutcome::Opened) << opened.message;
        ASSERT_FALSE(opened.entry.empty());
        // Written straight to the disk in whole blocks, each file is cut back
        // to the size its header gives.
        for (const std::string& f : {opened.entry, LevelPath(opened.entry, 1)}) {
            if (!fs::exists(f))
                continue;
            const std::string bytes = ReadFileBytes(f);
            ASSERT_GE(bytes.size(), 6u);
            EXPECT_EQ(bytes.size(), U32(reinterpret_cast<const uint8_t*>(bytes.data()) + 2)) << f;
            if (f == opened.entry && name == "colours8.png") {
                EXPECT_EQ(bytes[28], 4) << "bits a pixel as stored";
            }
        }
        CPictureLevels levels;
        const int made = levels.Open(opened.entry, c.w, c.h);
        ASSERT_EQ(made, c.levels);
        if (c.levels == 0) {
            EXPECT_FALSE(fs::exists(LevelPath(opened.entry, 1)));
            continue;
        }
        // The same levels as made afterwards from the entry's rows.
        const std::string copy = (m_dir.Path() / (name + ".copy.bmp")).string();
        CPictureLevels fromEntry;
        std::string problem;
        ASSERT_TRUE(fromEntry.OpenOrBuild(copy, dib, problem)) << problem;
        for (int k = 1; k <= c.levels; ++k)
            EXPECT_TRUE(ReadFileBytes(LevelPath(copy, k)) ==
                        ReadFileBytes(LevelPath(opened.entry, k)))
                << "level " << k;
    }
}

// Catches a cut-off or corrupted file taken for a picture (or a crash), and
// a message that does not say what is wrong.
TEST_F(MapPictureTest, DamagedFilesAreRefusedWithWhatIsWrong) {
    ASSERT_TRUE(Convert("src.png -resize 300x300!", "good.png"));
    ASSERT_TRUE(Convert("good.png", "good.jpg"));
    ASSERT_TRUE(Convert("good.png -compress Zip", "good.tif"));
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir.Path() / name, std::ios::binary) << bytes;
    };
    const std::string png = ReadFileBytes(m_dir.Path() / "good.png");
    const std::string jpg = ReadFileBytes(m_dir.Path() / "good.jpg");
    const std::string tif = ReadFileBytes(m_dir.Path() / "good.tif");
    std::string badCrc = png;
    badCrc[png.size() / 2] ^= 0x55;
    std::string bmp = PlainBmp(8, 8, 0x123456);
    write("cut.png", png.substr(0, png.size() / 2));
    write("crc.png", badCrc);
    write("cut.jpg", jpg.substr(0, jpg.size() / 2));
    write("header.jpg", jpg.substr(0, 200));
    write("cut.tif", tif.substr(0, tif.size() / 3));
    write("cut.bmp", bmp.substr(0, bmp.size() - 8));
    write("notes.txt", "no picture\n");
    const std::pair<const char*, const char*> cases[] = {
        {"cut.png", "\"cut.png\" is not a picture Ostrel can show: the PNG data ends early."},
        {"crc.png", "the PNG data is damaged"},
        {"cut.jpg", "\"cut.jpg\" is not a picture Ostrel can show: the JPEG data ends early."},
        {"header.jpg", "the JPEG data"},
        {"cut.tif", "the TIFF data is damaged"},
        {"cut.bmp", "the bitmap is damaged"},
        {"notes.txt", "it is no BMP, PNG, JPEG or TIFF file"},
    };
    for (const auto& [name, text] : cases) {
        CDib dib;
        const MapPictureOutcome out = Open(name, dib);
        EXPECT_EQ(out.result, MapPictureOutcome::Refused) << name;
        EXPECT_NE(out.message.find(text), std::string::npos) << name << ": " << out.message;
        EXPECT_EQ(dib.GetWidth(), 0) << name;
    }
    for (const std::string& f : CacheFiles())
        ADD_FAILURE() << "left in the cache: " << f;
}

// Catches a decoder that allocates what a hostile header claims before the
// size is checked (2 GB for one row), and an allocation failure that ends
// the program instead of refusing the picture.
TEST_F(MapPictureTest, PicturesTooLargeOrOutOfMemoryAreRefusedNotCrashedOn) {
    std::ofstream(m_dir.Path() / "wide.tif", std::ios::binary) << GreyTiffClaiming(0x7FFFFFFF, 1);
    std::ofstream(m_dir.Path() / "tall.tif", std::ios::binary) << GreyTiffClaiming(2, 0x7FFFFFFF);
    ASSERT_TRUE(Convert("src.png -resize 3000x20!", "wide.png"));
    ASSERT_TRUE(Convert("src.png -resize 3000x20!", "wide.jpg"));
    ASSERT_TRUE(Convert("src.png -resize 3000x20! -compress None", "wide_rgb.tif"));
    CDib dib;
    {
        AllocationLimit limit(size_t(1) << 30);
        for (const char* name : {"wide.tif", "tall.tif"}) {
            const MapPictureOutcome out = Open(name, dib);
            EXPECT_EQ(out.result, MapPictureOutcome::Refused) << name;
            EXPECT_NE(out.message.find("too large"), std::string::npos) << out.message;
        }
    }
    {
        // Rows of 3000 pixels need more than this.
        AllocationLimit limit(4000);
        for (const char* name : {"wide.png", "wide.jpg", "wide_rgb.tif"}) {
            const MapPictureOutcome out = Open(name, dib);
            EXPECT_EQ(out.result, MapPictureOutcome::Refused) << name;
            EXPECT_NE(out.message.find("not enough memory"), std::string::npos) << out.message;
        }
    }
    for (const std::string& f : CacheFiles())
        ADD_FAILURE() << "left in the cache: " << f;
}

// Catches a bilevel scan refused because its copy was counted at 8 bits a
// pixel: 65536 x 65600 of them is 4.3 GB so, 537 MB at 1 bit.
TEST(MapCacheEntry, FewColourPicturesAreKeptInFewBitsSoLargeScansFit) {
    DecodedLayout layout;
    layout.width = 65536;
    layout.height = 65600;
    layout.bitCount = 8;
    for (size_t colours : {2u, 16u, 256u}) {
        layout.palette.assign(colours, 0);
        uint64_t size = 0;
        const std::string header = BitmapHeaderFor(layout, size);
        const uint16_t bits = colours == 2 ? 1 : colours == 16 ? 4 : 8;
        EXPECT_EQ(StoredBitCount(layout), bits);
        EXPECT_EQ(size, header.size() + uint64_t(65536) * bits / 8 * 65600) << colours;
        EXPECT_EQ(size <= kMaxEntryBytes, colours != 256) << colours;
    }
}

// Catches a block's buffer used again before it is written or read, bytes
// read out of the file's order or twice, and the carried tail of a direct
// block lost or doubled: runs of every length, through direct writes that
// the kernel carries out while the reader works, and through the page cache.
TEST(MapCacheEntry, TheWriterPutsEveryRunInPlaceAndItsReaderSeesThemInOrder) {
    const TempDir dir;
    const std::string path = (dir.Path() / "blocks").string();
    std::string pattern;
    for (uint32_t i = 0; pattern.size() < 3000000; ++i)
        pattern += char(i * 2654435761u >> 24);
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "through the page cache");
        const UniqueFd fd(open(
            path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | (direct ? O_DIRECT : 0), 0600));
        ASSERT_TRUE(fd);
        std::string seen;
        {
            CBlockWriter writer(fd.get(), direct, 64 * 1024,
                                [&](const uint8_t* bytes, off_t at, size_t size) {
                                    EXPECT_EQ(uint64_t(at), seen.size());
                                    seen.append(reinterpret_cast<const char*>(bytes), size);
                                });
            size_t at = 0;
            for (size_t run = 1; at < pattern.size(); run = run * 7 % 100003 + 1) {
                const size_t size = std::min(run, pattern.size() - at);
                std::memcpy(writer.Append(off_t(at), size, size), pattern.data() + at, size);
                at += size;
            }
            ASSERT_TRUE(writer.Finish());
        }
        ASSERT_EQ(ftruncate(fd.get(), off_t(pattern.size())), 0);
        EXPECT_TRUE(ReadFileBytes(path) == pattern);
        ASSERT_GE(seen.size(), pattern.size());
        EXPECT_TRUE(seen.compare(0, pattern.size(), pattern) == 0);
        EXPECT_EQ(seen.find_first_not_of('\0', pattern.size()), std::string::npos)
            << "past the end: only the padding of the last direct block";
    }
}
