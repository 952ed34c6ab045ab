#include "map/calibration_input.h"

#include "platform/c_numbers.h"

#include <cmath>

int32_t g_nCalibLonSec = 0;
int32_t g_nCalibLatSec = 0;

namespace {

struct RowRules {
    int32_t limit; // [degree] upper bound, inclusive
    const char* gradsMessage;
    const char* minsMessage;
    const char* decimalMessage;
};

constexpr RowRules kLonRules{180, "Longitude: Grads must be from 0 to 180",
                             "Longitude: Mins must be from 0 to 60",
                             "Longitude: Grads must be from 0.0 to 180.0"};
constexpr RowRules kLatRules{90, "Latitude: Grads must be from 0 to 90",
                             "Latitude: Mins must be from 0 to 60",
                             "Latitude: Grads must be from 0.0 to 90.0"};

// One row of the dialog to unsigned arc-seconds, or the message of its first
// failed check. The bounds are written so that NaN fails them too; every
// value that passes is small enough to convert to an integer safely.
const char* ReadRow(const std::string& grads, const std::string& mins, const RowRules& rules,
                    int32_t& seconds) {
    if (!mins.empty()) {
        const int32_t g = ParseCInt(grads);
        const double m = ParseCReal(mins);
        if (g < 0 || g > rules.limit)
            return rules.gradsMessage;
        if (!(m >= 0 && m <= 60))
            return rules.minsMessage;
        seconds = g * 3600 + int32_t(std::trunc(m * 60));
        return nullptr;
    }
    const double d = ParseCReal(grads);
    if (!(d >= 0 && d <= rules.limit))
        return rules.decimalMessage;
    seconds = int32_t(std::trunc(d * 3600));
    return nullptr;
}

} // namespace

std::string ApplyCalibrationInput(const CalibrationInputTexts& texts) {
    int32_t seconds = 0;
    if (const char* message = ReadRow(texts.lonGrads, texts.lonMins, kLonRules, seconds))
        return message;
    g_nCalibLonSec = texts.lonHemi == "W" ? -seconds : seconds;
    if (const char* message = ReadRow(texts.latGrads, texts.latMins, kLatRules, seconds))
        return message;
    g_nCalibLatSec = texts.latHemi == "S" ? -seconds : seconds;
    return {};
}
