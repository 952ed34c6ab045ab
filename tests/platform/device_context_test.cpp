#include "platform/device_context.h"
#include "render/dib.h"
#include "tests/platform/dib_test_picture.h"

#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

QImage Surface(int w, int h, QRgb fill = qRgb(255, 255, 255)) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

QRgb Px(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

// Every pixel that differs from `background`.
std::set<std::pair<int, int>> Painted(const QImage& image, QRgb background) {
    std::set<std::pair<int, int>> painted;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Px(image, x, y) != (background | 0xFF000000u))
                painted.insert({x, y});
    return painted;
}

// The bounding box of the pixels that differ from `background` [x0, y0, x1, y1).
CRect PaintedBox(const QImage& image, QRgb background) {
    CRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const auto& [x, y] : Painted(image, background)) {
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1);
        box.bottom = std::max(box.bottom, y + 1);
    }
    return box;
}

std::string Describe(CPoint a, CPoint b) {
    return "(" + std::to_string(a.x) + "," + std::to_string(a.y) + ")->(" + std::to_string(b.x) +
           "," + std::to_string(b.y) + ")";
}

struct LineCase {
    CPoint from;
    CPoint to;
    std::vector<std::pair<int, int>> pixels;
};

TEST(DeviceContextLines, ThinLinesExcludeTheirEndPoint) {
    const std::vector<LineCase> cases = {
        {{2, 5}, {6, 5}, {{2, 5}, {3, 5}, {4, 5}, {5, 5}}},
        {{6, 5}, {2, 5}, {{6, 5}, {5, 5}, {4, 5}, {3, 5}}},
        {{4, 1}, {4, 4}, {{4, 1}, {4, 2}, {4, 3}}},
        {{4, 4}, {4, 1}, {{4, 4}, {4, 3}, {4, 2}}},
        {{1, 1}, {5, 5}, {{1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {{5, 5}, {1, 1}, {{5, 5}, {4, 4}, {3, 3}, {2, 2}}},
        {{1, 5}, {4, 2}, {{1, 5}, {2, 4}, {3, 3}}},
        {{3, 3}, {3, 3}, {}},
    };
    for (const LineCase& c : cases) {
        QImage image = Surface(10, 10);
        CDC dc(&image);
        dc.SelectPen(CPen{1, kBlack});
        dc.MoveTo(c.from);
        dc.LineTo(c.to);
        const std::set<std::pair<int, int>> expected(c.pixels.begin(), c.pixels.end());
        EXPECT_EQ(Painted(image, qRgb(255, 255, 255)), expected) << Describe(c.from, c.to);
    }
}

TEST(DeviceContextLines, LineToMovesTheCurrentPositionAndUsesThePen) {
    QImage image = Surface(10, 10);
    CDC dc(&image);
    EXPECT_EQ(dc.SelectPen(CPen{1, kRed}), (CPen{1, kBlack})) << "default pen";
    dc.MoveTo(1, 1);
    dc.LineTo(5, 1);
    dc.LineTo(5, 4);
    EXPECT_EQ(Px(image, 1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(Px(image, 5, 1), qRgb(255, 0, 0)) << "a polyline's corner is the next start";
    EXPECT_EQ(Px(image, 5, 3), qRgb(255, 0, 0));
    EXPECT_EQ(Px(image, 5, 4), qRgb(255, 255, 255));
    EXPECT_EQ(dc.MoveTo(0, 0), (CPoint{5, 4}));
}

TEST(DeviceContextLines, WidePensPaintAcrossTheLine) {
    QImage image = Surface(20, 20);
    CDC dc(&image);
    dc.SelectPen(CPen{3, kBlack});
    dc.MoveTo(2, 10);
    dc.LineTo(17, 10);
    for (int y : {9, 10, 11})
        EXPECT_EQ(Px(image, 10, y), qRgb(0, 0, 0)) << "y " << y;
    EXPECT_EQ(Px(image, 10, 7), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 10, 13), qRgb(255, 255, 255));
}

TEST(DeviceContextFigures, EllipseIsInscribedAndHollow) {
    QImage image = Surface(40, 30);
    CDC dc(&image);
    const CRect rect{10, 5, 31, 22}; // outline spans x 10..30, y 5..21
    dc.Ellipse(rect);
    const CRect box = PaintedBox(image, qRgb(255, 255, 255));
    EXPECT_EQ(box, rect);
    EXPECT_EQ(Px(image, 10, 13), qRgb(0, 0, 0));
    EXPECT_EQ(Px(image, 30, 13), qRgb(0, 0, 0));
    EXPECT_EQ(Px(image, 20, 5), qRgb(0, 0, 0));
    EXPECT_EQ(Px(image, 20, 21), qRgb(0, 0, 0));
    EXPECT_EQ(Px(image, 20, 13), qRgb(255, 255, 255)) << "interior stays unfilled";
    EXPECT_EQ(Px(image, 10, 5), qRgb(255, 255, 255)) << "corner of the rectangle";
}

TEST(DeviceContextFigures, FillsAndPixelsStayInsideTheirRectangle) {
    QImage image = Surface(10, 10);
    CDC dc(&image);
    dc.FillSolidRect(CRect{2, 3, 5, 7}, kRed);
    EXPECT_EQ(PaintedBox(image, qRgb(255, 255, 255)), (CRect{2, 3, 5, 7}));
    dc.FillSolidRect(6, 6, 2, 1, kBlue);
    EXPECT_EQ(Px(image, 7, 6), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 8, 6), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 6, 7), qRgb(255, 255, 255));

    EXPECT_TRUE(dc.SetPixelV(9, 9, kBlack));
    EXPECT_EQ(dc.GetPixel(9, 9), kBlack);
    EXPECT_EQ(dc.GetPixel(3, 4), kRed);
    EXPECT_FALSE(dc.SetPixelV(10, 3, kBlack)) << "outside the surface";
    EXPECT_EQ(dc.GetPixel(-1, 0), CLR_INVALID);
}

TEST(DeviceContextCoordinates, OriginMovesAndClipLimitsEveryDrawing) {
    QImage image = Surface(20, 20);
    CDC dc(&image);
    EXPECT_EQ(dc.SetViewportOrg({-100, -40}), (CPoint{0, 0}));
    dc.FillSolidRect(CRect{100, 40, 104, 43}, kRed);
    EXPECT_EQ(PaintedBox(image, qRgb(255, 255, 255)), (CRect{0, 0, 4, 3}));
    EXPECT_EQ(dc.GetPixel(100, 40), kRed);

    image.fill(Qt::white);
    dc.SetClipRect(CRect{5, 6, 8, 10});
    EXPECT_EQ(dc.GetClipBox(), (CRect{105, 46, 108, 50})) << "clip box is logical";
    dc.FillSolidRect(CRect{0, 0, 200, 200}, kRed);
    EXPECT_EQ(PaintedBox(image, qRgb(255, 255, 255)), (CRect{5, 6, 8, 10}));

    image.fill(Qt::white);
    dc.MoveTo(100, 47);
    dc.LineTo(120, 47);
    dc.SetPixelV(100, 40, kBlack);
    dc.Ellipse(CRect{100, 40, 119, 59});
    dc.DrawText("WWWW\nWWWW", CRect{100, 40, 120, 60}, 0);
    const CRect box = PaintedBox(image, qRgb(255, 255, 255));
    EXPECT_GE(box.left, 5);
    EXPECT_GE(box.top, 6);
    EXPECT_LE(box.right, 8);
    EXPECT_LE(box.bottom, 10);

    dc.SetClipRect(CRect{-5, -5, 50, 50});
    EXPECT_EQ(dc.GetClipBox(), (CRect{100, 40, 120, 60})) << "clip is cut to the surface";
}

TEST(DeviceContextText, LeftTopLinesBreakOnlyAtNewlinesOnWhite) {
    QImage image = Surface(300, 120, qRgb(0, 0, 255));
    CDC dc(&image);
    dc.SelectFont(CFont(20));
    const int height =
        dc.DrawText(" Direction\n\nSpeed with many words", CRect{10, 15, 60, 115}, 0);
    EXPECT_EQ(height, 60);

    // First line: a white box from the rectangle's top-left, 20 pixels high,
    // with black glyphs; the empty second line leaves the background alone.
    EXPECT_EQ(Px(image, 10, 15), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 10, 34), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 10, 35), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 9, 15), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 10, 14), qRgb(0, 0, 255));
    bool black = false;
    for (int y = 15; y < 35; ++y)
        for (int x = 10; x < 60; ++x)
            black = black || Px(image, x, y) == qRgb(0, 0, 0);
    EXPECT_TRUE(black) << "default text colour is black";
    // Third line starts at 55; it is not wrapped although it is wider than
    // the rectangle, and the rectangle clips it.
    EXPECT_EQ(Px(image, 10, 55), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 59, 55), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 60, 55), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 10, 75), qRgb(0, 0, 255));
}

