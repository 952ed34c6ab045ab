#pragma once

#include "gps/gps_receiver.h"
#include "gps/settings.h"

#include <array>
#include <memory>
#include <string>

// A receiver whose start-up open names no device, so that a test never
// touches a real port (the default COM1 exists on many machines).
inline std::unique_ptr<CGpsReceiver> MakeOfflineReceiver() {
    const std::string saved = g_strPortName;
    g_strPortName = "";
    auto gps = std::make_unique<CGpsReceiver>();
    g_strPortName = saved;
    return gps;
}

// The fourteen fields in record order, for whole-record comparisons that
// print every field on failure.
using FixFields = std::array<std::string, 14>;

inline FixFields Fields(const CGpsFix& f) {
    return {f.m_strDate,       f.m_strTime,           f.m_strGgaTime,  f.m_strLatitude,
            f.m_strNorthSouth, f.m_strLongitude,      f.m_strEastWest, f.m_strSpeedKnots,
            f.m_strSpeedKmh,   f.m_strCourse,         f.m_strMagnetic, f.m_strMagneticEW,
            f.m_strAltitude,   f.m_strGeoidSeparation};
}

inline void SetFields(CGpsFix& f, const FixFields& v) {
    f.m_strDate = v[0];
    f.m_strTime = v[1];
    f.m_strGgaTime = v[2];
    f.m_strLatitude = v[3];
    f.m_strNorthSouth = v[4];
    f.m_strLongitude = v[5];
    f.m_strEastWest = v[6];
    f.m_strSpeedKnots = v[7];
    f.m_strSpeedKmh = v[8];
    f.m_strCourse = v[9];
    f.m_strMagnetic = v[10];
    f.m_strMagneticEW = v[11];
    f.m_strAltitude = v[12];
    f.m_strGeoidSeparation = v[13];
}
