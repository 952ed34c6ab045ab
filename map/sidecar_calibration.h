#pragma once

#include "map/georeference.h"
#include "map/map_calibration.h"

#include <cstdint>
#include <memory>
#include <string>

// Where a map's calibration comes from.
enum class CalibrationSource { None, Store, MapDataFile, WorldFile, GeoTiff };

// A calibration found beside a map picture, for a map the store has none for.
struct SidecarCalibration {
    enum Result { None, Found, Refused } result = None;
    CalibrationSource kind = CalibrationSource::None;
    // Found: the two-point calibration (both points set), or the map's own
    // georeference when it is projected, on another datum or fitted.
    CMapCalibration cal;
    std::unique_ptr<CGeoreference> georef;
    std::string source; // the file it came from
    // Refused: the message to show (projected coordinates, a damaged file);
    // Found: the status-line note on a fitted .map file, or empty.
    std::string message;
};

struct SidecarRead;
// What the file `source` read as `read` gives a w x h picture: a two-point
// calibration, a georeference, or the message that refuses it.
[[nodiscard]] SidecarCalibration CalibrationFromRead(const std::string& source,
                                                     CalibrationSource kind, SidecarRead read,
                                                     int32_t w, int32_t h);

// Looks beside `mapPath` (a picture of w x h pixels) for a .map file, then a
// world file, then the GeoTIFF tags of the picture itself.
[[nodiscard]] SidecarCalibration FindSidecarCalibration(const std::string& mapPath, int32_t w,
                                                        int32_t h);

// The one calibration file of `kind` that belongs to `mapPath`, as
// FindSidecarCalibration reads it; None when there is no such file.
[[nodiscard]] SidecarCalibration ReadSidecarFile(const std::string& mapPath, CalibrationSource kind,
                                                 int32_t w, int32_t h);

// The world file names of `mapPath`, most usual first: ".jgw" style, then
// ".jpgw" style, then ".wld".
std::string WorldFileName(const std::string& mapPath, int style);
std::string MapDataFileName(const std::string& mapPath);
// The .prj that names the coordinate system of the world file of `mapPath`.
std::string PrjFileName(const std::string& mapPath);
