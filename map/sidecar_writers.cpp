#include "map/sidecar_writers.h"

#include "platform/c_numbers.h"
#include "platform/paths.h"

#include <charconv>
#include <cstdlib>

namespace {

// One coordinate as degrees and decimal minutes with its letter.
std::string DegMinText(int32_t arcSeconds, char positive, char negative) {
    const int32_t a = std::abs(arcSeconds);
    return Padded(std::to_string(a / 3600), 4) + "," +
           Padded(FixedDecimal((a % 3600) / 60.0, 4), 8) + "," +
           (arcSeconds < 0 ? negative : positive);
}

} // namespace

std::string Padded(const std::string& text, size_t width) {
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

std::string FormatMapDataFile(const CMapCalibration& cal, const std::string& mapPath, int32_t w,
                              int32_t h) {
    const std::string name = BaseName(mapPath);
    const std::string title = SplitExtension(name).stem;
    std::string t;
    auto line = [&t](const std::string& s) { t += s + "\r\n"; };
    line("OziExplorer Map Data File Version 2.2");
    line(title);
    line(name);
    line("1 ,Map Code,");
    line("WGS 84,WGS 84,   0.0000,   0.0000,WGS 84");
    line("Reserved 1");
    line("Reserved 2");
    line("Magnetic Variation,,,E");
    line("Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No");
    const int32_t px[2][2] = {{cal.m_nX1, cal.m_nY1}, {cal.m_nX2, cal.m_nY2}};
    const int32_t geo[2][2] = {{cal.m_nLat1, cal.m_nLon1}, {cal.m_nLat2, cal.m_nLon2}};
    for (int i = 0; i < 30; ++i) {
        const std::string n = (i < 9 ? "Point0" : "Point") + std::to_string(i + 1);
        if (i < 2)
            line(n + ",xy," + Padded(std::to_string(px[i][0]), 5) + "," +
                 Padded(std::to_string(px[i][1]), 5) + ",in, deg," +
                 DegMinText(geo[i][0], 'N', 'S') + "," + DegMinText(geo[i][1], 'E', 'W') +
                 ", grid,   ,           ,           ,N");
        else
            line(n + ",xy,     ,     ,in, deg,    ,        ,N,    ,        ,W, grid,   ,"
                     "           ,           ,N");
    }
    line("Projection Setup,,,,,,,,,,");
    line("Map Feature = MF ; Map Comment = MM     ; Map Boundary = MB");
    line("IWH,Map Image Width/Height," + std::to_string(w) + "," + std::to_string(h));
    return t;
}

std::string FormatWorldFile(const GeoModel& m) {
    return FixedDecimal(m.lonPerPixel, 12) + "\r\n0.000000000000\r\n0.000000000000\r\n" +
           FixedDecimal(m.latPerPixel, 12) + "\r\n" + FixedDecimal(m.lon0, 12) + "\r\n" +
           FixedDecimal(m.lat0, 12) + "\r\n";
}
