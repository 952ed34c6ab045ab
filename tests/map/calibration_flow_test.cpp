#include "app/string_table.h"
#include "map/calibration_input.h"
#include "map/calibration_store.h"
#include "platform/message_box.h"
#include "tests/app/app_fixture.h"
#include "tests/modal_driver.h"
#include "tests/render/bmp_file.h"
#include "tests/test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

namespace {

const QString kTooClose =
    QStringLiteral("Calibrate points are too close, please select another point!");

// What the user types into the calibration dialog for one point.
struct Typed {
    const char* lonGrads;
    const char* lonMins;
    int lonHemi; // list index: 0 "E", 1 "W"
    const char* latGrads;
    const char* latMins;
    int latHemi; // 0 "N", 1 "S"
};

// 12 deg 30 min W, 48 deg 30 min N: -45000 and 174600 arc-seconds.
constexpr Typed kPoint1{"12.5", "", 1, "48", "30", 0};
// 11 deg 30 min E, 47 deg 15 min N: 41400 and 170100 arc-seconds.
constexpr Typed kPoint2{"11", "30", 0, "47", "15", 0};

// A scanned map of one colour, 800 x 600, opened as "/maps/city.bmp" in a
// 500 x 350 client area, uncalibrated; the working directory (and with it
// the store) is a fresh temporary one.
class CalibrationFlow : public AppTest {
protected:
    static constexpr QRgb kGround = 0x008000;

    void SetUp() override {
        m_dir.emplace(true);
        AppTest::SetUp();
        world = ActiveView();
        ASSERT_NE(world, nullptr);
        view = OpenWindow(DOCMODE_MAP);
        ASSERT_NE(view, nullptr);
        ASSERT_NE(ReadDib(view->m_dib, PlainBmp(800, 600, kGround)), 0u);
        view->m_bMapLoaded = true;
        view->m_pDocument->SetPathName("/maps/city.bmp");
        // Pointer moves reach the window on top at the pointer's place.
        Raise(view);
        SetClientSize(view, 500, 350);
        view->RedrawWindow();
        SetMessageBoxHook([this](const QString& text) { messages << text; });
    }

    void TearDown() override {
        SetMessageBoxHook({});
        AppTest::TearDown();
        m_dir.reset();
    }

    void Raise(COstrelView* target) {
        auto* frame = qobject_cast<QMdiSubWindow*>(target->parentWidget());
        frame->move(0, 0);
        Frame()->MdiArea()->setActiveSubWindow(frame);
        QApplication::processEvents();
    }

