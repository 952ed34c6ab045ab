#include "track/geodesy.h"

#include "map/geodesic.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kDegree = std::numbers::pi / 180;
constexpr double kMeanRadius = 6371008.8; // [m] of the WGS 84 ellipsoid, for the steps only
constexpr double kConverged = 1e-4;       // [m]
constexpr int kMaxSteps = 30;

} // namespace

DistanceBearing DistanceAndBearing(LonLat from, LonLat to) {
    const GeodesicPath path = Wgs84Inverse(from, to);
    double bearing = path.metres > 0 ? std::fmod(path.azimuthFrom + 360, 360.0) : 0;
    // -1e-17 + 360 rounds to 360.
    if (bearing >= 360)
        bearing = 0;
    return {path.metres, bearing};
}

CrossTrack CrossTrackOf(LonLat position, LonLat from, LonLat to) {
    const GeodesicPath leg = Wgs84Inverse(from, to);
    if (leg.metres < 1e-3)
        return {};
    CrossTrack out;
    GeodesicEnd foot{from, leg.azimuthFrom};
    for (int step = 0; step < kMaxSteps; ++step) {
        const GeodesicPath toPosition = Wgs84Inverse(foot.position, position);
        const double angle = (toPosition.azimuthFrom - foot.azimuth) * kDegree;
        const double arc = toPosition.metres / kMeanRadius; // [rad]
        out.metres = std::sin(angle) < 0 ? -toPosition.metres : toPosition.metres;
        // Along the leg from the foot so far to the right angle, on the sphere.
        const double ahead =
            kMeanRadius * std::atan2(std::sin(arc) * std::cos(angle), std::cos(arc));
        if (std::fabs(ahead) < kConverged)
            break;
        out.along += ahead;
        foot = Wgs84Direct(from, leg.azimuthFrom, out.along);
    }
    return out;
}
