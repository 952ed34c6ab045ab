#include "track/navigation.h"

#include "map/geodesic.h"
#include "platform/c_numbers.h"
#include "track/geodesy.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600;

// `degrees` in -180..180.
double Wrap180(double degrees) {
    return std::remainder(degrees, 360.0);
}

std::string FormatDuration(double seconds) {
    const int64_t whole = std::llround(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(whole / 3600),
                  int(whole / 60 % 60), int(whole % 60));
    return text;
}

} // namespace

void CNavigation::GoTo(NavTarget target) {
    m_points = {std::move(target)};
    m_nTarget = 0;
    m_bRoute = false;
}

void CNavigation::FollowRoute(std::vector<NavTarget> route) {
    m_points = std::move(route);
    m_nTarget = 0;
    m_bRoute = !m_points.empty();
}

void CNavigation::Stop() {
    m_points.clear();
    m_nTarget = 0;
    m_bRoute = false;
}

bool CNavigation::PassedBisector(LonLat position) const {
    const LonLat target = m_points[m_nTarget].position;
    const GeodesicPath in = Wgs84Inverse(m_points[m_nTarget - 1].position, target);
    const GeodesicPath out = Wgs84Inverse(target, m_points[m_nTarget + 1].position);
    const GeodesicPath toPosition = Wgs84Inverse(target, position);
    if (in.metres <= 0 || out.metres <= 0 || toPosition.metres <= 0)
        return false;
    // The course halfway through the turn is normal to the bisector; ahead
    // of the bisector is where it points.
    const double course = in.azimuthTo + Wrap180(out.azimuthFrom - in.azimuthTo) / 2;
    return std::cos((toPosition.azimuthFrom - course) * std::numbers::pi / 180) > 0;
}

std::optional<NavReadout> CNavigation::Update(std::optional<LonLat> position,
                                              std::optional<double> speedKnots) {
    if (!Active() || !position)
        return std::nullopt;
    NavReadout readout;
    if (m_bRoute && m_nTarget + 1 < m_points.size() &&
        (DistanceAndBearing(*position, m_points[m_nTarget].position).metres <= m_arrivalMetres ||
         (m_nTarget > 0 && PassedBisector(*position)))) {
        ++m_nTarget;
        readout.advanced = true;
    }
    const NavTarget& target = m_points[m_nTarget];
    const DistanceBearing toTarget = DistanceAndBearing(*position, target.position);
    readout.target = target.name;
    readout.position = target.position;
    readout.metres = toTarget.metres;
    readout.bearing = toTarget.bearing;
    if (speedKnots && *speedKnots > kMinSpeedKnots)
        readout.seconds = toTarget.metres / (*speedKnots * kMetresPerSecondPerKnot);
    if (m_bRoute && m_nTarget > 0)
        readout.crossTrack =
            CrossTrackOf(*position, m_points[m_nTarget - 1].position, target.position).metres;
    return readout;
}

std::string FormatNavDistance(double metres) {
    if (metres < 999.5)
        return FormatCReal("%.0f", metres) + " m";
    if (metres < 9995)
        return FormatCReal("%.2f", metres / 1000) + " km";
    if (metres < 99950)
        return FormatCReal("%.1f", metres / 1000) + " km";
    return FormatCReal("%.0f", metres / 1000) + " km";
}

std::string NavigationBarText(const NavReadout& readout) {
    // 359.6 degrees is due north, not 360.
    const double bearing = std::fmod(std::round(readout.bearing), 360.0);
    std::string text = readout.target + ": " + FormatNavDistance(readout.metres) + ", " +
                       FormatCReal("%03.0f", bearing) + "\xC2\xB0";
    if (readout.seconds)
        text += ", " + FormatDuration(*readout.seconds) + " to go";
    if (readout.crossTrack)
        text += ", " + FormatNavDistance(std::fabs(*readout.crossTrack)) +
                (*readout.crossTrack < 0 ? " left" : " right") + " of the leg";
    return text;
}
