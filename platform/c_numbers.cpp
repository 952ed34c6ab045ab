#include "platform/c_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int32_t ParseCInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Accumulated as a magnitude in 64 bits and capped just past the 32-bit
    // range, so no digit count can overflow.
    const int64_t cap = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > cap)
            magnitude = cap;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return int32_t(value);
}

double ParseCReal(const std::string& text) {
    // strtod reads hexadecimal too; here a "0x" prefix ends the number at its 0.
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        return negative ? -0.0 : 0.0;
    const locale_t c = CLocale();
    // text.c_str() ends at the first NUL byte, as the C string would.
    return c ? strtod_l(text.c_str(), nullptr, c) : std::strtod(text.c_str(), nullptr);
}

std::optional<double> OptionalCReal(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const double value = ParseCReal(text);
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

std::string FormatCReal(const char* format, double value) {
    char buffer[64];
    locale_t previous = uselocale(CLocale());
    std::snprintf(buffer, sizeof buffer, format, value);
    uselocale(previous);
    return buffer;
}

std::string FixedDecimal(double value, int decimals) {
    // The longest double in fixed notation has some 330 characters.
    std::string text(340 + size_t(std::max(decimals, 0)), '\0');
    char* first = text.data();
    const auto r =
        decimals < 0
            ? std::to_chars(first, first + text.size(), value, std::chars_format::fixed)
            : std::to_chars(first, first + text.size(), value, std::chars_format::fixed, decimals);
    text.resize(r.ec == std::errc() ? size_t(r.ptr - first) : 0);
    return text;
}
