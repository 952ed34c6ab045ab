#pragma once

#include "map/georeference.h"

// Distances and directions for navigation, on the WGS 84 ellipsoid.

struct DistanceBearing {
    double metres = 0;
    double bearing = 0; // [deg, 0..360) true, at the start
};
// From `from` to `to` along the geodesic; bearing 0 when they are one place.
DistanceBearing DistanceAndBearing(LonLat from, LonLat to);

// Where a position lies against a leg: the geodesic through `from` and `to`,
// extended both ways.
struct CrossTrack {
    double metres = 0; // [m] to the nearest point of the leg's geodesic, right of it positive
    double along = 0;  // [m] from `from` to that point, negative behind `from`
};
// Solved on the ellipsoid by Baselga and Martinez-Llario's iteration (each
// step a spherical right triangle from the geodesic point reached so far,
// exact geodesics in between). It converges to 0.1 mm in a few steps for
// positions up to some 5000 km from the leg; the result is the exact
// geodesic distance to the foot found. A leg shorter than 1 mm has no
// direction: 0 and 0.
CrossTrack CrossTrackOf(LonLat position, LonLat from, LonLat to);
