#include "map/calibration_input.h"
#include "map/dia_calibration.h"
#include "platform/dialog_ids.h"
#include "platform/message_box.h"
#include "tests/modal_driver.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The dialog as a user sees it, found by the controls' names.
struct CalibrationControls {
    explicit CalibrationControls(QWidget* dialog)
        : lonGrads(dialog->findChild<QLineEdit*>("IDC_LON_GRADS")),
          lonMins(dialog->findChild<QLineEdit*>("IDC_LON_MINS")),
          lonHemi(dialog->findChild<QComboBox*>("IDC_LON_HEMI")),
          latGrads(dialog->findChild<QLineEdit*>("IDC_LAT_GRADS")),
          latMins(dialog->findChild<QLineEdit*>("IDC_LAT_MINS")),
          latHemi(dialog->findChild<QComboBox*>("IDC_LAT_HEMI")),
          ok(dialog->findChild<QPushButton*>("IDOK")),
          cancel(dialog->findChild<QPushButton*>("IDCANCEL")) {}
    bool complete() const {
        return lonGrads && lonMins && lonHemi && latGrads && latMins && latHemi && ok && cancel;
    }
    void type(const char* lonG, const char* lonM, const char* latG, const char* latM) const {
        QTest::keyClicks(lonGrads, lonG);
        QTest::keyClicks(lonMins, lonM);
        QTest::keyClicks(latGrads, latG);
        QTest::keyClicks(latMins, latM);
    }
    // True when the dialog opened as designed: empty fields, east and north.
    bool fresh() const {
        return lonGrads->text().isEmpty() && lonMins->text().isEmpty() &&
               latGrads->text().isEmpty() && latMins->text().isEmpty() &&
               lonHemi->currentText() == "E" && latHemi->currentText() == "N";
    }

    QLineEdit* lonGrads;
    QLineEdit* lonMins;
    QComboBox* lonHemi;
    QLineEdit* latGrads;
    QLineEdit* latMins;
    QComboBox* latHemi;
    QPushButton* ok;
    QPushButton* cancel;
};

class CalibrationDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nCalibLonSec = g_nCalibLatSec = 7;
        SetMessageBoxHook([this](const QString& text) { messages << text; });
    }
    void TearDown() override {
        SetMessageBoxHook({});
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }

    QStringList messages;
};

TEST_F(CalibrationDialogTest, ControlsAndTextsAreAsDesigned) {
    CDia_Calibration dialog;
    dialog.show();
    CalibrationControls c(&dialog);
    ASSERT_TRUE(c.complete());
    EXPECT_EQ(dialog.windowTitle(), "Calibration");
    EXPECT_TRUE(c.fresh());
    EXPECT_EQ(c.lonHemi->count(), 2);
    EXPECT_EQ(c.lonHemi->itemText(1), "W");
    EXPECT_EQ(c.latHemi->itemText(1), "S");
    EXPECT_FALSE(c.lonHemi->isEditable());
    EXPECT_FALSE(c.latHemi->isEditable());
    EXPECT_EQ(c.lonGrads->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_TRUE(c.ok->isDefault());

    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    for (const char* text : {"Longitude:", "Latitude:", "mins", "grads",
                             "Input a coordinates for the point you have clicked on the Map",
                             "Leave a \"mins\" field empty, if \"grads\" have fractions part"})
        EXPECT_TRUE(texts.contains(text)) << text;

    // Row by row, then OK; Cancel is left out of the tab chain.
    const QWidget* expected[] = {c.lonGrads, c.lonMins, c.lonHemi, c.latGrads,
                                 c.latMins,  c.latHemi, c.ok};
    for (size_t i = 0; i + 1 < std::size(expected); ++i)
        EXPECT_EQ(expected[i]->nextInFocusChain(), expected[i + 1]) << "tab stop " << i;
    EXPECT_EQ(c.cancel->focusPolicy() & Qt::TabFocus, 0);
    dialog.reject();
}

TEST_F(CalibrationDialogTest, EachFieldReachesItsRowAndColumn) {
    CDia_Calibration dialog;
    dialog.show();
    CalibrationControls c(&dialog);
    ASSERT_TRUE(c.complete());
    c.type("12", "30", "48", "15");
    QTest::keyClick(c.latHemi, Qt::Key_Down);
    QTest::mouseClick(c.ok, Qt::LeftButton);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(g_nCalibLonSec, 45000);
    EXPECT_EQ(g_nCalibLatSec, -173700);
}

TEST_F(CalibrationDialogTest, GoodInputIsStoredThroughDoModal) {
    AnswerNextModal([](QWidget* dialog) {
        CalibrationControls c(dialog);
        ASSERT_TRUE(c.complete());
        c.type("12.5", "", "48", "30");
        QTest::keyClick(c.lonHemi, Qt::Key_Down);
        EXPECT_EQ(c.lonHemi->currentText(), "W");
        QTest::keyClick(c.latMins, Qt::Key_Return);
    });
    CDia_Calibration dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(g_nCalibLonSec, -45000);
    EXPECT_EQ(g_nCalibLatSec, 174600);

    // The same object opens again empty, east and north; Escape cancels.
    AnswerNextModal([](QWidget* dialog) {
        CalibrationControls c(dialog);
        EXPECT_TRUE(c.fresh());
        QTest::keyClicks(c.lonGrads, "1");
        QTest::keyClick(c.lonGrads, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(g_nCalibLonSec, -45000);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(CalibrationDialogTest, AFailedLatitudeKeepsTheDialogOpenForCorrection) {
    CDia_Calibration dialog;
    dialog.show();
    CalibrationControls c(&dialog);
    ASSERT_TRUE(c.complete());
    c.type("12.5", "", "91", "");
    QTest::mouseClick(c.ok, Qt::LeftButton);
    EXPECT_EQ(messages, QStringList{"Latitude: Grads must be from 0.0 to 90.0"});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    c.latGrads->clear();
    c.type("", "", "90", "");
    QTest::keyClick(c.latGrads, Qt::Key_Enter);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(g_nCalibLonSec, 45000);
    EXPECT_EQ(g_nCalibLatSec, 324000);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(CalibrationDialogTest, CancelEndsWithIdCancelAndTheNextOpeningIsFresh) {
    AnswerNextModal([](QWidget* dialog) {
        CalibrationControls c(dialog);
        ASSERT_TRUE(c.complete());
        EXPECT_TRUE(c.fresh());
        c.type("1", "2", "3", "4");
        QTest::keyClick(c.lonHemi, Qt::Key_Down);
        QTest::keyClick(c.latHemi, Qt::Key_Down);
        QTest::mouseClick(c.cancel, Qt::LeftButton);
    });
    CDia_Calibration first;
    EXPECT_EQ(first.DoModal(), IDCANCEL);
    EXPECT_EQ(g_nCalibLonSec, 7);
    EXPECT_EQ(g_nCalibLatSec, 7);

    AnswerNextModal([](QWidget* dialog) {
        CalibrationControls c(dialog);
        EXPECT_TRUE(c.fresh());
        QTest::mouseClick(c.ok, Qt::LeftButton);
    });
    CDia_Calibration second;
    EXPECT_EQ(second.DoModal(), IDOK);
    EXPECT_EQ(g_nCalibLonSec, 0);
    EXPECT_EQ(g_nCalibLatSec, 0);
}

} // namespace
