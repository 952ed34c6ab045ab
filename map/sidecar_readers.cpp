#include "map/sidecar_readers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>
#include <vector>

namespace {

constexpr double kMetresPerDegreeLat = 110574.0; // [m/deg]
constexpr double kMetresPerDegreeLon = 111320.0; // [m/deg] at the equator

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
                out.result = SidecarRead::Unknown;
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
        c.m_nLon1 = RoundToArcSeconds(lons[0]);
        c.m_nLat1 = RoundToArcSeconds(lats[0]);
        c.m_nLon2 = RoundToArcSeconds(lons[1]);
        c.m_nLat2 = RoundToArcSeconds(lats[1]);
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

std::vector<TiePoint> CornerPoints(const Affine& pixelToMap, int32_t w, int32_t h) {
    // Any span gives the same fit; a picture of unknown size is spanned by
    // 1024 pixels. [pixel]
    const double right = w > 1 ? w - 1 : 1024, bottom = h > 1 ? h - 1 : 1024;
    std::vector<PixelXY> pixels{{0, 0}, {right, bottom}};
    if (pixelToMap.ey != 0 || pixelToMap.nx != 0)
        pixels = {{0, 0}, {right, 0}, {0, bottom}, {right, bottom}};
    std::vector<TiePoint> points;
    for (const PixelXY& p : pixels) {
        const PixelXY m = pixelToMap.Apply(p);
        points.push_back({p.x, p.y, m.x, m.y, false});
    }
    return points;
}

SidecarRead ReadWorldFile(const std::string& text, const std::optional<std::string>& crs, int32_t w,
                          int32_t h) {
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
    const Affine pixelToMap{c, a, b, f, d, e};
    if (!pixelToMap.Invert({c, f})) {
        out.problem = "its pixels have no size";
        return out;
    }
    if (crs) {
        out.spec = {*crs, CornerPoints(pixelToMap, w, h)};
        out.result = SidecarRead::Georeferenced;
        return out;
    }
    // Degrees lie on the globe with pixels of a few degrees at most; metres do not.
    if (std::fabs(c) > 180 || std::fabs(f) > 90 || std::fabs(a) > 10 || std::fabs(e) > 10 ||
        std::fabs(b) > 10 || std::fabs(d) > 10) {
        out.result = SidecarRead::Unknown;
        out.problem = "map units, with no .prj file to name their coordinate system";
        return out;
    }
    if (b != 0 || d != 0) {
        out.spec = {{}, CornerPoints(pixelToMap, w, h)};
        out.result = SidecarRead::Georeferenced;
        return out;
    }
    out.model = {c, a, f, e};
    out.result = SidecarRead::Usable;
    return out;
}
