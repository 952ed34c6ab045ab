#include "map/georeference.h"

#include "map/geodesic.h"
#include "map/proj_context.h"

#include <algorithm>
#include <cmath>

namespace {

// PROJ's context of this thread, made the first time a projected map asks
// for it, so that nothing of PROJ is loaded for maps that need none.
const CProjContext& ThreadContext() {
    thread_local const CProjContext context;
    return context;
}

std::string LastError(PJ_CONTEXT* ctx, const char* fallback) {
    const char* text = proj_context_errno_string(ctx, proj_context_errno(ctx));
    return text && *text ? text : fallback;
}

// A transform from `from` to `to`, axes as longitude/latitude and
// easting/northing whatever the systems' own order.
PjHandle Transform(PJ_CONTEXT* ctx, const PJ* from, const PJ* to) {
    PjHandle raw{proj_create_crs_to_crs_from_pj(ctx, from, to, nullptr, nullptr)};
    if (!raw)
        return nullptr;
    return PjHandle{proj_normalize_for_visualization(ctx, raw.get())};
}

std::optional<PixelXY> Apply(PJ* pj, PJ_DIRECTION direction, PixelXY p) {
    const PJ_COORD out = proj_trans(pj, direction, proj_coord(p.x, p.y, 0, 0));
    if (!std::isfinite(out.xy.x) || !std::isfinite(out.xy.y))
        return std::nullopt;
    return PixelXY{out.xy.x, out.xy.y};
}

} // namespace

struct CGeoreference::Proj {
    PjHandle toWgs84; // map coordinates to WGS 84 longitude/latitude
};

std::optional<PixelXY> Affine::Invert(PixelXY m) const {
    const double det = ex * ny - ey * nx;
    if (!(std::fabs(det) > 0) || !std::isfinite(det))
        return std::nullopt;
    const double de = m.x - e0, dn = m.y - n0;
    const PixelXY p{(ny * de - ey * dn) / det, (ex * dn - nx * de) / det};
    if (!std::isfinite(p.x) || !std::isfinite(p.y))
        return std::nullopt;
    return p;
}

std::optional<Affine> FitAffine(const std::vector<PixelXY>& pixels,
                                const std::vector<PixelXY>& coords) {
    const size_t n = pixels.size();
    if (n < 2 || coords.size() != n)
        return std::nullopt;
    Affine a;
    if (n == 2) {
        // Two points fix a scale per axis and nothing more.
        const double dx = pixels[1].x - pixels[0].x, dy = pixels[1].y - pixels[0].y;
        if (dx == 0 || dy == 0)
            return std::nullopt;
        a.ex = (coords[1].x - coords[0].x) / dx;
        a.ny = (coords[1].y - coords[0].y) / dy;
        a.e0 = coords[0].x - a.ex * pixels[0].x;
        a.n0 = coords[0].y - a.ny * pixels[0].y;
    } else {
        // Normal equations about the centroid, which keeps them well
        // conditioned for pixels in the tens of thousands.
        double mx = 0, my = 0, me = 0, mn = 0;
        for (size_t i = 0; i < n; ++i) {
            mx += pixels[i].x / double(n);
            my += pixels[i].y / double(n);
            me += coords[i].x / double(n);
            mn += coords[i].y / double(n);
        }
        double sxx = 0, sxy = 0, syy = 0, sxe = 0, sye = 0, sxn = 0, syn = 0;
        for (size_t i = 0; i < n; ++i) {
            const double x = pixels[i].x - mx, y = pixels[i].y - my;
            const double e = coords[i].x - me, m = coords[i].y - mn;
            sxx += x * x;
            sxy += x * y;
            syy += y * y;
            sxe += x * e;
            sye += y * e;
            sxn += x * m;
            syn += y * m;
        }
        const double det = sxx * syy - sxy * sxy;
        if (det > 1e-9 * sxx * syy && std::isfinite(det)) {
            a.ex = (sxe * syy - sye * sxy) / det;
            a.ey = (sye * sxx - sxe * sxy) / det;
            a.nx = (sxn * syy - syn * sxy) / det;
            a.ny = (syn * sxx - sxn * sxy) / det;
        } else if (sxx > 0 && syy > 0) {
            // Points on one slanting line (along a diagonal of the picture)
            // leave the turn unknown: a scale per axis, as for two points.
            a.ex = sxe / sxx;
            a.ny = syn / syy;
        } else {
            return std::nullopt;
        }
        a.e0 = me - a.ex * mx - a.ey * my;
        a.n0 = mn - a.nx * mx - a.ny * my;
    }
    for (double v : {a.e0, a.ex, a.ey, a.n0, a.nx, a.ny})
        if (!std::isfinite(v))
            return std::nullopt;
    if (!a.Invert({a.e0, a.n0}))
        return std::nullopt;
    return a;
}