    // A right-click at client `p` whose dialog is filled with `t` and
    // confirmed with OK.
    void RightClickAndConfirm(QPoint p, const Typed& t) {
        AnswerNextModal([this, t](QWidget* dialog) {
            ++dialogs;
            auto* lonGrads = dialog->findChild<QLineEdit*>("IDC_LON_GRADS");
            auto* lonMins = dialog->findChild<QLineEdit*>("IDC_LON_MINS");
            auto* lonHemi = dialog->findChild<QComboBox*>("IDC_LON_HEMI");
            auto* latGrads = dialog->findChild<QLineEdit*>("IDC_LAT_GRADS");
            auto* latMins = dialog->findChild<QLineEdit*>("IDC_LAT_MINS");
            auto* latHemi = dialog->findChild<QComboBox*>("IDC_LAT_HEMI");
            auto* ok = dialog->findChild<QPushButton*>("IDOK");
            ASSERT_TRUE(lonGrads && lonMins && lonHemi && latGrads && latMins && latHemi && ok);
            EXPECT_EQ(dialog->parentWidget(), nullptr);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Calibration"));
            QTest::keyClicks(lonGrads, t.lonGrads);
            QTest::keyClicks(lonMins, t.lonMins);
            lonHemi->setCurrentIndex(t.lonHemi);
            QTest::keyClicks(latGrads, t.latGrads);
            QTest::keyClicks(latMins, t.latMins);
            latHemi->setCurrentIndex(t.latHemi);
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, p);
    }

    void RightClickAndCancel(QPoint p) {
        AnswerNextModal([this](QWidget* dialog) {
            ++dialogs;
            QTest::keyClicks(dialog->findChild<QLineEdit*>("IDC_LON_GRADS"), "10");
            auto* cancel = dialog->findChild<QPushButton*>("IDCANCEL");
            ASSERT_NE(cancel, nullptr);
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, p);
    }

    // A right-click on `target` that must open no dialog; one that opens
    // anyway is closed so that the test goes on.
    void RightClickExpectingNoDialog(COstrelView* target, QPoint p) {
        const auto opened =
            AnswerNextModal([](QWidget* dialog) { dialog->close(); }, {.required = false});
        QTest::mouseClick(target->viewport(), Qt::RightButton, Qt::NoModifier, p);
        QApplication::processEvents();
        EXPECT_FALSE(*opened) << "a dialog opened for the click at (" << p.x() << ", " << p.y()
                              << ")";
    }

    // Points 1 and 2 at client (40, 30) and (340, 130), unscrolled.
    void Calibrate() {
        RightClickAndConfirm({40, 30}, kPoint1);
        RightClickAndConfirm({340, 130}, kPoint2);
        ASSERT_TRUE(view->m_bCalibrated);
    }

    // The calibration marker centred on client (x, y): along its arm to the
    // right black, white, black, white.
    bool HasMarkerAt(int x, int y) const {
        return IsBlack(Pixel(view, x, y)) && IsWhite(Pixel(view, x + 3, y)) &&
               IsBlack(Pixel(view, x + 7, y)) && IsWhite(Pixel(view, x + 15, y)) &&
               IsBlack(Pixel(view, x, y - 7));
    }
    bool IsGround(int x, int y) const { return Pixel(view, x, y) == QColor(kGround); }

    static std::string StoreText() { return ReadFileBytes(kCalibrationStoreName); }

    COstrelView* world = nullptr;
    COstrelView* view = nullptr;
    QStringList messages;
    int dialogs = 0;
    std::optional<TempDir> m_dir; // the working directory
};

// Export Calibration writes the files beside the picture, and replaces a
// file it did not write only when the user says yes.
TEST_F(CalibrationFlow, ExportCalibrationAsksBeforeReplacingAForeignFile) {
    const std::filesystem::path picture = m_dir->Path() / "city.bmp";
    std::ofstream(picture, std::ios::binary) << PlainBmp(800, 600, kGround);
    view->m_pDocument->SetPathName(picture.string());
    Frame()->UpdateCommandUI();
    EXPECT_FALSE(Frame()->CommandAction(ID_EXPORT_CALIBRATION)->isEnabled()) << "uncalibrated";
    view->m_cal = CMapCalibration{true, true, 100, 100, 36000, 36000, 700, 500, 40000, 30000};
    ASSERT_EQ(WriteStoredCalibration(picture.string(), view->m_cal).result, StoreSaveResult::Saved);
    view->m_bCalibrated = true;
    Frame()->UpdateCommandUI();
    ASSERT_TRUE(Frame()->CommandAction(ID_EXPORT_CALIBRATION)->isEnabled());

    Frame()->RouteCommand(ID_EXPORT_CALIBRATION);
    const std::filesystem::path world = m_dir->Path() / "city.bpw";
    ASSERT_TRUE(std::filesystem::exists(m_dir->Path() / "city.map"));
    const std::string written = ReadFileBytes(world);
    ASSERT_FALSE(written.empty());
    // The result stays on the screen until it is read, unlike the status line.
    const QString wrote = "Wrote \"" +
                          QString::fromStdString((m_dir->Path() / "city.map").string()) +
                          "\" and \"" + QString::fromStdString(world.string()) + "\".";
    EXPECT_EQ(messages, QStringList{wrote});

    std::ofstream(world) << "someone else's\n";
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        messages.clear();
        AnswerNextModal<QMessageBox>(
            [answer](QMessageBox* box) { QTest::mouseClick(box->button(answer), Qt::LeftButton); });
        Frame()->RouteCommand(ID_EXPORT_CALIBRATION);
        EXPECT_EQ(ReadFileBytes(world), answer == QMessageBox::Yes ? written : "someone else's\n");
        EXPECT_EQ(messages, answer == QMessageBox::Yes ? QStringList{wrote} : QStringList{});
    }
}

TEST_F(CalibrationFlow, FirstPointIsStoredInMapPixelsAndMarkedAtOnce) {
    // Markers switched off: the accepted click still draws its marker.
    view->OnShowCalibrationPoints();
    ASSERT_FALSE(view->m_bShowCalPoints);
    view->ScrollToPosition({0, 40});
    ASSERT_EQ(view->GetScrollPosition(), (CPoint{0, 40}));

    RightClickAndConfirm({120, 80}, kPoint1);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(view->m_cal.m_bPoint1Set);
    EXPECT_FALSE(view->m_cal.m_bPoint2Set);
    EXPECT_FALSE(view->m_bCalibrated);
    EXPECT_EQ(view->m_cal.m_nX1, 120);
    EXPECT_EQ(view->m_cal.m_nY1, 120);
    EXPECT_EQ(view->m_cal.m_nLon1, -45000);
    EXPECT_EQ(view->m_cal.m_nLat1, 174600);
    EXPECT_TRUE(HasMarkerAt(120, 80));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_FALSE(std::filesystem::exists(kCalibrationStoreName));
}

TEST_F(CalibrationFlow, SecondPointMustBeAHundredPixelsAwayOnBothAxes) {
    RightClickAndConfirm({40, 30}, kPoint1);
    ASSERT_TRUE(view->m_cal.m_bPoint1Set);

    // 300 to the right but only 99 lower.
    RightClickAndConfirm({340, 129}, kPoint2);
    EXPECT_EQ(messages, QStringList{kTooClose});
    EXPECT_FALSE(view->m_cal.m_bPoint2Set);
    EXPECT_FALSE(view->m_bCalibrated);
    EXPECT_TRUE(IsGround(340, 129)) << "a refused point is not marked";
    EXPECT_FALSE(std::filesystem::exists(kCalibrationStoreName));
    EXPECT_EQ(view->m_cal.m_nX1, 40);

    // 300 to the right and 100 lower: accepted, saved and in force.
    RightClickAndConfirm({340, 130}, kPoint2);
    EXPECT_EQ(dialogs, 3);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(view->m_cal.m_bPoint2Set);
    EXPECT_TRUE(view->m_bCalibrated);
    EXPECT_TRUE(HasMarkerAt(340, 130));
    EXPECT_TRUE(HasMarkerAt(40, 30));
    EXPECT_EQ(StoreText(), "/maps/city.bmp,40,30,-45000,174600,340,130,41400,170100\r\n");
}

TEST_F(CalibrationFlow, CancelledDialogChangesAndDrawsNothing) {
    const QImage before = view->Surface().copy();
    RightClickAndCancel({120, 80});
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(view->m_cal.m_bPoint1Set);
    EXPECT_FALSE(view->m_cal.m_bPoint2Set);
    EXPECT_TRUE(view->Surface() == before);

    // Also with one point set: the second stays unset, nothing is saved.
    RightClickAndConfirm({40, 30}, kPoint1);
    RightClickAndCancel({340, 130});
    EXPECT_FALSE(view->m_cal.m_bPoint2Set);
    EXPECT_TRUE(IsGround(340, 130));
    EXPECT_FALSE(std::filesystem::exists(kCalibrationStoreName));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(CalibrationFlow, OnlyAnUncalibratedScannedMapOpensTheDialog) {
    Calibrate();
    RightClickExpectingNoDialog(view, {200, 200});
    RightClickExpectingNoDialog(world, {100, 100});
    COstrelView* data = OpenWindow(DOCMODE_GPSDATA);
    ASSERT_NE(data, nullptr);
    RightClickExpectingNoDialog(data, {100, 100});
    EXPECT_EQ(dialogs, 2);

    // Cleared, the map takes its first point again.
    Raise(view);
    Frame()->RouteCommand(ID_CLEAR_CALIB_POINTS);
    EXPECT_FALSE(view->m_bCalibrated);
    RightClickAndConfirm({200, 300}, kPoint2);
    EXPECT_EQ(dialogs, 3);
    EXPECT_TRUE(view->m_cal.m_bPoint1Set);
    EXPECT_FALSE(view->m_cal.m_bPoint2Set);
    EXPECT_FALSE(view->m_bCalibrated);
    EXPECT_EQ(view->m_cal.m_nX1, 200);
    EXPECT_EQ(view->m_cal.m_nY1, 300);
    EXPECT_EQ(view->m_cal.m_nLon1, 41400);
    EXPECT_TRUE(HasMarkerAt(200, 300));
}

// The store cannot be replaced: the points stay, the calibration is not in
// force, and the next confirmed right-click saves those same points again.
TEST_F(CalibrationFlow, InterruptedSaveIsRepeatedByTheNextRightClick) {
    const std::string other = "/maps/other.bmp,1,2,3,4,500,600,7,8\r\n";
    std::ofstream(kCalibrationStoreName, std::ios::binary) << other;
    RightClickAndConfirm({40, 30}, kPoint1);
    {
        const FileSizeLimit full(0);
        RightClickAndConfirm({340, 130}, kPoint2);
    }
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("\"Tmp.txt\""))) << messages[0].toStdString();
    EXPECT_TRUE(view->m_cal.m_bPoint1Set);
    EXPECT_TRUE(view->m_cal.m_bPoint2Set);
    EXPECT_FALSE(view->m_bCalibrated);
    EXPECT_TRUE(HasMarkerAt(340, 130));
    EXPECT_EQ(StoreText(), other);
    EXPECT_FALSE(std::filesystem::exists(kCalibrationTmpName));

