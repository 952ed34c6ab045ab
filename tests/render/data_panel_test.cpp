#include "tests/app/app_fixture.h"

#include <functional>

namespace {

// A "GPS Data" window with a 600 x 460 client: small font 38, large font
// 115 pixels, so left line k spans y 38k..38k+37 and right line k y 115k..115k+114.
class DataPanel : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        view = OpenWindow(DOCMODE_GPSDATA);
        ASSERT_NE(view, nullptr);
        SetClientSize(view, 600, 460);
        gps = view->m_pGps;
    }

    // Whether any pixel of `colour` lies in the rectangle.
    bool Has(const CRect& r, bool (*colour)(QColor)) const {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (colour(Pixel(view, x, y)))
                    return true;
        return false;
    }
    // Left lines that hold black text, seen in the first 120 pixels.
    std::string BlackLines() const {
        std::string lines;
        for (int k = 0; k < 12; ++k)
            if (Has({0, 38 * k, 120, 38 * k + 38}, IsBlack))
                lines += char('0' + (k % 10));
        return lines;
    }
    // Right lines that hold red text.
    std::string RedLines() const {
        std::string lines;
        for (int k = 0; k < 4; ++k)
            if (Has({0, 115 * k, 600, 115 * k + 115}, IsRed))
                lines += char('0' + k);
        return lines;
    }

    COstrelView* view = nullptr;
    CGpsReceiver* gps = nullptr;
};

TEST_F(DataPanel, WindowAndFonts) {
    auto* frame = qobject_cast<QMdiSubWindow*>(view->parentWidget());
    EXPECT_EQ(view->m_nMode, DOCMODE_GPSDATA);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Ostrel2"));
    ASSERT_TRUE(view->m_fontSmall && view->m_fontLarge);
    EXPECT_EQ(view->m_fontSmall->Height(), 38);
    EXPECT_EQ(view->m_fontLarge->Height(), 115);
    SetClientSize(view, 400, 432);
    EXPECT_EQ(view->m_fontSmall->Height(), 36);
    EXPECT_EQ(view->m_fontLarge->Height(), 108);
}

TEST_F(DataPanel, WithoutDataOnlyTheLabels) {
    view->OnTimer(2);
    // " Direction", " Speed (knots)", " Time (UTC)"
    EXPECT_EQ(BlackLines(), "036");
    EXPECT_EQ(RedLines(), "");
}

struct ValueCase {
    const char* name;
    std::function<void(CGpsFix&)> set;
    const char* blackLines; // left lines with black text
    const char* redLines;   // right lines with red text
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class DataPanelValue : public DataPanel, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(DataPanelValue, LandsInItsLine) {
    const ValueCase& c = GetParam();
    c.set(gps->m_fix);
    view->OnTimer(2);
    EXPECT_EQ(BlackLines(), c.blackLines) << c.name;
    EXPECT_EQ(RedLines(), c.redLines) << c.name;
    if (*c.redLines) {
        // Right-aligned: the red text reaches the right edge, and not the left one.
        EXPECT_TRUE(Has({580, 0, 600, 345}, IsRed)) << c.name;
        EXPECT_FALSE(Has({0, 0, 100, 460}, IsRed)) << c.name;
    }
    // A repaint draws the same panel.
    const QImage ticked = view->Surface().copy();
    view->RedrawWindow();
    EXPECT_TRUE(view->Surface() == ticked) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Values, DataPanelValue,
    ::testing::Values(
        ValueCase{"direction", [](CGpsFix& f) { f.m_strCourse = "084.4"; }, "036", "0"},
        ValueCase{"speed", [](CGpsFix& f) { f.m_strSpeedKnots = "022.4"; }, "036", "1"},
        ValueCase{"time and date",
                  [](CGpsFix& f) {
                      f.m_strTime = "123519";
                      f.m_strDate = "230394";
                  },
                  "0367", "2"},
        ValueCase{"latitude with height",
                  [](CGpsFix& f) {
                      f.m_strLatitude = "4807.038";
                      f.m_strNorthSouth = "N";
                  },
                  "03691", ""},
        ValueCase{"longitude",
                  [](CGpsFix& f) {
                      f.m_strLongitude = "01131.000";
                      f.m_strEastWest = "E";
                  },
                  "0360", ""}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == ' ')
                ch = '_';
        return n;
    });

TEST_F(DataPanel, AShorterValueCoversTheOldOne) {
    gps->m_fix.m_strCourse = "084.4";
    view->OnTimer(2);
    ASSERT_TRUE(Has({0, 0, 500, 115}, IsRed));
    gps->m_fix.m_strCourse = "1";
    view->OnTimer(2);
    EXPECT_TRUE(Has({500, 0, 600, 115}, IsRed));
    EXPECT_FALSE(Has({0, 0, 500, 115}, IsRed));
}

} // namespace
