#include "map/map_model.h"

#include "map/calibration_store.h"
#include "map/geo_model.h"
#include "map/sidecar_calibration.h"

#include <cmath>

namespace {

bool Calibrated(const CMapCalibration& cal) {
    return cal.m_bPoint1Set && cal.m_bPoint2Set;
}

std::optional<int32_t> RoundToInt32(double v) {
    const double r = std::round(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return std::nullopt;
    return int32_t(r);
}

} // namespace

std::optional<LonLat> FixDegrees(const CGpsFix& fix) {
    if (fix.m_strLatitude.empty() || fix.m_strLongitude.empty())
        return std::nullopt;
    const std::optional<double> lat = NmeaToDegrees(fix.m_strLatitude, fix.m_strNorthSouth, "S");
    const std::optional<double> lon = NmeaToDegrees(fix.m_strLongitude, fix.m_strEastWest, "W");
    if (!lat || !lon)
        return std::nullopt;
    return LonLat{*lon, *lat};
}

std::optional<CPoint> CMapModel::ToClient(const FixPosition& fix, const CPoint& scroll) const {
    if (!georef)
        return GeoToClient(fix.arcSeconds, scroll, cal);
    const std::optional<PixelXY> p = georef->PixelAt(fix.degrees);
    if (!p)
        return std::nullopt;
    const auto x = RoundToInt32(p->x - scroll.x);
    const auto y = RoundToInt32(p->y - scroll.y);
    if (!x || !y)
        return std::nullopt;
    return CPoint{*x, *y};
}

std::optional<CGeoPoint> CMapModel::AtClient(const CPoint& client, const CPoint& scroll) const {
    if (!georef)
        return ClientToGeo(client, scroll, cal);
    const std::optional<LonLat> g =
        georef->PositionAt({double(client.x) + scroll.x, double(client.y) + scroll.y});
    if (!g)
        return std::nullopt;
    return CGeoPoint{RoundToArcSeconds(g->lon), RoundToArcSeconds(g->lat)};
}

std::optional<LonLat> CMapModel::PositionAt(PixelXY pixel) const {
    if (georef)
        return georef->PositionAt(pixel);
    if (!Calibrated(cal) || cal.m_nX1 == cal.m_nX2 || cal.m_nY1 == cal.m_nY2)
        return std::nullopt;
    const GeoModel m = ModelFromCalibration(cal);
    const LonLat g{m.LonAt(pixel.x), m.LatAt(pixel.y)};
    if (!std::isfinite(g.lon) || !std::isfinite(g.lat))
        return std::nullopt;
    return g;
}

std::optional<PixelXY> CMapModel::PixelAt(LonLat position) const {
    if (georef)
        return georef->PixelAt(position);
    if (!Calibrated(cal) || cal.m_nLon1 == cal.m_nLon2 || cal.m_nLat1 == cal.m_nLat2)
        return std::nullopt;
    const GeoModel m = ModelFromCalibration(cal);
    const PixelXY p{(position.lon - m.lon0) / m.lonPerPixel,
                    (position.lat - m.lat0) / m.latPerPixel};
    if (!std::isfinite(p.x) || !std::isfinite(p.y))
        return std::nullopt;
    return p;
}

LoadedModel LoadMapModel(const std::string& mapPath, int32_t w, int32_t h) {
    LoadedModel out;
    if (ReadStoredCalibration(mapPath, out.cal)) {
        out.source = CalibrationSource::Store;
        return out;
    }
    SidecarCalibration side = FindSidecarCalibration(mapPath, w, h);
    out.file = side.source;
    out.message = side.message;
    out.refused = side.result == SidecarCalibration::Refused;
    if (side.result != SidecarCalibration::Found)
        return out;
    out.cal = side.cal;
    out.georef = std::move(side.georef);
    out.source = side.kind;
    return out;
}

const char* SourceName(CalibrationSource source) {
    switch (source) {
    case CalibrationSource::Store:
        return "calibration store";
    case CalibrationSource::MapDataFile:
        return ".map file";
    case CalibrationSource::WorldFile:
        return "world file";
    case CalibrationSource::GeoTiff:
        return "GeoTIFF";
    case CalibrationSource::None:
        break;
    }
    return "none";
}
