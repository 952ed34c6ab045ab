#include "map/calibration_input.h"

#include <gtest/gtest.h>

namespace {

const char* const kLonGrads = "Longitude: Grads must be from 0 to 180";
const char* const kLonMins = "Longitude: Mins must be from 0 to 60";
const char* const kLonDecimal = "Longitude: Grads must be from 0.0 to 180.0";
const char* const kLatGrads = "Latitude: Grads must be from 0 to 90";
const char* const kLatMins = "Latitude: Mins must be from 0 to 60";
const char* const kLatDecimal = "Latitude: Grads must be from 0.0 to 90.0";

std::string Show(const CalibrationInputTexts& t) {
    return '[' + t.lonGrads + '|' + t.lonMins + '|' + t.lonHemi + "] [" + t.latGrads + '|' +
           t.latMins + '|' + t.latHemi + ']';
}

TEST(CalibrationInputTest, AcceptedRows) {
    struct Case {
        CalibrationInputTexts texts;
        int32_t lon;
        int32_t lat;
    };
    const Case cases[] = {
        {{"12.5", "", "W", "48", "30", "N"}, -45000, 174600},
        {{"0", "30.99", "E", "0", "", "N"}, 1859, 0}, // trunc(1859.4)
        {{"12.5", "30", "E", "48.9", "0", "S"}, 45000, -172800},
        {{"180", "60", "E", "90", "60", "N"}, 651600, 327600},
        {{"180", "", "W", "90", "", "S"}, -648000, -324000},
        {{"", "30", "E", "", "1.5", "N"}, 1800, 90},
        {{"", "", "E", "", "", "N"}, 0, 0},
        {{"12.5", " ", "E", "abc", "", "N"}, 43200, 0}, // a blank selects degrees and minutes
        {{"12.9999999", "", "w", "0.0001", "", "S "}, 46799, 0},
        // Decimal only: hexadecimal reads as the 0 before its x.
        {{"0x10", "", "W", "0X1p3", "", "S"}, 0, 0},
        {{"1", "0x1e", "E", " 0x", "", "N"}, 3600, 0},
        {{"-0x10", "", "E", "0x5A", "", "N"}, 0, 0},
    };
    for (const Case& c : cases) {
        g_nCalibLonSec = g_nCalibLatSec = 7;
        EXPECT_EQ(ApplyCalibrationInput(c.texts), "") << Show(c.texts);
        EXPECT_EQ(g_nCalibLonSec, c.lon) << Show(c.texts);
        EXPECT_EQ(g_nCalibLatSec, c.lat) << Show(c.texts);
    }
}

// Each row is checked degrees first, then minutes; the longitude row is
// checked and stored before the latitude row is looked at.
TEST(CalibrationInputTest, RejectedRows) {
    struct Case {
        CalibrationInputTexts texts;
        const char* message;
        bool lonStored;
    };
    const Case cases[] = {
        {{"-5", "", "E", "0", "", "N"}, kLonDecimal, false},
        {{"-5", "0", "E", "0", "", "N"}, kLonGrads, false},
        {{"181", "-1", "E", "-1", "", "N"}, kLonGrads, false},
        {{"180", "60.0001", "E", "-1", "", "N"}, kLonMins, false},
        {{"0", "-0.1", "E", "0", "", "N"}, kLonMins, false},
        {{"180.0000001", "", "E", "0", "", "N"}, kLonDecimal, false},
        {{"99999999999", "0", "E", "0", "", "N"}, kLonGrads, false},
        {{"-99999999999", "0", "E", "0", "", "N"}, kLonGrads, false},
        {{"1e400", "", "E", "0", "", "N"}, kLonDecimal, false},
        {{"inf", "", "E", "0", "", "N"}, kLonDecimal, false},
        {{"nan", "", "E", "0", "", "N"}, kLonDecimal, false},
        {{"1", "nan", "E", "0", "", "N"}, kLonMins, false},
        {{"1", "", "E", "-5", "", "N"}, kLatDecimal, true},
        {{"1", "", "E", "91", "60.5", "N"}, kLatGrads, true},
        {{"1", "", "E", "90", "60.5", "N"}, kLatMins, true},
        {{"1", "", "E", "90.5", "", "N"}, kLatDecimal, true},
        {{"1", "", "E", "nan", "", "N"}, kLatDecimal, true},
        {{"1", "", "E", "1", "-nan", "N"}, kLatMins, true},
    };
    for (const Case& c : cases) {
        g_nCalibLonSec = g_nCalibLatSec = 7;
        EXPECT_EQ(ApplyCalibrationInput(c.texts), c.message) << Show(c.texts);
        EXPECT_EQ(g_nCalibLonSec, c.lonStored ? 3600 : 7) << Show(c.texts);
        EXPECT_EQ(g_nCalibLatSec, 7) << Show(c.texts);
    }
}

TEST(CalibrationInputTest, CorrectedLatitudeReadsBothRowsAnew) {
    CalibrationInputTexts texts{"10", "", "W", "95", "", "N"};
    EXPECT_EQ(ApplyCalibrationInput(texts), kLatDecimal);
    EXPECT_EQ(g_nCalibLonSec, -36000);
    texts.lonGrads = "11";
    texts.latGrads = "45";
    EXPECT_EQ(ApplyCalibrationInput(texts), "");
    EXPECT_EQ(g_nCalibLonSec, -39600);
    EXPECT_EQ(g_nCalibLatSec, 162000);
}

} // namespace
