#include "map/geo_model.h"

#include <algorithm>
#include <cmath>

int32_t RoundToArcSeconds(double degrees) {
    // So that 50.0 - 100 / 3600 is 179900.
    return int32_t(std::llround(degrees * 3600.0));
}

bool CalibrationFromModel(const GeoModel& model, int32_t w, int32_t h, CMapCalibration& cal) {
    // An eighth in from the corners: far apart, and their crosses on the picture.
    const int32_t x1 = w / 8, y1 = h / 8;
    const int32_t x2 = std::max(x1 + 1, w - 1 - w / 8), y2 = std::max(y1 + 1, h - 1 - h / 8);
    const double lon1 = model.LonAt(x1), lon2 = model.LonAt(x2);
    const double lat1 = model.LatAt(y1), lat2 = model.LatAt(y2);
    for (double lon : {lon1, lon2})
        if (!(std::fabs(lon) <= 180))
            return false;
    for (double lat : {lat1, lat2})
        if (!(std::fabs(lat) <= 90))
            return false;
    cal = CMapCalibration{};
    cal.m_bPoint1Set = cal.m_bPoint2Set = true;
    cal.m_nX1 = x1;
    cal.m_nY1 = y1;
    cal.m_nX2 = x2;
    cal.m_nY2 = y2;
    cal.m_nLon1 = RoundToArcSeconds(lon1);
    cal.m_nLat1 = RoundToArcSeconds(lat1);
    cal.m_nLon2 = RoundToArcSeconds(lon2);
    cal.m_nLat2 = RoundToArcSeconds(lat2);
    return true;
}

GeoModel ModelFromCalibration(const CMapCalibration& cal) {
    GeoModel m;
    m.lonPerPixel = (cal.m_nLon2 - cal.m_nLon1) / 3600.0 / double(cal.m_nX2 - cal.m_nX1);
    m.latPerPixel = (cal.m_nLat2 - cal.m_nLat1) / 3600.0 / double(cal.m_nY2 - cal.m_nY1);
    m.lon0 = cal.m_nLon1 / 3600.0 - m.lonPerPixel * cal.m_nX1;
    m.lat0 = cal.m_nLat1 / 3600.0 - m.latPerPixel * cal.m_nY1;
    return m;
}

bool ModelMatches(const GeoModel& model, const CMapCalibration& cal) {
    return RoundToArcSeconds(model.LonAt(cal.m_nX1)) == cal.m_nLon1 &&
           RoundToArcSeconds(model.LatAt(cal.m_nY1)) == cal.m_nLat1 &&
           RoundToArcSeconds(model.LonAt(cal.m_nX2)) == cal.m_nLon2 &&
           RoundToArcSeconds(model.LatAt(cal.m_nY2)) == cal.m_nLat2;
}
