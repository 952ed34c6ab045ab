#include "map/geodesic.h"

#include <geodesic.h>

namespace {

const geod_geodesic& Wgs84() {
    static const geod_geodesic wgs84 = [] {
        geod_geodesic g{};
        geod_init(&g, 6378137.0, 1 / 298.257223563);
        return g;
    }();
    return wgs84;
}

} // namespace

GeodesicPath Wgs84Inverse(LonLat from, LonLat to) {
    GeodesicPath path;
    geod_inverse(&Wgs84(), from.lat, from.lon, to.lat, to.lon, &path.metres, &path.azimuthFrom,
                 &path.azimuthTo);
    return path;
}

GeodesicEnd Wgs84Direct(LonLat from, double azimuth, double metres) {
    GeodesicEnd end;
    geod_direct(&Wgs84(), from.lat, from.lon, azimuth, metres, &end.position.lat, &end.position.lon,
                &end.azimuth);
    return end;
}