TEST(DeviceContextText, RightAlignedMultiLineTextIsLaidOutFromTheTop) {
    QImage image = Surface(200, 200, qRgb(0, 0, 255));
    CDC dc(&image);
    dc.SelectFont(CFont(30));
    EXPECT_EQ(dc.SetTextColor(kRed), kBlack);
    dc.DrawText("1\n22222", CRect{0, 0, 180, 200}, DT_RIGHT | DT_VCENTER);
    const QFontMetrics metrics(CFont(30).Font());
    const int w1 = metrics.horizontalAdvance(QStringLiteral("1"));
    const int w2 = metrics.horizontalAdvance(QStringLiteral("22222"));
    // Each line's box ends at the rectangle's right edge.
    EXPECT_EQ(Px(image, 179, 0), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 180, 0), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 180 - w1, 10), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 179 - w1, 10), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 180 - w2, 40), qRgb(255, 255, 255));
    EXPECT_EQ(Px(image, 179 - w2, 40), qRgb(0, 0, 255));
    EXPECT_EQ(Px(image, 179, 60), qRgb(0, 0, 255)) << "nothing below the two lines";
    bool red = false;
    for (int y = 30; y < 60; ++y)
        for (int x = 180 - w2; x < 180; ++x)
            red = red || (qRed(Px(image, x, y)) > 200 && qGreen(Px(image, x, y)) < 60);
    EXPECT_TRUE(red);
}

