#pragma once

#include <string>

// The most recent values the receiver reported, each one NMEA field exactly
// as received (bytes, no conversion, never cleared).
struct CGpsFix {
    std::string m_strDate;            // ddmmyy [UTC]
    std::string m_strTime;            // hhmmss[.ss] [UTC]
    std::string m_strGgaTime;         // hhmmss[.ss] [UTC], as GGA reports it
    std::string m_strLatitude;        // ddmm.mmmm
    std::string m_strNorthSouth;      // "N" or "S"
    std::string m_strLongitude;       // dddmm.mmmm
    std::string m_strEastWest;        // "E" or "W"
    std::string m_strSpeedKnots;      // [kn]
    std::string m_strSpeedKmh;        // [km/h]
    std::string m_strCourse;          // [deg true]
    std::string m_strMagnetic;        // [deg] variation (RMC) or magnetic course (VTG)
    std::string m_strMagneticEW;      // "E" or "W"
    std::string m_strAltitude;        // [m] above mean sea level
    std::string m_strGeoidSeparation; // [m]
};
