#include "map/sidecar_readers.h"

#include "map/map_projections.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>
#include <vector>

namespace {

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

// One point of a .map file: its pixel, and its place as latitude and
// longitude on the map's datum, as grid coordinates, or both.
struct MapPoint {
    double x = 0, y = 0; // [pixel]
    std::optional<LonLat> geo;
    std::optional<PixelXY> grid; // easting, northing [m]
    int zone = 0;                // UTM zone of the grid coordinates; 0 when not given
    bool south = false;
};

// "Point01,xy,  120,   80,in, deg,  52, 30.0000,N,  13, 20.0000,E, grid,   33,  389000,
// 5820000,N". Leaves `point` empty for a point without pixel or place (the
// format's unused points); false when a field of a used point is not a
// number, a hemisphere letter or a UTM zone.
bool ReadMapPoint(const std::vector<std::string>& f, std::optional<MapPoint>& point) {
    auto field = [&f](size_t i) { return i < f.size() ? f[i] : std::string(); };
    if (field(2).empty() && field(3).empty())
        return true;
    MapPoint p;
    if (!Number(field(2), p.x) || !Number(field(3), p.y))
        return false;
    if (!(field(6) + field(7) + field(9) + field(10)).empty()) {
        double lat = 0, lon = 0;
        if (!DegMin(field(6), field(7), field(8), 'N', 'S', 90, lat) ||
            !DegMin(field(9), field(10), field(11), 'E', 'W', 180, lon))
            return false;
        p.geo = LonLat{lon, lat};
    }
    if (!(field(14) + field(15)).empty()) {
        PixelXY g;
        if (!Number(field(14), g.x) || !Number(field(15), g.y))
            return false;
        p.grid = g;
    }
    if (!field(13).empty()) {
        double zone = 0;
        if (!Number(field(13), zone) || !(zone >= 1 && zone <= 60) || zone != std::floor(zone))
            return false;
        p.zone = int(zone);
    }
    p.south = field(16) == "S";
    if (p.geo || p.grid)
        point = p;
    return true;
}

// Field `i` of the "Projection Setup" line, when it is there and within
// +-`limit`; an empty field leaves `value`.
bool SetupField(const std::vector<std::string>& f, size_t i, double limit, double& value) {
    double v = 0;
    if (i >= f.size() || f[i].empty())
        return true;
    if (!Number(f[i], v) || !(std::fabs(v) <= limit))
        return false;
    value = v;
    return true;
}

bool SetupField(const std::vector<std::string>& f, size_t i, std::optional<double>& value) {
    double v = 0;
    if (i >= f.size() || f[i].empty())
        return true;
    if (!Number(f[i], v) || !(std::fabs(v) <= 90))
        return false;
    value = v;
    return true;
}

// The fields of "Projection Setup, lat0, lon0, k, falseE, falseN, lat1,
// lat2, height,," that projection `p` takes; an empty scale factor is 1.
bool ReadProjectionSetup(const std::vector<std::string>& f, const MapProjection& p,
                         ProjectionSetup& s) {
    constexpr double kMaxFalseOrigin = 1e9; // [m]
    const unsigned use = p.setup;
    return (!(use & kSetupLatOrigin) || SetupField(f, 1, 90, s.lat0)) &&
           (!(use & kSetupLonOrigin) || SetupField(f, 2, 360, s.lon0)) &&
           (!(use & kSetupScale) || (SetupField(f, 3, 10, s.k) && s.k > 0)) &&
           (!(use & kSetupFalseOrigin) || (SetupField(f, 4, kMaxFalseOrigin, s.falseE) &&
                                           SetupField(f, 5, kMaxFalseOrigin, s.falseN))) &&
           (!(use & kSetupParallels) || (SetupField(f, 6, s.lat1) && SetupField(f, 7, s.lat2)));
}

std::string UtmZoneName(int zone, bool south) {
    return std::to_string(zone) + (south ? "S" : "N");
}

// The UTM zone of a map: the one its grid points name, else the one of its
// points' mean longitude, in the hemisphere of their mean latitude.
bool UtmZone(const std::vector<MapPoint>& points, int& zone, bool& south, std::string& problem) {
    zone = 0;
    for (const MapPoint& p : points) {
        if (!p.grid || p.zone == 0)
            continue;
        if (zone == 0) {
            zone = p.zone;
            south = p.south;
        } else if (p.zone != zone || p.south != south) {
            problem = "its points lie in different UTM zones (" + UtmZoneName(zone, south) +
                      " and " + UtmZoneName(p.zone, p.south) + ")";
            return false;
        }
    }
    if (zone != 0)
        return true;
    const MapPoint* first = nullptr;
    double lon = 0, lat = 0, n = 0;
    for (const MapPoint& p : points) {
        if (!p.geo)
            continue;
        first = first ? first : &p;
        // Longitudes about the first point's, across the 180th meridian too.
        lon += first->geo->lon + std::remainder(p.geo->lon - first->geo->lon, 360.0);
        lat += p.geo->lat;
        ++n;
    }
    if (!first) {
        problem = "its UTM points name no zone";
        return false;
    }
    lon = std::remainder(lon / n, 360.0);
    zone = std::clamp(int(std::floor((lon + 180) / 6)) + 1, 1, 60);
    south = lat < 0;
    return true;
}

// The designed two-point calibration of a Latitude/Longitude map on WGS 84.
SidecarRead TwoPointCalibration(const std::vector<MapPoint>& points) {
    SidecarRead out;
    std::vector<double> xs, ys, lons, lats;
    for (const MapPoint& p : points) {
        xs.push_back(p.x);
        ys.push_back(p.y);
        lons.push_back(p.geo->lon);
        lats.push_back(p.geo->lat);
    }
    GeoModel& m = out.model;
    if (!Fit(xs, lons, m.lon0, m.lonPerPixel) || !Fit(ys, lats, m.lat0, m.latPerPixel)) {
        out.problem = "it has no two usable points apart in both directions";
        return out;
    }
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
    out.result = SidecarRead::Usable;
    return out;
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
    const std::string datumName = datumFields.empty() ? std::string() : datumFields.front();
    std::optional<std::string> projectionName;
    std::vector<std::string> setupFields;
    double scale = 1;
    std::vector<MapPoint> points;
    std::string pointProblem;
    for (const std::string& line : lines) {
        const std::vector<std::string> f = SplitCommas(line);
        if (f.size() >= 2 && f[0] == "Map Projection" && !projectionName) {
            projectionName = f[1];
        } else if (!f.empty() && f[0] == "Projection Setup") {
            setupFields = f;
        } else if (!f.empty() && f[0] == "MSF") {
            // The map scale factor: the picture was scaled by it after it was
            // calibrated, so the points' pixels are multiplied by it.
            if (f.size() < 2 || !Number(f[1], scale) || !(scale > 0)) {
                out.problem = "its map scale factor (MSF) is not a positive number";
                return out;
            }
        } else if (f.size() >= 2 && f[0].rfind("Point", 0) == 0 && f[1] == "xy") {
            std::optional<MapPoint> point;
            if (!ReadMapPoint(f, point) && pointProblem.empty())
                pointProblem = "its " + f[0] + " cannot be read";
            if (point)
                points.push_back(*point);
        }
    }
    if (!projectionName) {
        out.problem = "it has no \"Map Projection\" line";
        return out;
    }
    if (projectionName->empty()) {
        out.problem = "its \"Map Projection\" line names no projection";
        return out;
    }
    const MapProjection* projection = FindMapProjection(*projectionName);
    if (!projection) {
        out.result = SidecarRead::Unknown;
        out.problem = "the projection \"" + *projectionName + "\"";
        return out;
    }
    if (datumName.empty()) {
        out.problem = "its datum line names no datum";
        return out;
    }
    const MapDatum* datum = FindMapDatum(datumName);
    if (!datum) {
        out.result = SidecarRead::Unknown;
        out.problem = "the datum \"" + datumName + "\"";
        return out;
    }
    if (!pointProblem.empty()) {
        out.problem = pointProblem;
        return out;
    }
    // Latitude/Longitude maps are placed by their points' latitudes and
    // longitudes; the others by their grid coordinates where a point has them.
    const bool latLon = IsLatLon(*projection);
    std::erase_if(points, [latLon](const MapPoint& p) { return latLon && !p.geo; });
    for (MapPoint& p : points) {
        p.x *= scale;
        p.y *= scale;
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            out.problem = "its map scale factor (MSF) puts a point off any picture";
            return out;
        }
    }
    const bool wgs84 = datum == &MapDatums().front();
    if (latLon && wgs84 && points.size() == 2)
        return TwoPointCalibration(points);
    if (points.size() < 2) {
        out.problem = "it has no two usable points apart in both directions";
        return out;
    }
    ProjectionSetup setup;
    if (!ReadProjectionSetup(setupFields, *projection, setup)) {
        out.problem = "its \"Projection Setup\" line cannot be read";
        return out;
    }
    int zone = 0;
    bool south = false;
    if (IsUtm(*projection) && !UtmZone(points, zone, south, out.problem))
        return out;
    if (!(latLon && wgs84))
        out.def.crs = MapCrs(*projection, setup, zone, south, *datum);
    for (const MapPoint& p : points) {
        if (!latLon && p.grid)
            out.def.points.push_back({p.x, p.y, p.grid->x, p.grid->y, false});
        else
            out.def.points.push_back({p.x, p.y, p.geo->lon, p.geo->lat, true});
    }
    out.result = SidecarRead::Georeferenced;
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
        out.def = {*crs, CornerPoints(pixelToMap, w, h)};
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
        out.def = {{}, CornerPoints(pixelToMap, w, h)};
        out.result = SidecarRead::Georeferenced;
        return out;
    }
    out.model = {c, a, f, e};
    out.result = SidecarRead::Usable;
    return out;
}