    // No readout while the calibration is not in force.
    Frame()->SetMessageText("before");
    QTest::mouseMove(view->viewport(), {40, 30});
    EXPECT_EQ(Frame()->GetMessageText(), QStringLiteral("before"));

    // The values typed now are not used; the click's pixel is not marked.
    RightClickAndConfirm({200, 250}, Typed{"1", "", 0, "1", "", 0});
    EXPECT_EQ(dialogs, 3);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(view->m_bCalibrated);
    EXPECT_EQ(view->m_cal.m_nX2, 340);
    EXPECT_EQ(view->m_cal.m_nLon2, 41400);
    EXPECT_TRUE(IsGround(200, 250));
    EXPECT_EQ(StoreText(), other + "/maps/city.bmp,40,30,-45000,174600,340,130,41400,170100\r\n");
}

TEST_F(CalibrationFlow, ReadoutShowsTheTypedCoordinatesAtTheReferencePoints) {
    EXPECT_TRUE(view->viewport()->hasMouseTracking());
    Calibrate();
    view->ScrollToPosition({30, 20});
    ASSERT_EQ(view->GetScrollPosition(), (CPoint{30, 20}));
    QTest::mouseMove(view->viewport(), {10, 10});
    EXPECT_EQ(Frame()->GetMessageText(),
              QString::fromUtf8("LON:  12\u00B0 30.00' W      LAT:  48\u00B0 30.00' N"));
    QTest::mouseMove(view->viewport(), {310, 110});
    EXPECT_EQ(Frame()->GetMessageText(),
              QString::fromUtf8("LON:  11\u00B0 30.00' E      LAT:  47\u00B0 15.00' N"));
}

// A click or a readout that skipped the zoom would store or show the place
// of the wrong picture pixel; the crosses must land where the points are.
TEST_F(CalibrationFlow, ClicksAndReadoutGoThroughTheZoomToThePicturePixel) {
    SetClientSize(view, 300, 200); // small enough for 50 %
    view->ZoomTo(2.0, {0, 0});
    ASSERT_DOUBLE_EQ(view->Zoom(), 2.0);
    view->ScrollToPosition({30, 20});
    ASSERT_EQ(view->GetScrollPosition(), (CPoint{30, 20}));
    // Client (110, 60) shows picture pixel ((110 + 30) / 2, (60 + 20) / 2).
    RightClickAndConfirm({110, 60}, kPoint1);
    EXPECT_EQ(view->m_cal.m_nX1, 70);
    EXPECT_EQ(view->m_cal.m_nY1, 40);
    EXPECT_TRUE(HasMarkerAt(110, 60));
    // 300 picture pixels right and 100 lower: 600 and 200 client pixels.
    view->ScrollToPosition({500, 150});
    RightClickAndConfirm({240, 130}, kPoint2);
    ASSERT_TRUE(view->m_bCalibrated);
    EXPECT_EQ(view->m_cal.m_nX2, 370);
    EXPECT_EQ(view->m_cal.m_nY2, 140);
    view->RedrawWindow();
    EXPECT_TRUE(HasMarkerAt(240, 130));

    view->ZoomTo(0.5, {0, 0});
    view->ScrollToPosition({0, 0});
    view->RedrawWindow();
    EXPECT_TRUE(HasMarkerAt(35, 20));
    EXPECT_TRUE(HasMarkerAt(185, 70));
    view->ZoomTo(4.0, {0, 0});
    view->ScrollToPosition({200, 100});
    QTest::mouseMove(view->viewport(), {81, 61}); // picture ((81.5 + 200) / 4, (61.5 + 100) / 4)
    EXPECT_EQ(Frame()->GetMessageText(),
              QString::fromUtf8("LON:  12\u00B0 30.00' W      LAT:  48\u00B0 30.00' N"));
}

TEST_F(CalibrationFlow, NoReadoutOverTheWorldMapOrAnUncalibratedMap) {
    Frame()->SetMessageText("before");
    QTest::mouseMove(view->viewport(), {40, 30});
    RightClickAndConfirm({40, 30}, kPoint1);
    QTest::mouseMove(view->viewport(), {41, 31});
    ASSERT_TRUE(world->m_bCalibrated);
    Raise(world);
    QTest::mouseMove(world->viewport(), {100, 100});
    EXPECT_EQ(Frame()->GetMessageText(), QStringLiteral("before"));
}

} // namespace
