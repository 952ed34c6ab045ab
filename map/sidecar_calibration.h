#pragma once

#include "map/map_calibration.h"

#include <cstdint>
#include <string>

// A map's position as a linear rule per axis, in degrees: the longitude of
// map pixel x is lon0 + lonPerPixel * x, the latitude of row y is
// lat0 + latPerPixel * y (pixel centres).
struct GeoModel {
    double lon0 = 0, lonPerPixel = 0; // [deg], [deg/pixel]
    double lat0 = 0, latPerPixel = 0; // [deg], [deg/pixel]
    double LonAt(double x) const { return lon0 + lonPerPixel * x; }
    double LatAt(double y) const { return lat0 + latPerPixel * y; }
};

// What a reader made of a calibration file.
struct SidecarRead {
    enum Result { Usable, Damaged, Projected } result = Damaged;
    GeoModel model;
    // Damaged: what is wrong; Projected: the projection's name.
    std::string problem;
    // A .map file with more than two points is fitted; the largest distance
    // of a point from the fit [m], else -1.
    double maxErrorM = -1;
    // A .map file with exactly two points gives them as they are.
    bool hasPoints = false;
    CMapCalibration points;
};

// The common text format of moving-map programs:
// "OziExplorer Map Data File Version 2.2" ... "Map Projection,Latitude/Longitude,..."
// "Point01,xy,  120,  80,in, deg,  52, 30.0000,N,  13, 20.0000,E, grid, ..."
SidecarRead ReadMapDataFile(const std::string& text);
// A world file: six numbers, one a line: x size, two rotations, y size, and
// the centre of the top-left pixel.
SidecarRead ReadWorldFile(const std::string& text);
// The GeoTIFF tags of the TIFF file `path`.
SidecarRead ReadGeoTiff(const std::string& path);

// The reference points of `model` at two far-apart pixels of a w x h picture.
// False when a point falls outside the world.
bool CalibrationFromModel(const GeoModel& model, int32_t w, int32_t h, CMapCalibration& cal);
GeoModel ModelFromCalibration(const CMapCalibration& cal);
// True when `model` puts both reference points of `cal` on their arc-seconds.
bool ModelMatches(const GeoModel& model, const CMapCalibration& cal);

// A calibration found beside a map picture, for a map the store has none for.
struct SidecarCalibration {
    enum Result { None, Found, Refused } result = None;
    CMapCalibration cal; // both points set when Found
    std::string source;  // the file it came from
    // Refused: the message to show (projected coordinates, a damaged file);
    // Found: the status-line note on a fitted .map file, or empty.
    std::string message;
};

// Looks beside `mapPath` (a picture of w x h pixels) for a .map file, then a
// world file, then the GeoTIFF tags of the picture itself.
SidecarCalibration FindSidecarCalibration(const std::string& mapPath, int32_t w, int32_t h);

// The world file names of `mapPath`, most usual first: ".jgw" style, then
// ".jpgw" style, then ".wld".
std::string WorldFileName(const std::string& mapPath, int style);
std::string MapDataFileName(const std::string& mapPath);
// The last part of `path`, the file's own name.
std::string BaseName(const std::string& path);

// The two files of a calibration as `--export-calibration` writes them.
std::string FormatMapDataFile(const CMapCalibration& cal, const std::string& mapPath, int32_t w,
                              int32_t h);
std::string FormatWorldFile(const GeoModel& model);
