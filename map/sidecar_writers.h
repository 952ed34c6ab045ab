#pragma once

#include "map/geo_model.h"
#include "map/georeference.h"
#include "map/map_calibration.h"

#include <cstdint>
#include <string>

// `text` with blanks before it to fill `width` characters, as the columns of
// a .map file are.
std::string Padded(const std::string& text, size_t width);

// The two files of a calibration as `--export-calibration` writes them: a
// two-point .map file for the w x h picture `mapPath`, and a world file.
std::string FormatMapDataFile(const CMapCalibration& cal, const std::string& mapPath, int32_t w,
                              int32_t h);
std::string FormatWorldFile(const GeoModel& model);
// A georeference as a world file of its pixel-to-map transform, in the map's own units (six
// numbers that read back exactly), and the .prj that names its system `crs` (ESRI WKT from
// PROJ; an empty `crs` is longitude/latitude on WGS 84). Empty .prj, with `problem` set, when
// PROJ cannot write the system so.
std::string FormatWorldFile(const Affine& pixelToMap);
std::string FormatPrjFile(const std::string& crs, std::string& problem);
// A .map file that carries the georeference `g` of the w x h picture
// `mapPath`: its projection and datum, and points at the picture's corners
// and centre with latitude and longitude on that datum, and grid coordinates
// where the projection has a grid. Empty, with `problem` set, when its
// coordinate system has no name in the format.
std::string FormatGeoreferencedMapDataFile(const CGeoreference& g, const std::string& mapPath,
                                           int32_t w, int32_t h, std::string& problem);
