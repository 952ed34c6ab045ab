#include "render/dib.h"
#include "tests/render/bmp_file.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A 2 x 2 picture with `colors` table entries; pixel bytes all zero.
BmpLayout Paletted(uint16_t bitCount, uint32_t clrUsed, size_t colors) {
    BmpLayout b;
    b.width = 2;
    b.height = 2;
    b.bitCount = bitCount;
    b.clrUsed = clrUsed;
    for (size_t i = 0; i < colors; ++i)
        b.colors.push_back(uint32_t(0x010203 * (i + 1)));
    b.bits.assign(8 * 2, '\0');
    return b;
}

void ExpectEmpty(const CDib& dib) {
    EXPECT_EQ(dib.m_pInfo, nullptr);
    EXPECT_EQ(dib.m_pBits, nullptr);
    EXPECT_EQ(dib.m_pPalette, nullptr);
    EXPECT_EQ(dib.GetWidth(), 0);
    EXPECT_EQ(dib.GetHeight(), 0);
}

} // namespace

TEST(DibPalette, EntryCountFollowsClrUsedOrTheBitCount) {
    struct Case {
        uint16_t bitCount;
        uint32_t clrUsed;
        size_t colors;  // written to the file
        size_t entries; // 0: no palette
    } cases[] = {
        {8, 0, 256, 256}, {4, 16, 16, 16},    {1, 0, 2, 2},      {8, 12, 12, 12},
        {24, 0, 0, 0},    {8, 65536, 256, 0}, {24, 65539, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("bits " + std::to_string(c.bitCount) + " clrUsed " +
                     std::to_string(c.clrUsed));
        CDib dib;
        ASSERT_NE(ReadDib(dib, MakeBmp(Paletted(c.bitCount, c.clrUsed, c.colors))), 0u);
        EXPECT_TRUE(dib.BuildPalette());
        if (c.entries == 0) {
            EXPECT_EQ(dib.m_pPalette, nullptr);
        } else {
            ASSERT_NE(dib.m_pPalette, nullptr);
            EXPECT_EQ(dib.m_pPalette->size(), c.entries);
        }
    }
}

TEST(DibPalette, EntriesAreTheColourTableInOrder) {
    BmpLayout b = Paletted(4, 3, 0);
    b.colors = {0x102030, 0xA0B0C0, 0xFF0001};
    CDib dib;
    ASSERT_NE(ReadDib(dib, MakeBmp(b)), 0u);
    ASSERT_NE(dib.m_pPalette, nullptr);
    ASSERT_EQ(dib.m_pPalette->size(), 3u);
    const PaletteEntry& e = (*dib.m_pPalette)[1];
    EXPECT_EQ(e.peRed, 0xA0);
    EXPECT_EQ(e.peGreen, 0xB0);
    EXPECT_EQ(e.peBlue, 0xC0);
    EXPECT_EQ(e.peFlags, 0);
    EXPECT_EQ((*dib.m_pPalette)[2].peRed, 0xFF);
    EXPECT_EQ((*dib.m_pPalette)[2].peBlue, 0x01);
}

TEST(DibRead, ReturnsTheFileLengthAndThePictureSize) {
    CDib dib;
    EXPECT_EQ(dib.GetWidth(), 0);
    EXPECT_EQ(dib.GetHeight(), 0);

    BmpLayout b;
    b.width = 3;
    b.height = 2;
    b.bits.assign(2 * 12, '\x7F');
    const std::string file = MakeBmp(b);
    EXPECT_EQ(ReadDib(dib, file), file.size());
    EXPECT_EQ(dib.GetWidth(), 3);
    EXPECT_EQ(dib.GetHeight(), 2);
    // The header block holds the 1024 spare bytes zeroed; the pixel block is the rest.
    EXPECT_EQ(dib.m_pInfo[40 + 1023], 0);
    EXPECT_EQ(dib.m_pBits[23], 0x7F);
    // Mapped, not copied: a scan of any size opens at once.
    EXPECT_TRUE(dib.m_pBits.IsMapped());

    b.height = -2; // top-down rows
    EXPECT_NE(ReadDib(dib, MakeBmp(b)), 0u);
    EXPECT_EQ(dib.GetHeight(), 2);

    // The OS/2 core header keeps 16-bit sizes at other offsets.
    BmpLayout core = Paletted(8, 0, 256);
    core.headerSize = 12;
    core.width = 5;
    core.height = 3;
    core.bits.assign(3 * 8, '\0');
    EXPECT_NE(ReadDib(dib, MakeBmp(core)), 0u);
    EXPECT_EQ(dib.GetWidth(), 5);
    EXPECT_EQ(dib.GetHeight(), 3);
    EXPECT_TRUE(dib.BuildPalette());
    ASSERT_NE(dib.m_pPalette, nullptr);
    EXPECT_EQ(dib.m_pPalette->size(), 256u);
}

TEST(DibRead, RefusesWhatCannotBeDrawnAndLeavesTheObjectEmpty) {
    BmpLayout good;
    good.width = 4;
    good.height = 2;
    good.bitCount = 8;
    good.colors = {0xFF0000, 0x00FF00};
    good.clrUsed = 2;
    good.bits.assign(8, '\1');
    const std::string base = MakeBmp(good);
    // Offsets into the file: the info header starts at 14.
    auto patched = [&](size_t at, uint32_t v, int bytes = 4) {
        std::string s = base;
        bytes == 2 ? Put16(s, at, v) : Put32(s, at, v);
        return s;
    };
    auto built = [&](auto change) {
        BmpLayout b = good;
        change(b);
        return MakeBmp(b);
    };
    struct Case {
        const char* what;
        std::string file;
    } cases[] = {
        {"13 bytes", base.substr(0, 13)},
        {"first byte not B", "X" + base.substr(1)},
        {"second byte not M", "B" + std::string("X") + base.substr(2)},
        {"bfOffBits below 14", patched(10, 13)},
        {"bfOffBits past the end", patched(10, uint32_t(base.size() + 1))},
        {"bfOffBits of 4 GB", patched(10, 0xFFFFFFF0)},
        {"info header longer than the bytes before the pixels", patched(14, 64)},
        {"header size 13", patched(14, 13)},
        {"header size 0", patched(14, 0)},
        {"colour table past the header block", patched(14 + 32, 0xFFFF)},
        {"pixel rows cut short", base.substr(0, base.size() - 1)},
        {"two planes", patched(14 + 12, 2, 2)},
        {"width 0", patched(14 + 4, 0)},
        {"negative width", patched(14 + 4, uint32_t(-4))},
        {"height 0", patched(14 + 8, 0)},
        {"height -2^31", patched(14 + 8, 0x80000000)},
        {"width that overflows the row size", patched(14 + 4, 0x7FFFFFFF)},
        {"2 bits per pixel", patched(14 + 14, 2, 2)},
        {"64 bits per pixel", patched(14 + 14, 64, 2)},
        {"absurd bit count", patched(14 + 14, 30000, 2)},
        {"JPEG compression", patched(14 + 16, 4)},
        {"PNG compression", patched(14 + 16, 5)},
        {"bit fields at 8 bits", patched(14 + 16, 3)},
        {"RLE4 at 8 bits", patched(14 + 16, 2)},
        {"top-down RLE8", built([](BmpLayout& b) {
             b.compression = 1;
             b.height = -2;
             b.bits = std::string("\0\1", 2);
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDib dib;
        ASSERT_EQ(ReadDib(dib, base), base.size());
        EXPECT_EQ(ReadDib(dib, c.file), 0u);
        ExpectEmpty(dib);
    }
}

// A map that another program cuts short while it is open used to end
// Ostrel with SIGBUS at the next repaint: what was cut off must read as
// zeros and what is left as before.
TEST(DibRead, AFileCutShortWhileMappedReadsAsZerosWhereItWasCut) {
    BmpLayout b;
    b.width = 4096; // rows of 12 KB: the cut falls pages before the end
    b.height = 4;
    b.bits.assign(4 * 4096 * 3, '\x5A');
    const std::string bytes = MakeBmp(b);
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fflush(f);
    std::rewind(f);
    CDib dib;
    ASSERT_EQ(dib.Read(f), bytes.size());
    ASSERT_TRUE(dib.m_pBits.IsMapped());
    const size_t kept = 3 * 4096; // of the file
    ASSERT_EQ(ftruncate(fileno(f), off_t(kept)), 0);
    const size_t offBits = bytes.size() - dib.GetBitsSize();
    size_t zeros = 0, kept5A = 0;
    for (size_t i = 0; i < dib.GetBitsSize(); ++i) {
        zeros += dib.m_pBits[i] == 0;
        kept5A += dib.m_pBits[i] == 0x5A;
    }
    EXPECT_EQ(kept5A, kept - offBits);
    EXPECT_EQ(zeros, dib.GetBitsSize() - (kept - offBits));
    std::fclose(f);
}

// Guarding the maps used to swallow a `kill -BUS` sent to the program once,
// and must not keep a bus error elsewhere from ending it either: both end
// the program by SIGBUS, as they would without the guard.
TEST(DibReadDeathTest, BusErrorsThatAreNotInAMapEndTheProgram) {
    // Each case starts in a fresh process, so the guard is installed there
    // over the default action.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto guardedMapThen = [](auto trigger) {
        // The sanitizers' own handler would report the signal and exit instead.
        std::signal(SIGBUS, SIG_DFL);
        CDib dib;
        BmpLayout b;
        b.bits.assign(4, '\0');
        if (ReadDib(dib, MakeBmp(b)) == 0 || !dib.m_pBits.IsMapped())
            std::_Exit(3);
        trigger();
        std::_Exit(0);
    };
    EXPECT_EXIT(guardedMapThen([] { kill(getpid(), SIGBUS); }), testing::KilledBySignal(SIGBUS),
                "");
    // A page of a file cut short, mapped by someone else than CDib.
    EXPECT_EXIT(guardedMapThen([] {
                    std::FILE* f = std::tmpfile();
                    const long page = sysconf(_SC_PAGESIZE);
                    if (!f || ftruncate(fileno(f), page) != 0)
                        std::_Exit(3);
                    void* mapping =
                        mmap(nullptr, size_t(page), PROT_READ, MAP_SHARED, fileno(f), 0);
                    if (mapping == MAP_FAILED || ftruncate(fileno(f), 0) != 0)
                        std::_Exit(3);
                    std::printf("%d", *static_cast<volatile const char*>(mapping));
                }),
                testing::KilledBySignal(SIGBUS), "");
}
