#pragma once

#include "map/map_calibration.h"

#include <string>

// The calibration store: one line of nine comma-separated fields per map in
// "CalibratedMaps.txt", rewritten through "Tmp.txt". Both are bare names,
// relative to the working directory.
inline constexpr const char* kCalibrationStoreName = "CalibratedMaps.txt";
inline constexpr const char* kCalibrationTmpName = "Tmp.txt";

// Fills `cal` (both points set) from the first line that belongs to
// `mapPath` and has nine fields. False, `cal` untouched, when there is none
// or the store cannot be read.
[[nodiscard]] bool ReadStoredCalibration(const std::string& mapPath, CMapCalibration& cal);

enum class StoreSaveResult {
    Saved,
    CannotCreateStore, // nothing written; the message is for the user
    CannotOpenTmp,     // store unchanged
    FinalStepFailed,   // the store was not replaced; keep the points, not calibrated
};

struct StoreSaveOutcome {
    StoreSaveResult result = StoreSaveResult::Saved;
    std::string message; // the text to show; empty when saved
};

// Writes the record of `mapPath` as the last line of the store, dropping
// every earlier line of that map and keeping all others in order.
[[nodiscard]] StoreSaveOutcome WriteStoredCalibration(const std::string& mapPath,
                                                      const CMapCalibration& cal);
