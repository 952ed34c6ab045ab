#include "app/properties_input.h"

#include "gps/settings.h"
#include "platform/c_numbers.h"

#include <charconv>

std::string ApplyPropertiesInput(const PropertiesInputTexts& texts) {
    g_strPortName = texts.portName;
    g_nBaudRate = ParseCInt(texts.baudRate);

    // [ms]; written so that NaN fails the first test, and a count that does
    // not fit 32 bits (infinity included) is refused rather than wrapped.
    const double ms = ParseCReal(texts.updateTime) * 1000.0;
    if (!(ms >= 1000.0) || ms >= 2147483648.0)
        return "Update time must be 1.0 second or more.";

    g_nUpdateMs = int32_t(ms);
    g_bShowAtStatusLine = texts.showAtStatusLine ? 1 : 0;
    return {};
}

std::string FormatUpdateSeconds(int32_t ms) {
    char text[32];
    // to_chars with a precision rounds like printf's "%.1f", without the locale.
    const auto result =
        std::to_chars(text, text + sizeof text, ms * 0.001, std::chars_format::fixed, 1);
    return std::string(text, result.ptr);
}
