#pragma once

#include "gps/gps_fix.h"

#include <string>

// The values of the GPS data panel, composed from the fix as text. Pieces are
// cut by character position: a text too short for a piece gives a shorter or
// empty piece, never an error.
struct DataPanelValues {
    std::string time;      // "hh:mm:ss", empty without a time
    std::string date;      // "dd/mm/yy", empty without a time
    std::string latitude;  // " Latitude:        dd\xB0 mm.mmmm N", empty without a latitude
    std::string longitude; // " Longitude:   ddd\xB0 mm.mmmm E", empty without a longitude
    std::string height;    // " Height (m):  h.hh", empty without a latitude
};

DataPanelValues ComposeDataPanel(const CGpsFix& fix);

// The blank that covers one earlier value, and the one that covers a height line.
inline const std::string kBlankValue(12, ' ');
inline const std::string kBlankHeight(20, ' ');

// The left column: labels, then the date and the three position lines.
std::string FormatDataPanelLeft(const std::string& date, const std::string& latitude,
                                const std::string& longitude, const std::string& height);

// The right column: direction, speed and time, one per line.
std::string FormatDataPanelRight(const std::string& direction, const std::string& speed,
                                 const std::string& time);
