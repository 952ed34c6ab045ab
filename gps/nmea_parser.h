#pragma once

#include "gps/gps_fix.h"

#include <string_view>

// Talkers that multi-constellation receivers use in place of "GP" (GNSS,
// GLONASS, Galileo, BeiDou, QZSS, NavIC); their RMC, GGA and VTG sentences
// count where no "$GP" sentence of the type is at hand.
inline constexpr const char* kOtherGnssTalkers[] = {"GN", "GL", "GA", "GB", "BD", "GQ", "GI"};

// Copies the fields of an accepted "$GPRMC", "$GPGGA" or "$GPVTG" sentence,
// or one of these types from a talker in kOtherGnssTalkers, into `fix`;
// false (fix unchanged) for anything else, an RMC without a status field and
// a GGA without a quality field included. Touches nothing but `fix`, so it
// needs no receiver and no port.
bool ParseNmeaSentence(CGpsFix& fix, std::string_view sentence);
