#pragma once

#include "map/map_calibration.h"

#include <cstdint>

// A map's position as a linear rule per axis, in degrees: the longitude of
// map pixel x is lon0 + lonPerPixel * x, the latitude of row y is
// lat0 + latPerPixel * y (pixel centres).
struct GeoModel {
    double lon0 = 0, lonPerPixel = 0; // [deg], [deg/pixel]
    double lat0 = 0, latPerPixel = 0; // [deg], [deg/pixel]
    double LonAt(double x) const { return lon0 + lonPerPixel * x; }
    double LatAt(double y) const { return lat0 + latPerPixel * y; }
};

// `degrees` as whole arc-seconds, rounded: values read from files are
// decimal fractions that rarely land on a whole arc-second in binary.
int32_t RoundToArcSeconds(double degrees);

GeoModel ModelFromCalibration(const CMapCalibration& cal);
