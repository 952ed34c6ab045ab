#pragma once

#include "map/geo_model.h"
#include "map/map_calibration.h"

#include <cstdint>
#include <string>

// The two files of a calibration as `--export-calibration` writes them: a
// two-point .map file for the w x h picture `mapPath`, and a world file.
std::string FormatMapDataFile(const CMapCalibration& cal, const std::string& mapPath, int32_t w,
                              int32_t h);
std::string FormatWorldFile(const GeoModel& model);
