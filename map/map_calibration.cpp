#include "map/map_calibration.h"

#include "platform/c_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// a - b in 32-bit two's complement, wrapping as the machine does; defined for
// every pair of stored values.
int32_t Diff32(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}
int32_t Sum32(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}

// trunc(a * b / divisor) in double precision, product first. Empty when the
// divisor is 0 or the truncated quotient does not fit 32 bits.
std::optional<int64_t> ScaledQuotient(int32_t a, int32_t b, int32_t divisor) {
    if (divisor == 0)
        return std::nullopt;
    const double q = std::trunc(double(a) * double(b) / double(divisor));
    if (!(q >= double(kInt32Min) && q <= double(kInt32Max)))
        return std::nullopt;
    return int64_t(q);
}

std::optional<int32_t> Fit32(int64_t v) {
    if (v < kInt32Min || v > kInt32Max)
        return std::nullopt;
    return int32_t(v);
}

} // namespace

CMapCalibration WorldMapCalibration() {
    CMapCalibration cal;
    cal.m_bPoint1Set = true;
    cal.m_bPoint2Set = true;
    cal.m_nX1 = 21;
    cal.m_nY1 = 46;
    cal.m_nLon1 = -648000; // 180 degrees W
    cal.m_nLat1 = 324000;  // 90 degrees N
    cal.m_nX2 = 519;
    cal.m_nY2 = 295;
    cal.m_nLon2 = 648000;  // 180 degrees E
    cal.m_nLat2 = -324000; // 90 degrees S
    return cal;
}

std::optional<CPoint> GeoToClient(const CGeoPoint& g, const CPoint& scroll,
                                  const CMapCalibration& cal) {
    const auto qx = ScaledQuotient(Diff32(cal.m_nX2, cal.m_nX1), Diff32(g.lon, cal.m_nLon1),
                                   Diff32(cal.m_nLon2, cal.m_nLon1));
    const auto qy = ScaledQuotient(Diff32(cal.m_nY2, cal.m_nY1), Diff32(g.lat, cal.m_nLat1),
                                   Diff32(cal.m_nLat2, cal.m_nLat1));
    if (!qx || !qy)
        return std::nullopt;
    const auto x = Fit32(*qx + cal.m_nX1 - scroll.x);
    const auto y = Fit32(*qy + cal.m_nY1 - scroll.y);
    if (!x || !y)
        return std::nullopt;
    return CPoint{*x, *y};
}

std::optional<CGeoPoint> ClientToGeo(const CPoint& client, const CPoint& scroll,
                                     const CMapCalibration& cal) {
    const auto qx = ScaledQuotient(Diff32(Sum32(client.x, scroll.x), cal.m_nX1),
                                   Diff32(cal.m_nLon2, cal.m_nLon1), Diff32(cal.m_nX2, cal.m_nX1));
    const auto qy = ScaledQuotient(Diff32(Sum32(client.y, scroll.y), cal.m_nY1),
                                   Diff32(cal.m_nLat2, cal.m_nLat1), Diff32(cal.m_nY2, cal.m_nY1));
    if (!qx || !qy)
        return std::nullopt;
    const auto lon = Fit32(cal.m_nLon1 + *qx);
    const auto lat = Fit32(cal.m_nLat1 + *qy);
    if (!lon || !lat)
        return std::nullopt;
    return CGeoPoint{*lon, *lat};
}

int32_t NmeaToArcSeconds(const std::string& text, int degreeDigits, const std::string& hemisphere,
                         const std::string& negativeLetter) {
    const size_t digits = degreeDigits > 0 ? size_t(degreeDigits) : 0;
    const int32_t degrees = ParseCInt(text.substr(0, digits));
    const double minutes = digits < text.size() ? ParseCReal(text.substr(digits, 7)) : 0.0;
    // Worked in double: exact for every value that fits 32 bits. Junk such as
    // "nan" minutes counts as no minutes; anything beyond the 32-bit range
    // (huge or infinite minutes) saturates at its end.
    const double seconds = std::isnan(minutes) ? 0.0 : std::trunc(minutes * 60);
    double value = double(degrees) * 3600 + seconds;
    if (hemisphere == negativeLetter)
        value = -value;
    if (value <= double(kInt32Min))
        return int32_t(kInt32Min);
    if (value >= double(kInt32Max))
        return int32_t(kInt32Max);
    return int32_t(value);
}

std::optional<double> NmeaToDegrees(const std::string& text, const std::string& hemisphere,
                                    const char* negative) {
    const double value = ParseCReal(text);
    if (!std::isfinite(value))
        return std::nullopt;
    const double degrees = std::trunc(value / 100);
    const double result = degrees + (value - degrees * 100) / 60;
    return hemisphere == negative ? -result : result;
}

std::string FormatReadout(const CGeoPoint& g) {
    const int32_t lonDeg = g.lon / 3600;
    const int32_t latDeg = g.lat / 3600;
    const double lonMin = std::fabs(g.lon * (1 / 3600.0) - lonDeg) * 60;
    const double latMin = std::fabs(g.lat * (1 / 3600.0) - latDeg) * 60;
    char buf[128];
    // The toolkit may have set a locale with a decimal comma; the readout
    // always uses ".".
    const locale_t c = CLocale();
    const locale_t previous = c ? uselocale(c) : locale_t(nullptr);
    std::snprintf(buf, sizeof buf, "LON: %3d\xB0 %5.2f' %c      LAT: %3d\xB0 %5.2f' %c",
                  std::abs(lonDeg), lonMin, g.lon < 0 ? 'W' : 'E', std::abs(latDeg), latMin,
                  g.lat < 0 ? 'S' : 'N');
    if (c)
        uselocale(previous);
    return buf;
}
