#pragma once

#include <cstdint>
#include <string>

// Results of the calibration point dialog [arc-s], east and north positive.
// Zero at start; they keep the last values stored in them.
extern int32_t g_nCalibLonSec;
extern int32_t g_nCalibLatSec;

// The six control texts of the calibration point dialog.
struct CalibrationInputTexts {
    std::string lonGrads;
    std::string lonMins;
    std::string lonHemi; // "E" or "W"
    std::string latGrads;
    std::string latMins;
    std::string latHemi; // "N" or "S"
};

// The OK rules of the calibration point dialog, in their order: checks the
// longitude row and stores it in g_nCalibLonSec, then the latitude row into
// g_nCalibLatSec. Returns the message of the first failed check (the dialog
// stays open), or empty text when both rows were accepted.
std::string ApplyCalibrationInput(const CalibrationInputTexts& texts);
