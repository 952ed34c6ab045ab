#pragma once

#include <span>
#include <string>

// A datum as .map files name it: an ellipsoid and the shift of its centre
// to WGS 84's, the three-parameter model the format's programs share.
struct MapDatum {
    const char* name;      // as line 5 of a .map file gives it
    const char* ellipsoid; // PROJ: "+ellps=krass" or "+a=... +rf=..."
    double dx, dy, dz;     // [m]
};

// Every datum Ostrel knows, "WGS 84" first.
std::span<const MapDatum> MapDatums();
// The datum called `name`; null when Ostrel does not know it.
const MapDatum* FindMapDatum(const std::string& name);

// Names in .map files compare without case and spaces: "WGS84" is "WGS 84".
std::string MapNameKey(const std::string& name);
