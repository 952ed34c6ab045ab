#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A place on a picture [pixel]; whole numbers are pixel centres.
struct PixelXY {
    double x = 0, y = 0;
};
// A place on the earth, WGS 84 [deg], east and north positive.
struct LonLat {
    double lon = 0, lat = 0;
};

// A picture pixel tied to the map's coordinates, as a calibration file gives it.
struct TiePoint {
    double x = 0, y = 0; // [pixel]
    // Easting and northing [map unit]; with `geographic`, longitude and
    // latitude on the map's own datum [deg].
    double e = 0, n = 0;
    bool geographic = false;
};

// What a calibration file says of a map, before PROJ is asked.
struct GeoreferenceDef {
    // The map's coordinate system as PROJ reads it (a PROJ string, "EPSG:n"
    // or WKT); empty is longitude/latitude on WGS 84.
    std::string crs;
    std::vector<TiePoint> points;
};

// Picture pixel to map coordinates: e = e0 + ex x + ey y, n = n0 + nx x + ny y.
struct Affine {
    double e0 = 0, ex = 0, ey = 0;
    double n0 = 0, nx = 0, ny = 0;
    PixelXY Apply(PixelXY p) const { return {e0 + ex * p.x + ey * p.y, n0 + nx * p.x + ny * p.y}; }
    // The pixel of map coordinates `m`; empty when the transform is singular.
    std::optional<PixelXY> Invert(PixelXY m) const;
};

// The affine transform through `pixels` to `coords` (x = easting, y =
// northing): per axis for two points, least squares for three or more. Empty
// when the points do not span both directions.
std::optional<Affine> FitAffine(const std::vector<PixelXY>& pixels,
                                const std::vector<PixelXY>& coords);

// How well the points of a georeference fit it.
struct PointErrors {
    double maxPixels = 0, rmsPixels = 0; // [pixel]
    double maxMetres = 0, rmsMetres = 0; // [m]
};

// A map's own georeference: picture pixel to map coordinates by an affine
// fit over its points, map coordinates to WGS 84 by PROJ. One per map
// window; PROJ's objects belong to the thread that made it.
class CGeoreference {
public:
    // Empty, with `problem` saying why, when PROJ cannot read the system or
    // the points give no fit.
    static std::unique_ptr<CGeoreference> Create(const GeoreferenceDef& def, std::string& problem);
    ~CGeoreference();
    CGeoreference(const CGeoreference&) = delete;
    CGeoreference& operator=(const CGeoreference&) = delete;

    std::optional<LonLat> PositionAt(PixelXY pixel) const;
    std::optional<PixelXY> PixelAt(LonLat position) const;

    // The points' pixels, and each point's place on WGS 84.
    const std::vector<PixelXY>& PointPixels() const { return m_pixels; }
    const std::vector<LonLat>& PointPositions() const { return m_positions; }
    PointErrors Errors() const;
    // True when PROJ knows no datum shift to WGS 84 and only guesses one.
    bool IsBallpark() const { return m_bBallpark; }
    // The coordinate system as PROJ names it; "WGS 84" for longitude/latitude.
    const std::string& Description() const { return m_description; }
    const std::string& Crs() const { return m_crs; }
    const Affine& PixelToMap() const { return m_affine; }

private:
    CGeoreference() = default;
    struct Proj;
    std::unique_ptr<Proj> m_proj; // null for longitude/latitude on WGS 84
    Affine m_affine;
    std::vector<PixelXY> m_pixels;
    std::vector<LonLat> m_positions;
    bool m_bBallpark = false;
    std::string m_description = "WGS 84";
    std::string m_crs;
};

// How far each of `positions` [deg] lands from its pixel of `pixels` under
// a model, and how far each pixel's place lies from its position.
PointErrors ErrorsOf(const std::vector<PixelXY>& pixels, const std::vector<LonLat>& positions,
                     const std::function<std::optional<LonLat>(PixelXY)>& positionAt,
                     const std::function<std::optional<PixelXY>(LonLat)>& pixelAt);

// The geodesic distance between two places on WGS 84 [m].
double GeodesicMetres(LonLat a, LonLat b);
