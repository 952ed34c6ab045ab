#include "map/sidecar_calibration.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr double kMetresPerDegreeLat = 110574.0; // [m/deg]
constexpr double kMetresPerDegreeLon = 111320.0; // [m/deg] at the equator
// Sidecar files are small; anything longer is not one. [byte]
constexpr std::streamsize kMaxSidecarBytes = 1 << 20;

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

std::vector<std::string> SplitCommas(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ','))
        fields.push_back(Trim(field));
    return fields;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(Trim(line));
    return lines;
}

// A whole field as a finite number, whatever the locale.
bool Number(const std::string& text, double& value) {
    const std::string t = Trim(text);
    const char* begin = t.data() + (!t.empty() && t[0] == '+');
    const auto [end, error] = std::from_chars(begin, t.data() + t.size(), value);
    return error == std::errc() && end == t.data() + t.size() && begin != end &&
           std::isfinite(value);
}

int32_t ArcSeconds(double degrees) {
    // Sidecar values are decimal fractions that rarely land on a whole
    // arc-second in binary: round, so that 50.0 - 100 / 3600 is 179900.
    return int32_t(std::llround(degrees * 3600.0));
}

// Degrees, decimal minutes and a hemisphere letter; `negative` is S or W.
bool DegMin(const std::string& deg, const std::string& min, const std::string& hemi, char positive,
            char negative, double limit, double& value) {
    double d = 0, m = 0;
    if (!Number(deg, d) || !Number(min, m) || d < 0 || m < 0 || m >= 60 || hemi.size() != 1 ||
        (hemi[0] != positive && hemi[0] != negative))
        return false;
    value = (d + m / 60.0) * (hemi[0] == negative ? -1 : 1);
    return std::fabs(value) <= limit;
}

// Least squares of v = a + b * u; false when all u are equal.
bool Fit(const std::vector<double>& u, const std::vector<double>& v, double& a, double& b) {
    const double n = double(u.size());
    double mu = 0, mv = 0;
    for (size_t i = 0; i < u.size(); ++i) {
        mu += u[i] / n;
        mv += v[i] / n;
    }
    double suu = 0, suv = 0;
    for (size_t i = 0; i < u.size(); ++i) {
        suu += (u[i] - mu) * (u[i] - mu);
        suv += (u[i] - mu) * (v[i] - mv);
    }
    if (!(suu > 0))
        return false;
    b = suv / suu;
    a = mv - b * mu;
    return std::isfinite(a) && std::isfinite(b);
}

bool ReadSmallFile(const std::string& path, std::string& text) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(size_t(std::min<std::streamsize>(st.st_size, kMaxSidecarBytes)), '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    return true;
}

// The path without its extension, and the extension without its dot.
void SplitExtension(const std::string& path, std::string& stem, std::string& ext) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        stem = path;
        ext.clear();
        return;
    }
    stem = path.substr(0, dot);
    ext = path.substr(dot + 1);
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

std::string Padded(const std::string& s, size_t width) {
    return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
}

// One coordinate as degrees and decimal minutes with its letter.
std::string DegMinText(int32_t arcSeconds, char positive, char negative) {
    const int32_t a = std::abs(arcSeconds);
    return Padded(std::to_string(a / 3600), 4) + "," + Padded(Fixed((a % 3600) / 60.0, 4), 8) +
           "," + (arcSeconds < 0 ? negative : positive);
}

} // namespace

