#include "map/geo_model.h"

#include <algorithm>
#include <cmath>

int32_t RoundToArcSeconds(double degrees) {
    // So that 50.0 - 100 / 3600 is 179900.
    return int32_t(std::llround(degrees * 3600.0));
}

GeoModel ModelFromCalibration(const CMapCalibration& cal) {
    GeoModel m;
    m.lonPerPixel = (cal.m_nLon2 - cal.m_nLon1) / 3600.0 / double(cal.m_nX2 - cal.m_nX1);
    m.latPerPixel = (cal.m_nLat2 - cal.m_nLat1) / 3600.0 / double(cal.m_nY2 - cal.m_nY1);
    m.lon0 = cal.m_nLon1 / 3600.0 - m.lonPerPixel * cal.m_nX1;
    m.lat0 = cal.m_nLat1 / 3600.0 - m.latPerPixel * cal.m_nY1;
    return m;
}
