#include "platform/scroll_view.h"

#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

QRgb Px(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

// Records what the base class hands to its hooks. OnDraw marks map pixel
// (100, 40) red and keeps the clip of a client context made meanwhile.
class TestView : public CScrollView {
public:
    struct Draw {
        CRect clipBox; // logical
        CPoint origin;
        CRect clientClip; // of a client context made inside OnDraw
    };
    std::vector<Draw> draws;
    std::vector<CSize> sizes;
    std::vector<uintptr_t> ticks;
    std::vector<CPoint> moves;
    std::vector<CPoint> rightClicks;

protected:
    void OnDraw(CDC* pDC) override {
        CClientDC client(this);
        draws.push_back({pDC->GetClipBox(), pDC->GetViewportOrg(), client.GetClipBox()});
        pDC->SetPixelV(100, 40, kRed);
    }
    void OnSize(uint32_t, int32_t cx, int32_t cy) override { sizes.push_back({cx, cy}); }
    void OnTimer(uintptr_t id) override { ticks.push_back(id); }
    void OnMouseMove(CPoint point) override { moves.push_back(point); }
    void OnRButtonDown(CPoint point) override { rightClicks.push_back(point); }
};

class ScrollViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(320, 240);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        client = view.GetClientRect();
        view.draws.clear();
    }
    TestView view;
    CRect client;
};

TEST_F(ScrollViewTest, ResizeGivesOnSizeTheClientSizeAndRepaints) {
    EXPECT_EQ(client.left, 0);
    EXPECT_GT(client.Width(), 200);
    EXPECT_EQ(view.Surface().size(), QSize(client.Width(), client.Height()));

    view.sizes.clear();
    view.resize(400, 300);
    QCoreApplication::processEvents();
    const CRect resized = view.GetClientRect();
    ASSERT_FALSE(view.sizes.empty());
    EXPECT_EQ(view.sizes.back(), (CSize{resized.Width(), resized.Height()}));
    EXPECT_EQ(view.Surface().size(), QSize(resized.Width(), resized.Height()));
    ASSERT_FALSE(view.draws.empty());
    EXPECT_EQ(view.draws.back().clipBox, resized);
}

TEST_F(ScrollViewTest, RedrawOfARectangleErasesOnlyItAndClipsEveryContext) {
    {
        CClientDC dc(&view);
        EXPECT_EQ(dc.GetClipBox(), client) << "outside a repaint: the whole client";
        dc.FillSolidRect(client, kBlue);
    }
    view.RedrawWindow(CRect{10, 20, 26, 36});
    ASSERT_EQ(view.draws.size(), 1u);
    EXPECT_EQ(view.draws[0].clipBox, (CRect{10, 20, 26, 36}));
    EXPECT_EQ(view.draws[0].clientClip, (CRect{10, 20, 26, 36}));
    EXPECT_EQ(view.draws[0].origin, (CPoint{0, 0}));

    const QImage& s = view.Surface();
    EXPECT_EQ(Px(s, 10, 20), qRgb(255, 255, 255));
    EXPECT_EQ(Px(s, 25, 35), qRgb(255, 255, 255));
    EXPECT_EQ(Px(s, 9, 20), qRgb(0, 0, 255));
    EXPECT_EQ(Px(s, 26, 35), qRgb(0, 0, 255));
    EXPECT_EQ(Px(s, 25, 36), qRgb(0, 0, 255));
    EXPECT_EQ(Px(s, 100, 40), qRgb(0, 0, 255)) << "OnDraw's pixel lies outside the clip";

    CClientDC after(&view);
    EXPECT_EQ(after.GetClipBox(), client) << "the repaint's clip ends with it";
}

TEST_F(ScrollViewTest, WholeRedrawPaintsTheClient) {
    view.RedrawWindow();
    ASSERT_EQ(view.draws.size(), 1u);
    EXPECT_EQ(view.draws[0].clipBox, client);
    EXPECT_EQ(Px(view.Surface(), 100, 40), qRgb(255, 0, 0));
}

TEST_F(ScrollViewTest, ClientContextsFollowDrawIntoToItsContext) {
    // Marks client pixel (3, 4) through a client context, as the overlays do.
    class OverlayView : public TestView {
    protected:
        void OnDraw(CDC* pDC) override {
            TestView::OnDraw(pDC);
            CClientDC client(this);
            client.SetPixelV(3, 4, kBlue);
        }
    } overlay;
    overlay.resize(320, 240);
    overlay.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overlay));
    overlay.SetScrollSizes(CSize{1000, 800});
    overlay.ScrollToPosition({90, 30});
    overlay.Surface().fill(Qt::white);

    // The client area lands at (20, 10) of the page.
    QImage page(400, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    CDC dc(&page);
    dc.SetViewportOrg({20 - 90, 10 - 30});
    overlay.DrawInto(&dc);
    EXPECT_EQ(Px(page, 30, 20), qRgb(255, 0, 0)) << "map pixel (100, 40), client (10, 10)";
    EXPECT_EQ(Px(page, 23, 14), qRgb(0, 0, 255)) << "client pixel (3, 4)";
    EXPECT_EQ(Px(overlay.Surface(), 3, 4), qRgb(255, 255, 255)) << "nothing on the screen";

    page.fill(Qt::white);
    dc.SetClipRect(CRect{25, 0, 400, 300});
    overlay.DrawInto(&dc);
    EXPECT_EQ(Px(page, 23, 14), qRgb(255, 255, 255)) << "the page's clip holds";
    EXPECT_EQ(overlay.draws.back().clientClip, (CRect{5, -10, 380, 290})) << "in client pixels";

    CClientDC after(&overlay);
    EXPECT_EQ(after.Surface(), &overlay.Surface()) << "back on the screen afterwards";
    EXPECT_EQ(after.GetClipBox(), overlay.GetClientRect());
}

