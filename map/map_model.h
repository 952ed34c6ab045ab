#pragma once

#include "gps/gps_fix.h"
#include "map/georeference.h"
#include "map/map_calibration.h"
#include "map/sidecar_calibration.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The fix's longitude and latitude [deg] without rounding; nothing while it
// lacks either, or one is no number.
std::optional<LonLat> FixDegrees(const CGpsFix& fix);

// A fix's place in the two forms the models take: whole arc-seconds for the
// two-point calibration, exact degrees for a map's own georeference.
struct FixPosition {
    CGeoPoint arcSeconds;
    LonLat degrees;
};

// The one position model of a map window: the map's own georeference when
// it carries one, else the two-point calibration. Everything that puts a
// position on a map or reads one off it asks this.
struct CMapModel {
    const CMapCalibration& cal;
    const CGeoreference* georef = nullptr;

    // Where a fix lies in client pixels (map pixel minus scroll).
    std::optional<CPoint> ToClient(const FixPosition& fix, const CPoint& scroll) const;
    // The position under client pixel `client`, in whole arc-seconds.
    std::optional<CGeoPoint> AtClient(const CPoint& client, const CPoint& scroll) const;
    // The same without rounding, in picture pixels and WGS 84 degrees.
    std::optional<LonLat> PositionAt(PixelXY pixel) const;
    std::optional<PixelXY> PixelAt(LonLat position) const;
};

// A map's model as a window opens it: the store's line for the map, else a
// calibration file beside it.
struct LoadedModel {
    CalibrationSource source = CalibrationSource::None;
    CMapCalibration cal;                   // both points set, unless `georef`
    std::unique_ptr<CGeoreference> georef; // the map's own georeference, if any
    std::string file;                      // the calibration file it came from
    // A refused file's message (`refused`), or a note for the status line.
    std::string message;
    bool refused = false;
};

// The model of the w x h picture `mapPath`; the store is looked up in the
// working directory.
[[nodiscard]] LoadedModel LoadMapModel(const std::string& mapPath, int32_t w, int32_t h);
// Its source as --map-info names it.
const char* SourceName(CalibrationSource source);
