#pragma once

#include "map/geo_model.h"
#include "map/georeference.h"
#include "map/map_calibration.h"

#include <string>

// What a reader made of a calibration file.
struct SidecarRead {
    // Usable: `model` (or `points`) is longitude/latitude on WGS 84, axis
    // aligned, and becomes a two-point calibration; Georeferenced: `def`
    // is the map's own georeference; Unknown: a projection or datum that
    // Ostrel does not know.
    enum Result { Usable, Georeferenced, Damaged, Unknown } result = Damaged;
    GeoModel model;
    GeoreferenceDef def;
    // Damaged: what is wrong; Unknown: what was not known, e.g.
    // "the projection \"Foo\"".
    std::string problem;
    // A .map file with exactly two points gives them as they are.
    bool hasPoints = false;
    CMapCalibration points;
};

// The common text format of moving-map programs:
// "OziExplorer Map Data File Version 2.2" ... "Map Projection,Latitude/Longitude,..."
// "Point01,xy,  120,  80,in, deg,  52, 30.0000,N,  13, 20.0000,E, grid, ..."
[[nodiscard]] SidecarRead ReadMapDataFile(const std::string& text);
// A world file: six numbers, one a line: A, D, B, E, C, F of
// e = C + A x + B y, n = F + D x + E y, (x, y) a pixel centre. With `crs`
// (what the .prj beside it says) they are in that system's units and the
// read is Georeferenced; without, they must be degrees on WGS 84, else the
// read is Unknown. The points of a georeference lie at the corners of the
// w x h picture.
[[nodiscard]] SidecarRead ReadWorldFile(const std::string& text,
                                        const std::optional<std::string>& crs = std::nullopt,
                                        int32_t w = 0, int32_t h = 0);
// Points at the corners of a w x h picture that give `pixelToMap` back
// exactly when fitted: two when it is axis aligned, else four.
std::vector<TiePoint> CornerPoints(const Affine& pixelToMap, int32_t w, int32_t h);
// The GeoTIFF tags of the TIFF file `path`.
[[nodiscard]] SidecarRead ReadGeoTiff(const std::string& path);
