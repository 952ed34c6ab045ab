#pragma once

#include "map/georeference.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// A place to navigate to: a waypoint, a route's point or a typed position.
struct NavTarget {
    std::string name; // UTF-8
    LonLat position;  // [deg] WGS 84
};

// What one tick found, for the navigation bar and the maps.
struct NavReadout {
    std::string target;               // the target's name
    LonLat position;                  // the target's place
    double metres = 0;                // [m] from the position to the target
    double bearing = 0;               // [deg, 0..360) true, from the position to the target
    std::optional<double> seconds;    // [s] to arrival at the current speed, above kMinSpeedKnots
    std::optional<double> crossTrack; // [m] off the route's leg to the target, right positive
    bool advanced = false;            // this tick moved on to the route's next point
};

// Go-to and route following, driven by the position of each tick; no clock
// and no I/O of its own.
class CNavigation {
public:
    static constexpr double kDefaultArrivalMetres = 50; // [m]
    static constexpr double kMinSpeedKnots = 0.5;       // [kn] slower gives no time to arrival

    // Navigates to `target` until Stop.
    void GoTo(NavTarget target);
    // Follows `route` from its first point; without points, navigation stops.
    void FollowRoute(std::vector<NavTarget> route);
    void Stop();

    bool Active() const { return !m_points.empty(); }
    bool FollowingRoute() const { return m_bRoute; }
    // The target's index in the route (0 for a go-to); meaningful while Active.
    size_t TargetIndex() const { return m_nTarget; }
    // The target's place and name; meaningful while Active.
    LonLat Target() const { return m_points[m_nTarget].position; }
    const std::string& TargetName() const { return m_points[m_nTarget].name; }
    // A route moves on to its next point within this distance of the target [m].
    void SetArrivalMetres(double metres) { m_arrivalMetres = metres; }

    // One tick with the current fix's `position` [deg] and `speedKnots` [kn]
    // (nothing when the fix lacks them). On a route the target moves on to
    // the next point, when there is one, once the position is within the
    // arrival distance of it or has passed the bisector of the legs before
    // and after it (the first point has no leg before it: only arriving
    // counts). Nothing when no target is set or there is no position.
    std::optional<NavReadout> Update(std::optional<LonLat> position,
                                     std::optional<double> speedKnots);

private:
    bool PassedBisector(LonLat position) const;

    std::vector<NavTarget> m_points; // the route, or the one go-to target
    size_t m_nTarget = 0;
    bool m_bRoute = false;
    double m_arrivalMetres = kDefaultArrivalMetres;
};

// The navigation bar's text (UTF-8): "Summit: 1.25 km, 045°, 0:05:12 to go,
// 35 m right of the leg", the time and the leg only when known. Distances in
// m below 1 km, in km from there.
std::string NavigationBarText(const NavReadout& readout);

// A distance [m] as the navigation bar writes it: "850 m", "1.25 km", "12.5 km", "125 km".
std::string FormatNavDistance(double metres);
