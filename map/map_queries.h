#pragma once

#include "map/georeference.h"

#include <cstdio>
#include <string>

// The command-line questions about a map, answered with the model its
// window uses. Each prints its answer to `out` and returns 0, or a message
// to `err` and 1 (no picture, no calibration, a place off the model).
int PrintMapInfo(const std::string& mapPath, std::FILE* out, std::FILE* err);
int PrintPixelToPosition(const std::string& mapPath, PixelXY pixel, std::FILE* out, std::FILE* err);
int PrintPositionToPixel(const std::string& mapPath, LonLat position, std::FILE* out,
                         std::FILE* err);