TEST(DeviceContextText, BytesAreLatin1) {
    QImage image = Surface(100, 40, qRgb(0, 0, 255));
    CDC dc(&image);
    dc.SelectFont(CFont(20));
    dc.DrawText("\xB0", CRect{0, 0, 100, 40}, 0);
    const QFontMetrics metrics(CFont(20).Font());
    EXPECT_EQ(PaintedBox(image, qRgb(0, 0, 255)),
              (CRect{0, 0, metrics.horizontalAdvance(QChar(0xB0)), 20}));
}

TEST(DeviceContextText, FontHeightIsTheLinePitch) {
    for (int32_t asked : {38, 115, 12}) {
        const CFont font(asked);
        EXPECT_EQ(font.Height(), asked);
        const QFontMetrics metrics(font.Font());
        EXPECT_LE(metrics.height(), asked) << asked;
        EXPECT_GE(metrics.height(), asked * 8 / 10) << asked;

        QImage image = Surface(400, 300, qRgb(0, 0, 255));
        CDC dc(&image);
        dc.SelectFont(font);
        dc.DrawText("   ", CRect{0, 0, 400, 300}, 0);
        EXPECT_EQ(PaintedBox(image, qRgb(0, 0, 255)).Height(), asked);
    }
    EXPECT_EQ(CFont(0).Height(), QFontMetrics(QGuiApplication::font()).height());
    EXPECT_EQ(CFont().Height(), CFont(0).Height());
}

TEST(DeviceContextObjects, SelectReturnsThePreviousObject) {
    QImage image = Surface(4, 4);
    CDC dc(&image);
    const std::vector<PaletteEntry>* none = nullptr;
    const std::vector<PaletteEntry> palette(16);
    EXPECT_EQ(dc.SelectPalette(&palette, true), none);
    EXPECT_EQ(dc.SelectPalette(none, true), &palette);
    EXPECT_EQ(dc.SetStretchBltMode(COLORONCOLOR), BLACKONWHITE);
    EXPECT_EQ(dc.SetStretchBltMode(BLACKONWHITE), COLORONCOLOR);
    EXPECT_EQ(dc.SelectFont(CFont(40)).Height(), CFont(0).Height());
    EXPECT_EQ(dc.SelectFont(CFont(0)).Height(), 40);
}

