#include "map/proj_context.h"
#include "map/sidecar_writers.h"

#include "platform/c_numbers.h"

#include <charconv>

std::string FormatWorldFile(const Affine& a) {
    std::string t;
    for (double v : {a.ex, a.nx, a.ey, a.ny, a.e0, a.n0})
        t += FixedDecimal(v) + "\r\n";
    return t;
}

std::string FormatPrjFile(const std::string& crs, std::string& problem) {
    const CProjContext proj;
    const PjHandle system = proj.Crs(crs.empty() ? "EPSG:4326" : crs, problem);
    if (!system) {
        problem = "PROJ cannot read its coordinate system (" + problem + ")";
        return {};
    }
    const char* wkt = proj_as_wkt(proj.Get(), system.get(), PJ_WKT1_ESRI, nullptr);
    // ESRI WKT holds no datum shift to WGS 84, and not every projection: what
    // it cannot hold would silently move the map.
    std::string ignored;
    const PjHandle back = wkt ? proj.Crs(wkt, ignored) : nullptr;
    if (!back || !proj_is_equivalent_to_with_ctx(proj.Get(), system.get(), back.get(),
                                                 PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS)) {
        problem = proj_get_type(system.get()) == PJ_TYPE_BOUND_CRS
                      ? "ESRI WKT cannot hold its datum shift to WGS 84"
                      : "PROJ cannot write its coordinate system as ESRI WKT";
        return {};
    }
    return wkt;
}
