#pragma once

#include "map/map_datums.h"

#include <optional>
#include <span>
#include <string>

// The "Projection Setup" fields a projection of .map files takes.
enum MapSetupField : unsigned {
    kSetupLatOrigin = 1,
    kSetupLonOrigin = 2,
    kSetupScale = 4,
    kSetupFalseOrigin = 8, // false easting and northing
    kSetupParallels = 16,  // standard parallels 1 and 2
};

// A projection as .map files name it.
struct MapProjection {
    const char* name; // as the "Map Projection" line gives it
    // PROJ parameters: a fixed grid's in full, the others' +proj only.
    const char* proj;
    unsigned setup; // the MapSetupField bits it takes; 0 for fixed grids
};

// The "Projection Setup" line: "Projection Setup, lat0, lon0, k, falseE,
// falseN, lat1, lat2, height,,".
struct ProjectionSetup {
    double lat0 = 0, lon0 = 0; // [deg]
    double k = 1;
    double falseE = 0, falseN = 0; // [m]
    // Standard parallels [deg]; a missing one is the other, or lat0.
    std::optional<double> lat1, lat2;
};

// Every projection Ostrel knows.
std::span<const MapProjection> MapProjections();
// The projection called `name`; null when Ostrel does not know it. Names
// with a code in brackets, "(BNG) British National Grid", are found by
// their code too.
const MapProjection* FindMapProjection(const std::string& name);
bool IsLatLon(const MapProjection& p);
bool IsUtm(const MapProjection& p);

// The coordinate system of a .map file for PROJ (+type=crs): projection
// `p` with `setup` (UTM: `zone` 1..60, `south` of the equator) on `datum`.
std::string MapCrs(const MapProjection& p, const ProjectionSetup& setup, int zone, bool south,
                   const MapDatum& datum);