TEST_F(ScrollViewTest, ScrollPositionMovesThePaintOrigin) {
    view.SetScrollSizes(CSize{1000, 800});
    EXPECT_EQ(view.GetTotalSize(), (CSize{1000, 800}));
    EXPECT_EQ(view.horizontalScrollBar()->pageStep(), 100);
    EXPECT_EQ(view.horizontalScrollBar()->singleStep(), 10);
    view.draws.clear();

    view.ScrollToPosition({100, 40});
    EXPECT_EQ(view.GetScrollPosition(), (CPoint{100, 40}));
    ASSERT_EQ(view.draws.size(), 1u) << "one repaint for both bars";
    EXPECT_EQ(view.draws[0].origin, (CPoint{-100, -40}));
    EXPECT_EQ(view.draws[0].clipBox, (CRect{100, 40, 100 + client.Width(), 40 + client.Height()}));
    EXPECT_EQ(Px(view.Surface(), 0, 0), qRgb(255, 0, 0)) << "map pixel (100, 40) at the corner";

    view.ScrollToPosition({5000, 5000});
    const CRect c = view.GetClientRect();
    EXPECT_EQ(view.GetScrollPosition(), (CPoint{1000 - c.Width(), 800 - c.Height()}));

    view.draws.clear();
    view.horizontalScrollBar()->setValue(30);
    ASSERT_EQ(view.draws.size(), 1u) << "a scroll-bar move repaints";
    EXPECT_EQ(view.draws[0].clipBox.left, 30);
    EXPECT_EQ(view.draws[0].clipBox.Width(), c.Width());
}

// Centring right after the total size has grown past the client: the scroll
// bars that it brings are laid out a turn of the event loop later, and the
// centring must count the client area they leave, not the one before them.
TEST(ScrollViewCentre, CentresInTheClientTheScrollBarsLeave) {
    const CSize total{1000, 800};
    for (const CPoint centre : {CPoint{500, 400}, CPoint{999, 799}, CPoint{0, 0}}) {
        TestView view;
        view.resize(320, 240);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.SetScrollSizes(total);
        view.CenterOnPoint(centre);
        QCoreApplication::processEvents();
        const CRect c = view.GetClientRect();
        ASSERT_TRUE(view.horizontalScrollBar()->isVisible() &&
                    view.verticalScrollBar()->isVisible());
        // Clamped at the picture's corners.
        const CPoint expected{std::clamp(centre.x - c.Width() / 2, 0, total.cx - c.Width()),
                              std::clamp(centre.y - c.Height() / 2, 0, total.cy - c.Height())};
        EXPECT_EQ(view.GetScrollPosition(), expected) << centre.x << "," << centre.y;
    }
}

TEST_F(ScrollViewTest, ScrollSizesSetDuringDrawingDoNotRecurse) {
    class SizingView : public TestView {
    protected:
        void OnDraw(CDC* pDC) override {
            SetScrollSizes(CSize{100, 100}); // shrinks the range below the position
            TestView::OnDraw(pDC);
        }
    } sizing;
    sizing.resize(200, 150);
    sizing.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sizing));
    sizing.SetScrollSizes(CSize{2000, 2000});
    sizing.ScrollToPosition({500, 500});
    QCoreApplication::processEvents();
    EXPECT_EQ(sizing.GetScrollPosition(), (CPoint{0, 0})) << "the picture fits the client";
    EXPECT_LE(sizing.draws.size(), 12u);
    ASSERT_FALSE(sizing.draws.empty());
    EXPECT_EQ(sizing.draws.back().origin, (CPoint{0, 0})) << "a final repaint at the new position";
}

TEST_F(ScrollViewTest, TimersDeliverTheirIdentifiers) {
    view.SetTimer(2, 10);
    view.SetTimer(7, 10);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return std::count(view.ticks.begin(), view.ticks.end(), 2u) >= 2 &&
                   std::count(view.ticks.begin(), view.ticks.end(), 7u) >= 2;
        },
        5000));
    EXPECT_TRUE(view.KillTimer(2));
    EXPECT_FALSE(view.KillTimer(2));
    EXPECT_FALSE(view.KillTimer(3));
    view.ticks.clear();
    QTest::qWait(60);
    EXPECT_EQ(std::count(view.ticks.begin(), view.ticks.end(), 2u), 0);
    EXPECT_GT(std::count(view.ticks.begin(), view.ticks.end(), 7u), 0);
    view.KillTimer(7);
}

TEST_F(ScrollViewTest, MouseHooksGetClientPoints) {
    QTest::mouseMove(view.viewport(), QPoint(30, 25));
    QCoreApplication::processEvents();
    ASSERT_FALSE(view.moves.empty());
    EXPECT_EQ(view.moves.back(), (CPoint{30, 25}));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, 6));
    EXPECT_TRUE(view.rightClicks.empty());
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, QPoint(40, 12));
    ASSERT_EQ(view.rightClicks.size(), 1u);
    EXPECT_EQ(view.rightClicks[0], (CPoint{40, 12}));
}

TEST_F(ScrollViewTest, InitialUpdateRepaintsLaterAndDrawIntoUsesTheGivenContext) {
    view.OnInitialUpdate();
    EXPECT_TRUE(view.draws.empty()) << "the repaint waits for the event loop";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.draws.empty(); }, 2000));

    QImage page(200, 100, QImage::Format_RGB32);
    page.fill(Qt::white);
    CDC dc(&page);
    view.DrawInto(&dc);
    EXPECT_EQ(Px(page, 100, 40), qRgb(255, 0, 0));
}

} // namespace
