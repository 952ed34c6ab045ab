#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <locale.h>

// Number readings of the C library in the "C" locale, whatever locale the
// toolkit has set for the process: "." is always the decimal point.

// The integer parse of atoi: optional blanks and sign, then decimal digits up
// to the first other byte; 0 when there are none. Values beyond the 32-bit
// range saturate to INT32_MIN or INT32_MAX.
int32_t ParseCInt(const std::string& text);

// The floating parse of atof (strtod in the "C" locale), decimal only: 0 when
// there is no number, and "0x10" is the 0 before the "x". "inf" and "nan" are
// read as the C library reads them, so the result may be infinite or NaN;
// check it before converting to an integer.
double ParseCReal(const std::string& text);

// A field that may be empty (as a receiver leaves what it does not know),
// read by ParseCReal; nothing when it is empty or not a finite number.
std::optional<double> OptionalCReal(const std::string& text);

// `value` formatted by snprintf with `format` (one double conversion) in the
// "C" locale.
std::string FormatCReal(const char* format, double value);

// `value` in fixed notation with `decimals` decimals, or with the fewest
// that read back as exactly `value` when `decimals` is negative; never with
// an exponent, which some readers of the files we write do not take.
std::string FixedDecimal(double value, int decimals = -1);

// The "C" locale object, for formatting with uselocale(); null only when the
// C library cannot provide it.
locale_t CLocale();
