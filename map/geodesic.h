#pragma once

#include "map/georeference.h"

// Geodesics on the WGS 84 ellipsoid by Karney's algorithms (PROJ's
// geodesic.h), accurate to some nanometres; every distance and direction of
// the program between two places goes through here.

// The shortest path from `from` to `to`.
struct GeodesicPath {
    double metres = 0;
    double azimuthFrom = 0; // [deg, -180..180] true direction of the path at `from`
    double azimuthTo = 0;   // [deg, -180..180] true direction of travel on arrival at `to`
};
GeodesicPath Wgs84Inverse(LonLat from, LonLat to);

// The place `metres` [m] (negative: backwards) along the geodesic that leaves
// `from` in the true direction `azimuth` [deg], and the path's direction there.
struct GeodesicEnd {
    LonLat position;
    double azimuth = 0; // [deg, -180..180]
};
GeodesicEnd Wgs84Direct(LonLat from, double azimuth, double metres);