class DeviceContextBlits : public ::testing::Test {
protected:
    void SetUp() override {
        SetDibDecodeHook([this](const CRect& r) { decoded.push_back(r); });
    }
    void TearDown() override { SetDibDecodeHook({}); }
    std::vector<CRect> decoded;
};

TEST_F(DeviceContextBlits, UnscaledBlitShowsTheSourceCornerAtTheDestination) {
    for (bool topDown : {false, true}) {
        const TestPicture pic(300, 200, topDown);
        QImage image = Surface(64, 48);
        CDC dc(&image);
        // Source rectangle (100, 40)-(164, 88), rows counted from the bottom.
        const int lines = dc.SetDIBitsToDevice(0, 0, 64, 48, 100, 200 - 88, 0, 200, pic.bits.data(),
                                               pic.bits.size(), pic.info.data(), pic.info.size());
        EXPECT_EQ(lines, 200) << "top-down " << topDown;
        EXPECT_EQ(Px(image, 0, 0), TestPicture::Colour(100, 40)) << "top-down " << topDown;
        EXPECT_EQ(Px(image, 63, 47), TestPicture::Colour(163, 87)) << "top-down " << topDown;
        EXPECT_EQ(Px(image, 7, 5), TestPicture::Colour(107, 45)) << "top-down " << topDown;
    }
}

TEST_F(DeviceContextBlits, UnscaledBlitLeavesPixelsBeyondThePictureAndHonoursOrigin) {
    const TestPicture pic(50, 30, false);
    QImage image = Surface(100, 100, qRgb(0, 0, 255));
    CDC dc(&image);
    dc.SetViewportOrg({-10, -5});
    dc.SetDIBitsToDevice(20, 10, 100, 100, 0, 30 - 100, 0, 30, pic.bits.data(), pic.bits.size(),
                         pic.info.data(), pic.info.size());
    EXPECT_EQ(PaintedBox(image, qRgb(0, 0, 255)), (CRect{10, 5, 60, 35}));
    EXPECT_EQ(Px(image, 10, 5), TestPicture::Colour(0, 0));
}

TEST_F(DeviceContextBlits, OnlyTheClippedPartIsDecoded) {
    const TestPicture pic(2000, 1500, false);
    QImage image = Surface(400, 300);
    CDC dc(&image);
    dc.SetClipRect(CRect{100, 200, 116, 216});
    // The whole picture shifted by (700, 900), as a scrolled view draws it.
    dc.SetDIBitsToDevice(0, 0, 2000, 1500, 700, 1500 - (900 + 1500), 0, 1500, pic.bits.data(),
                         pic.bits.size(), pic.info.data(), pic.info.size());
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0], (CRect{800, 1100, 816, 1116}));
    EXPECT_EQ(Px(image, 100, 200), TestPicture::Colour(800, 1100));
    EXPECT_EQ(PaintedBox(image, qRgb(255, 255, 255)), (CRect{100, 200, 116, 216}));
}

TEST_F(DeviceContextBlits, StretchDoublesEachSourcePixel) {
    for (bool topDown : {false, true}) {
        const TestPicture pic(120, 90, topDown);
        QImage image = Surface(100, 80);
        CDC dc(&image);
        dc.SetStretchBltMode(COLORONCOLOR);
        // Source (10, 20)-(60, 60), measured from the picture's origin.
        const int ySrc = topDown ? 20 : 90 - 60;
        const int lines =
            dc.StretchDIBits(0, 0, 100, 80, 10, ySrc, 50, 40, pic.bits.data(), pic.bits.size(),
                             pic.info.data(), pic.info.size(), SRCCOPY);
        EXPECT_EQ(lines, 40);
        for (int y = 0; y < 80; y += 13)
            for (int x = 0; x < 100; x += 7)
                ASSERT_EQ(Px(image, x, y), TestPicture::Colour(10 + x / 2, 20 + y / 2))
                    << "top-down " << topDown << " at " << x << "," << y;
    }
}