SidecarRead ReadMapDataFile(const std::string& text) {
    SidecarRead out;
    const std::vector<std::string> lines = Lines(text);
    if (lines.empty() || lines[0].rfind("OziExplorer Map Data File", 0) != 0) {
        out.problem = "it does not begin with \"OziExplorer Map Data File\"";
        return out;
    }
    if (lines.size() < 5) {
        out.problem = "it ends before its datum line";
        return out;
    }
    const std::vector<std::string> datumFields = SplitCommas(lines[4]);
    const std::string datum = datumFields.empty() ? std::string() : datumFields.front();
    std::vector<double> xs, ys, lons, lats;
    bool projection = false;
    for (const std::string& line : lines) {
        const std::vector<std::string> f = SplitCommas(line);
        if (f.size() >= 2 && f[0] == "Map Projection") {
            projection = true;
            if (f[1] != "Latitude/Longitude") {
                out.result = SidecarRead::Projected;
                out.problem = f[1].empty() ? "an unnamed projection" : f[1];
                return out;
            }
        }
        // Unused points are written with empty fields; they are skipped.
        double x = 0, y = 0, lat = 0, lon = 0;
        if (f.size() >= 12 && f[0].rfind("Point", 0) == 0 && f[1] == "xy" && Number(f[2], x) &&
            Number(f[3], y) && DegMin(f[6], f[7], f[8], 'N', 'S', 90, lat) &&
            DegMin(f[9], f[10], f[11], 'E', 'W', 180, lon)) {
            xs.push_back(x);
            ys.push_back(y);
            lons.push_back(lon);
            lats.push_back(lat);
        }
    }
    if (!projection) {
        out.problem = "it has no \"Map Projection\" line";
        return out;
    }
    if (datum != "WGS 84" && datum != "WGS84") {
        out.problem = "its datum \"" + datum + "\" is not WGS 84";
        return out;
    }
    GeoModel& m = out.model;
    if (xs.size() < 2 || !Fit(xs, lons, m.lon0, m.lonPerPixel) ||
        !Fit(ys, lats, m.lat0, m.latPerPixel)) {
        out.problem = "it has no two usable points apart in both directions";
        return out;
    }
    if (xs.size() == 2) {
        CMapCalibration& c = out.points;
        c.m_bPoint1Set = c.m_bPoint2Set = true;
        c.m_nX1 = int32_t(std::lround(xs[0]));
        c.m_nY1 = int32_t(std::lround(ys[0]));
        c.m_nX2 = int32_t(std::lround(xs[1]));
        c.m_nY2 = int32_t(std::lround(ys[1]));
        c.m_nLon1 = ArcSeconds(lons[0]);
        c.m_nLat1 = ArcSeconds(lats[0]);
        c.m_nLon2 = ArcSeconds(lons[1]);
        c.m_nLat2 = ArcSeconds(lats[1]);
        out.hasPoints = std::fabs(xs[0] - c.m_nX1) < 1e-9 && std::fabs(ys[0] - c.m_nY1) < 1e-9 &&
                        std::fabs(xs[1] - c.m_nX2) < 1e-9 && std::fabs(ys[1] - c.m_nY2) < 1e-9;
    } else {
        out.maxErrorM = 0;
        for (size_t i = 0; i < xs.size(); ++i) {
            const double dx =
                (m.LonAt(xs[i]) - lons[i]) * kMetresPerDegreeLon * std::cos(lats[i] * M_PI / 180.0);
            const double dy = (m.LatAt(ys[i]) - lats[i]) * kMetresPerDegreeLat;
            out.maxErrorM = std::max(out.maxErrorM, std::hypot(dx, dy));
        }
    }
    out.result = SidecarRead::Usable;
    return out;
}

