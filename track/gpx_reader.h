#pragma once

#include "track/gpx_data.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a GPX file may hold before it is refused, so that a hostile or broken
// file costs bounded time and memory (texts come only from the file's own
// bytes: entities are never expanded).
struct GpxLimits {
    size_t maxPoints = 1000000;         // waypoints, route points and track points together
    size_t maxParts = 100000;           // routes, tracks and track segments together
    size_t maxText = 4096;              // [byte] of one name, symbol, elevation or time
    int maxDepth = 64;                  // elements inside each other
    int64_t maxFileBytes = 256ll << 20; // [byte]
};

struct GpxRead {
    GpxData data;        // empty unless the whole file was read
    std::string message; // empty when the whole file was read; else what is wrong, naming the file
    size_t skipped = 0;  // points left out for impossible coordinates (or none)
};

// Reads a GPX 1.0 or 1.1 file: waypoints, routes and tracks with their
// names, symbols' names, elevations and times; extensions and other
// elements are passed over. Nothing is fetched from the network and no
// entity is expanded: a file that uses entities beyond the five of XML is
// refused. Points whose latitude or longitude is missing, not a number or
// outside -90..90 or -180..180 are skipped and counted; an elevation that is
// not a number, or more than 10000 km from sea level, is left out.
[[nodiscard]] GpxRead ReadGpxFile(const std::string& path, const GpxLimits& limits = {});
// The same for a file's bytes; `name` names it in the message.
[[nodiscard]] GpxRead ReadGpxBytes(std::string_view bytes, const std::string& name,
                                   const GpxLimits& limits = {});

// What a file read: "50 waypoints, 2 routes, 1 track", with "; 3 points
// with impossible coordinates skipped" when there were such.
std::string GpxCounts(const GpxRead& read);

// A GPX time ("2026-12-08T05:41:54Z", any fraction of a second, a zone
// offset such as "+02:00", or none for UTC) as [ms] since the epoch.
std::optional<int64_t> ParseGpxTime(std::string_view text);
