#pragma once

#include "gps/gps_fix.h"

#include <string_view>
#include <vector>

// Talkers that multi-constellation receivers use in place of "GP" (GNSS,
// GLONASS, Galileo, BeiDou, QZSS, NavIC); their RMC, GGA and VTG sentences
// count where no "$GP" sentence of the type is at hand.
inline constexpr const char* kOtherGnssTalkers[] = {"GN", "GL", "GA", "GB", "BD", "GQ", "GI"};
// Whether `talker` ("GN", ...) is one of kOtherGnssTalkers.
bool IsOtherGnssTalker(std::string_view talker);

// Copies the fields of an accepted "$GPRMC", "$GPGGA" or "$GPVTG" sentence,
// or one of these types from a talker in kOtherGnssTalkers, into `fix`;
// false (fix unchanged) for anything else, an RMC without a status field and
// a GGA without a quality field included. Touches nothing but `fix`, so it
// needs no receiver and no port.
bool ParseNmeaSentence(CGpsFix& fix, std::string_view sentence);

// Cuts a sentence at every comma and asterisk, keeping empty fields, so that
// index i is NMEA field position i (0 is the name). The checksum digits
// become the last field; a line's carriage return stays on its last field.
void SplitSentence(std::string_view sentence, std::vector<std::string_view>& fields);