SidecarRead ReadWorldFile(const std::string& text) {
    SidecarRead out;
    double v[6] = {};
    size_t n = 0;
    for (const std::string& line : Lines(text)) {
        if (line.empty())
            continue;
        if (n == 6 || !Number(line, v[n])) {
            out.problem = "it is not six numbers, one a line";
            return out;
        }
        ++n;
    }
    if (n != 6) {
        out.problem = "it is not six numbers, one a line";
        return out;
    }
    const double a = v[0], d = v[1], b = v[2], e = v[3], c = v[4], f = v[5];
    if (d != 0 || b != 0) {
        out.problem = "it turns the map (its rotation terms are not 0)";
        return out;
    }
    if (a == 0 || e == 0) {
        out.problem = "its pixel size is 0";
        return out;
    }
    // Degrees lie on the globe with pixels of a few degrees at most; metres do not.
    if (std::fabs(c) > 180 || std::fabs(f) > 90 || std::fabs(a) > 10 || std::fabs(e) > 10) {
        out.result = SidecarRead::Projected;
        out.problem = "projected coordinates (a world file in metres or feet)";
        return out;
    }
    out.model = {c, a, f, e};
    out.result = SidecarRead::Usable;
    return out;
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
    cal.m_nLon1 = ArcSeconds(lon1);
    cal.m_nLat1 = ArcSeconds(lat1);
    cal.m_nLon2 = ArcSeconds(lon2);
    cal.m_nLat2 = ArcSeconds(lat2);
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
    return ArcSeconds(model.LonAt(cal.m_nX1)) == cal.m_nLon1 &&
           ArcSeconds(model.LatAt(cal.m_nY1)) == cal.m_nLat1 &&
           ArcSeconds(model.LonAt(cal.m_nX2)) == cal.m_nLon2 &&
           ArcSeconds(model.LatAt(cal.m_nY2)) == cal.m_nLat2;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string MapDataFileName(const std::string& mapPath) {
    std::string stem, ext;
    SplitExtension(mapPath, stem, ext);
    return stem + ".map";
}

std::string WorldFileName(const std::string& mapPath, int style) {
    std::string stem, ext;
    SplitExtension(mapPath, stem, ext);
    if (style == 0 && ext.size() >= 2)
        return stem + "." + ext.front() + ext.back() + "w";
    if (style == 1 && !ext.empty())
        return stem + "." + ext + "w";
    return stem + ".wld";
}

SidecarCalibration FindSidecarCalibration(const std::string& mapPath, int32_t w, int32_t h) {
    SidecarCalibration out;
    auto take = [&](const std::string& source, const SidecarRead& read) {
        out.source = source;
        const std::string name = "\"" + BaseName(source) + "\"";
        if (read.result == SidecarRead::Projected) {
            out.result = SidecarCalibration::Refused;
            out.message = "The position in " + name + " is in " + read.problem +
                          ", which Ostrel cannot use: the map opens uncalibrated. "
                          "Calibrate it with two right-clicks.";
        } else if (read.result == SidecarRead::Damaged) {
            out.result = SidecarCalibration::Refused;
            out.message = "The calibration file " + name + " is ignored: " + read.problem + ".";
        } else if (read.hasPoints) {
            out.result = SidecarCalibration::Found;
            out.cal = read.points;
        } else if (CalibrationFromModel(read.model, w, h, out.cal)) {
            out.result = SidecarCalibration::Found;
            if (read.maxErrorM >= 0)
                out.message = "Calibration from " + name + ": largest point error " +
                              std::to_string(std::lround(read.maxErrorM)) + " m";
        } else {
            out.result = SidecarCalibration::Refused;
            out.message = "The calibration file " + name +
                          " is ignored: it places the map outside the world.";
        }
        return out;
    };
    std::string text;
    const std::string mapDataName = MapDataFileName(mapPath);
    if (mapDataName != mapPath && ReadSmallFile(mapDataName, text))
        return take(mapDataName, ReadMapDataFile(text));
    for (int style = 0; style < 3; ++style) {
        const std::string name = WorldFileName(mapPath, style);
        if (name != mapPath && ReadSmallFile(name, text))
            return take(name, ReadWorldFile(text));
    }
    std::string stem, ext;
    SplitExtension(mapPath, stem, ext);
    std::string lower = ext;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (lower == "tif" || lower == "tiff") {
        const SidecarRead geo = ReadGeoTiff(mapPath);
        // A TIFF without GeoTIFF tags is just a picture.
        if (geo.result != SidecarRead::Damaged || !geo.problem.empty())
            return take(mapPath, geo);
    }
    return out;
}

std::string FormatMapDataFile(const CMapCalibration& cal, const std::string& mapPath, int32_t w,
                              int32_t h) {
    const std::string name = BaseName(mapPath);
    std::string title, ext;
    SplitExtension(name, title, ext);
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
    return Fixed(m.lonPerPixel, 12) + "\r\n0.000000000000\r\n0.000000000000\r\n" +
           Fixed(m.latPerPixel, 12) + "\r\n" + Fixed(m.lon0, 12) + "\r\n" + Fixed(m.lat0, 12) +
           "\r\n";
}
