#include "platform/device_context.h"
#include "render/dib.h"
#include "tests/platform/dib_test_picture.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

// Loads `file` into `dib` through a temporary file.
bool Load(CDib& dib, const std::vector<uint8_t>& file) {
    std::FILE* f = std::tmpfile();
    if (!f)
        return false;
    std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    const bool ok = dib.Read(f) == file.size();
    std::fclose(f);
    return ok;
}

QImage Surface(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QRgb Px(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

TEST(DibDraw, NothingLoadedDrawsNothing) {
    CDib dib;
    QImage image = Surface(8, 8);
    CDC dc(&image);
    EXPECT_EQ(dib.Draw(&dc, CRect{0, 0, 8, 8}, CRect{0, 0, 8, 8}), 0);
    EXPECT_EQ(dc.GetStretchBltMode(), BLACKONWHITE) << "context untouched";
    EXPECT_EQ(Px(image, 0, 0), qRgb(255, 255, 255));
}

TEST(DibDraw, EqualSizesShowTheSourceCornerAtTheDestination) {
    for (bool topDown : {false, true}) {
        const TestPicture pic(300, 200, topDown);
        CDib dib;
        ASSERT_TRUE(Load(dib, pic.File()));
        QImage image = Surface(64, 48);
        CDC dc(&image);
        // As the scanned map is drawn scrolled to (100, 40).
        const int lines = dib.Draw(&dc, CRect{0, 0, 300, 200}, CRect{100, 40, 400, 240});
        EXPECT_EQ(lines, 200) << "top-down " << topDown;
        EXPECT_EQ(Px(image, 0, 0), TestPicture::Colour(100, 40)) << "top-down " << topDown;
        EXPECT_EQ(Px(image, 63, 47), TestPicture::Colour(163, 87)) << "top-down " << topDown;
        EXPECT_EQ(dc.GetStretchBltMode(), COLORONCOLOR);
    }
}

TEST(DibDraw, TallPicturesKeepEveryRow) {
    // 70000 rows: a 16-bit scan-line count would leave only the bottom 4464.
    const TestPicture pic(1, 70000, false);
    CDib dib;
    ASSERT_TRUE(Load(dib, pic.File()));
    QImage image = Surface(1, 1);
    CDC dc(&image);
    EXPECT_EQ(dib.Draw(&dc, CRect{0, 0, 1, 1}, CRect{0, 1, 1, 2}), 70000);
    EXPECT_EQ(Px(image, 0, 0), TestPicture::Colour(0, 1));
}

TEST(DibDraw, DoubleSizeStretchesTheSameSourceRectangle) {
    for (bool topDown : {false, true}) {
        const TestPicture pic(120, 90, topDown);
        CDib dib;
        ASSERT_TRUE(Load(dib, pic.File()));
        QImage image = Surface(100, 80);
        CDC dc(&image);
        EXPECT_EQ(dib.Draw(&dc, CRect{0, 0, 100, 80}, CRect{10, 20, 60, 60}), 40);
        EXPECT_EQ(dc.GetStretchBltMode(), COLORONCOLOR);
        for (int y = 0; y < 80; y += 11)
            for (int x = 0; x < 100; x += 9)
                ASSERT_EQ(Px(image, x, y), TestPicture::Colour(10 + x / 2, 20 + y / 2))
                    << "top-down " << topDown << " at " << x << "," << y;
    }
}

TEST(DibDraw, PaletteIsSelectedForTheBlitAndRestored) {
    // A 2 x 1 picture of 8 bits with two colour-table entries.
    std::vector<uint8_t> file(14 + 40 + 8 + 4, 0);
    file[0] = 'B';
    file[1] = 'M';
    file[10] = 14 + 40 + 8;
    file[14] = 40;
    file[18] = 2;        // width
    file[22] = 1;        // height
    file[26] = 1;        // planes
    file[28] = 8;        // bit count
    file[46] = 2;        // colours used
    file[54 + 2] = 0xFF; // entry 0: red
    file[58 + 0] = 0xFF; // entry 1: blue
    file[62] = 1;
    file[63] = 0;
    CDib dib;
    ASSERT_TRUE(Load(dib, file));
    ASSERT_TRUE(dib.m_pPalette);

    QImage image = Surface(2, 1);
    CDC dc(&image);
    const std::vector<PaletteEntry> before(3);
    dc.SelectPalette(&before, false);
    EXPECT_EQ(dib.Draw(&dc, CRect{0, 0, 2, 1}, CRect{0, 0, 2, 1}), 1);
    EXPECT_EQ(dc.SelectPalette(nullptr, false), &before);
    EXPECT_EQ(Px(image, 0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 1, 0), qRgb(255, 0, 0));
}

} // namespace