TEST_F(DeviceContextBlits, StretchDecodesOnlyWhatTheClipShows) {
    const TestPicture pic(1000, 800, false);
    QImage image = Surface(400, 300);
    CDC dc(&image);
    dc.SetClipRect(CRect{40, 60, 48, 64});
    dc.StretchDIBits(0, 0, 2000, 1600, 0, 0, 1000, 800, pic.bits.data(), pic.bits.size(),
                     pic.info.data(), pic.info.size(), SRCCOPY);
    ASSERT_FALSE(decoded.empty());
    for (const CRect& r : decoded) {
        EXPECT_GE(r.left, 20);
        EXPECT_LE(r.right, 24);
        EXPECT_GE(r.top, 30);
        EXPECT_LE(r.bottom, 32);
    }
    EXPECT_EQ(Px(image, 41, 61), TestPicture::Colour(20, 30));
}

TEST_F(DeviceContextBlits, BadArgumentsFailWithZero) {
    const TestPicture pic(10, 10, false);
    QImage image = Surface(10, 10);
    CDC dc(&image);
    const auto* b = pic.bits.data();
    const auto* i = pic.info.data();
    EXPECT_EQ(dc.SetDIBitsToDevice(0, 0, 10, 10, 0, 0, 0, 10, b, pic.bits.size() - 1, i, 40), 0)
        << "pixel data too short";
    EXPECT_EQ(dc.SetDIBitsToDevice(0, 0, 10, 10, 0, 0, 0, 10, nullptr, 0, i, 40), 0);
    EXPECT_EQ(dc.StretchDIBits(0, 0, 20, 20, 0, 0, 10, 10, b, pic.bits.size(), i, 40, 0), 0)
        << "raster operation";
    EXPECT_EQ(dc.StretchDIBits(0, 0, 0, 20, 0, 0, 10, 10, b, pic.bits.size(), i, 40, SRCCOPY), 0);
    EXPECT_EQ(PaintedBox(image, qRgb(255, 255, 255)).left, INT32_MAX) << "nothing drawn";
}

TEST(DeviceContextMemory, BitBltCopiesFromASelectedBitmap) {
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(20, 10));
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
    EXPECT_EQ(mem.SelectBitmap(&bitmap), nullptr);
    mem.FillSolidRect(CRect{0, 0, 20, 10}, kRed);
    mem.SetPixelV(0, 0, kBlack);

    QImage image = Surface(50, 50);
    CDC dc(&image);
    dc.SetViewportOrg({-3, -4});
    ASSERT_TRUE(dc.BitBlt(10, 10, 20, 10, &mem, 0, 0, SRCCOPY));
    EXPECT_EQ(PaintedBox(image, qRgb(255, 255, 255)), (CRect{7, 6, 27, 16}));
    EXPECT_EQ(Px(image, 7, 6), qRgb(0, 0, 0));
    EXPECT_EQ(Px(image, 26, 15), qRgb(255, 0, 0));
    EXPECT_EQ(mem.SelectBitmap(nullptr), &bitmap);
    dc.SelectBitmap(&bitmap);
    EXPECT_EQ(dc.Surface(), &image) << "only memory contexts take bitmaps";
}

TEST(DeviceContextMemory, BitmapsLoadFromFiles) {
    QTemporaryDir dir;
    QImage picture(540, 341, QImage::Format_RGB32);
    picture.fill(qRgb(255, 255, 0));
    const QString path = QDir(dir.path()).filePath(QStringLiteral("world.bmp"));
    ASSERT_TRUE(picture.save(path, "BMP"));

    CBitmap bitmap;
    BITMAP bm;
    EXPECT_FALSE(bitmap.GetBitmap(&bm));
    EXPECT_FALSE(bitmap.LoadBitmap(QDir(dir.path()).filePath(QStringLiteral("missing.bmp"))));
    ASSERT_TRUE(bitmap.LoadBitmap(path));
    ASSERT_TRUE(bitmap.GetBitmap(&bm));
    EXPECT_EQ(bm.bmWidth, 540);
    EXPECT_EQ(bm.bmHeight, 341);
    EXPECT_EQ(Px(bitmap.Image(), 5, 5), qRgb(255, 255, 0));
}

} // namespace
