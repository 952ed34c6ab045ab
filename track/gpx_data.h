#pragma once

#include "map/georeference.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a GPX file holds that the program uses. Texts are UTF-8, as read.

// A track point.
struct GpxPoint {
    LonLat position;                // [deg] WGS 84
    std::optional<double> altitude; // [m] the file's <ele>
    std::optional<int64_t> timeMs;  // [ms] since 1970-01-01 00:00 UTC
};

// A waypoint, or a route's point.
struct GpxWaypoint : GpxPoint {
    std::string name;
    std::string symbol; // the name of its symbol, <sym>
};

struct GpxRoute {
    std::string name;
    std::vector<GpxWaypoint> points;
};

struct GpxTrack {
    std::string name;
    std::vector<std::vector<GpxPoint>> segments;
};

struct GpxData {
    std::vector<GpxWaypoint> waypoints;
    std::vector<GpxRoute> routes;
    std::vector<GpxTrack> tracks;
};
