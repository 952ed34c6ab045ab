#pragma once

#include "platform/gdi_types.h"

#include <cstdint>
#include <optional>
#include <string>

// A geographic position in whole arc-seconds, east and north positive.
struct CGeoPoint {
    int32_t lon = 0; // [arc-s] -648000 .. 648000
    int32_t lat = 0; // [arc-s] -324000 .. 324000
    friend bool operator==(const CGeoPoint&, const CGeoPoint&) = default;
};

// Two reference points tying map pixels to the earth, linear per axis.
struct CMapCalibration {
    bool m_bPoint1Set = false;
    bool m_bPoint2Set = false;
    int32_t m_nLon1 = 0; // [arc-s]
    int32_t m_nLat1 = 0; // [arc-s]
    int32_t m_nLon2 = 0; // [arc-s]
    int32_t m_nLat2 = 0; // [arc-s]
    int32_t m_nX1 = 0;   // [map pixel]
    int32_t m_nY1 = 0;   // [map pixel]
    int32_t m_nX2 = 0;   // [map pixel]
    int32_t m_nY2 = 0;   // [map pixel]
    friend bool operator==(const CMapCalibration&, const CMapCalibration&) = default;
};

// The fixed calibration of the built-in world picture.
CMapCalibration WorldMapCalibration();

// Geographic position to client pixel (map pixel minus scroll). Empty when the
// calibration cannot place it (equal longitudes or latitudes, or a result
// outside the 32-bit range).
std::optional<CPoint> GeoToClient(const CGeoPoint& g, const CPoint& scroll,
                                  const CMapCalibration& cal);

// Client pixel to geographic position. Empty when the calibration's pixels
// coincide on an axis or the result does not fit 32 bits.
std::optional<CGeoPoint> ClientToGeo(const CPoint& client, const CPoint& scroll,
                                     const CMapCalibration& cal);

// NMEA "ddmm.mmmm" / "dddmm.mmmm" text to arc-seconds; negated when
// `hemisphere` equals `negativeLetter` exactly.
int32_t NmeaToArcSeconds(const std::string& text, int degreeDigits, const std::string& hemisphere,
                         const std::string& negativeLetter);

// An NMEA "ddmm.mmmm" (or "dddmm.mmmm") text as degrees without rounding,
// negative in the hemisphere `negative` ("S" or "W"); nothing when it is no
// finite number. For maps with their own georeference and the journal.
std::optional<double> NmeaToDegrees(const std::string& text, const std::string& hemisphere,
                                    const char* negative);

// "LON: %3d\xB0 %5.2f' %c      LAT: %3d\xB0 %5.2f' %c" (bytes, 0xB0 degree sign).
std::string FormatReadout(const CGeoPoint& g);
