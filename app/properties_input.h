#pragma once

#include <cstdint>
#include <string>

// The control texts of the Properties dialog, as bytes.
struct PropertiesInputTexts {
    std::string portName;
    std::string baudRate;   // [bit/s]
    std::string updateTime; // [s]
    bool showAtStatusLine = false;
};

// The OK rules of the Properties dialog, in their order: stores the port name
// and the bit rate at once, then checks the update time; only when that is
// accepted are g_nUpdateMs and g_bShowAtStatusLine stored. Returns the
// message of the failed check (the dialog stays open), or empty text.
std::string ApplyPropertiesInput(const PropertiesInputTexts& texts);

// An update period [ms] as the dialog shows it: seconds with one decimal.
std::string FormatUpdateSeconds(int32_t ms);
