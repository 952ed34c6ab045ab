#include "app/properties_input.h"

#include "app/settings.h"

#include <charconv>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace {

// Qt sets the process locale from the environment, and under a locale with a
// decimal comma strtod stops at the ".". The dialog's numbers always use ".".
double readLeadingNumber(const std::string& text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    const locale_t previous = uselocale(cLocale);
    const double value = std::strtod(text.c_str(), nullptr);
    uselocale(previous);
    return value;
}

// atoi, with an out-of-range number held at the nearest int32 limit.
int32_t readLeadingInteger(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return int32_t(value);
}

} // namespace

std::string ApplyPropertiesInput(const PropertiesInputTexts& texts) {
    g_strPortName = texts.portName;
    g_nBaudRate = readLeadingInteger(texts.baudRate);

    // [ms]; written so that NaN fails the first test, and a count that does
    // not fit 32 bits (infinity included) is refused rather than wrapped.
    const double ms = readLeadingNumber(texts.updateTime) * 1000.0;
    if (!(ms >= 1000.0) || ms >= 2147483648.0)
        return "Update time must be 1.0 second or more.";

    g_nUpdateMs = int32_t(ms);
    g_bShowAtStatusLine = texts.showAtStatusLine ? 1 : 0;
    return {};
}

std::string FormatUpdateSeconds(int32_t ms) {
    char text[32];
    // to_chars with a precision rounds like printf's "%.1f", without the locale.
    const auto result = std::to_chars(text, text + sizeof text, ms * 0.001,
                                      std::chars_format::fixed, 1);
    return std::string(text, result.ptr);
}

std::string PortOpenFailureMessage(const std::string& portName, int32_t baudRate) {
    return "Can not open Com Port \"" + portName + "\" with Baud Rate " +
           std::to_string(baudRate) + ".";
}