std::unique_ptr<CGeoreference> CGeoreference::Create(const GeoreferenceDef& def,
                                                     std::string& problem) {
    std::unique_ptr<CGeoreference> g{new CGeoreference};
    g->m_crs = def.crs;
    std::vector<PixelXY> pixels, coords;
    for (const TiePoint& t : def.points) {
        pixels.push_back({t.x, t.y});
        coords.push_back({t.e, t.n});
    }
    if (!def.crs.empty()) {
        PJ_CONTEXT* ctx = ThreadContext().Get();
        std::string why;
        const PjHandle crs = ThreadContext().Crs(def.crs, why);
        if (!crs) {
            problem = "PROJ does not know its coordinate system (" + why + ")";
            return nullptr;
        }
        const PjHandle wgs84{proj_create(ctx, "EPSG:4326")};
        g->m_proj = std::make_unique<Proj>();
        g->m_proj->toWgs84 = wgs84 ? Transform(ctx, crs.get(), wgs84.get()) : nullptr;
        // Each transform is a search of PROJ's database: this one only for
        // points given in longitude/latitude.
        PjHandle fromGeographic;
        if (std::any_of(def.points.begin(), def.points.end(),
                        [](const TiePoint& t) { return t.geographic; })) {
            const PjHandle geodetic{proj_crs_get_geodetic_crs(ctx, crs.get())};
            fromGeographic = geodetic ? Transform(ctx, geodetic.get(), crs.get()) : nullptr;
            if (!fromGeographic)
                g->m_proj->toWgs84.reset();
        }
        if (!g->m_proj->toWgs84) {
            problem = "PROJ cannot relate its coordinate system to WGS 84 (" +
                      LastError(ctx, "no transformation") + ")";
            return nullptr;
        }
        if (const char* name = proj_get_name(crs.get());
            name && *name && std::string(name) != "unknown")
            g->m_description = name;
        else
            g->m_description = def.crs;
        // Points given as longitude/latitude on the map's datum become map
        // coordinates through its own projection.
        for (size_t i = 0; i < def.points.size(); ++i) {
            if (!def.points[i].geographic)
                continue;
            const std::optional<PixelXY> m = Apply(fromGeographic.get(), PJ_FWD, coords[i]);
            if (!m) {
                problem = "a point lies outside its projection";
                return nullptr;
            }
            coords[i] = *m;
        }
    } else {
        for (const TiePoint& t : def.points)
            if (!(std::fabs(t.e) <= 180 && std::fabs(t.n) <= 90)) {
                problem = "a point lies outside the world";
                return nullptr;
            }
    }
    const std::optional<Affine> fit = FitAffine(pixels, coords);
    if (!fit) {
        problem = "it has no points apart in both directions";
        return nullptr;
    }
    g->m_affine = *fit;
    g->m_pixels = pixels;
    for (size_t i = 0; i < coords.size(); ++i) {
        const std::optional<PixelXY> p =
            g->m_proj ? Apply(g->m_proj->toWgs84.get(), PJ_FWD, coords[i]) : coords[i];
        if (!p) {
            problem = "a point lies outside its projection";
            return nullptr;
        }
        g->m_positions.push_back({p->x, p->y});
    }
    if (g->m_proj) {
        // Which operation PROJ chose shows once it has been used.
        PJ* pj = g->m_proj->toWgs84.get();
        (void)Apply(pj, PJ_FWD, g->m_affine.Apply(pixels.front()));
        const PjHandle used{proj_trans_get_last_used_operation(pj)};
        g->m_bBallpark = proj_coordoperation_has_ballpark_transformation(ThreadContext().Get(),
                                                                         used ? used.get() : pj);
    }
    return g;
}

CGeoreference::~CGeoreference() = default;

std::optional<LonLat> CGeoreference::PositionAt(PixelXY pixel) const {
    const PixelXY m = m_affine.Apply(pixel);
    const std::optional<PixelXY> g = m_proj ? Apply(m_proj->toWgs84.get(), PJ_FWD, m) : m;
    if (!g || !(std::fabs(g->x) <= 180 + 1e-9) || !(std::fabs(g->y) <= 90 + 1e-9))
        return std::nullopt;
    return LonLat{g->x, g->y};
}

std::optional<PixelXY> CGeoreference::PixelAt(LonLat position) const {
    if (!(std::fabs(position.lon) <= 180) || !(std::fabs(position.lat) <= 90))
        return std::nullopt;
    const PixelXY g{position.lon, position.lat};
    const std::optional<PixelXY> m = m_proj ? Apply(m_proj->toWgs84.get(), PJ_INV, g) : g;
    if (!m)
        return std::nullopt;
    return m_affine.Invert(*m);
}

PointErrors CGeoreference::Errors() const {
    return ErrorsOf(
        m_pixels, m_positions, [this](PixelXY p) { return PositionAt(p); },
        [this](LonLat g) { return PixelAt(g); });
}

PointErrors ErrorsOf(const std::vector<PixelXY>& pixels, const std::vector<LonLat>& positions,
                     const std::function<std::optional<LonLat>(PixelXY)>& positionAt,
                     const std::function<std::optional<PixelXY>(LonLat)>& pixelAt) {
    PointErrors out;
    const size_t n = std::min(pixels.size(), positions.size());
    for (size_t i = 0; i < n; ++i) {
        const std::optional<PixelXY> p = pixelAt(positions[i]);
        const std::optional<LonLat> g = positionAt(pixels[i]);
        const double px = p ? std::hypot(p->x - pixels[i].x, p->y - pixels[i].y) : HUGE_VAL;
        const double m = g ? GeodesicMetres(*g, positions[i]) : HUGE_VAL;
        out.maxPixels = std::max(out.maxPixels, px);
        out.maxMetres = std::max(out.maxMetres, m);
        out.rmsPixels += px * px;
        out.rmsMetres += m * m;
    }
    out.rmsPixels = std::sqrt(out.rmsPixels / double(std::max<size_t>(n, 1)));
    out.rmsMetres = std::sqrt(out.rmsMetres / double(std::max<size_t>(n, 1)));
    return out;
}

double GeodesicMetres(LonLat a, LonLat b) {
    return Wgs84Inverse(a, b).metres;
}
