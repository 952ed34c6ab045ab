#include "map/proj_context.h"
#include "map/sidecar_readers.h"
#include "picture/tiff_handle.h"

#include <cmath>
#include <geotiff/geo_normalize.h>
#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <geotiff/xtiffio.h>
#include <proj_experimental.h>

namespace {

// Tags hold a few numbers; no real file asks libtiff for more at once. [byte]
constexpr uint64_t kMaxSingleAlloc = 64u << 20;

// Geographic systems on WGS 84 or a datum within a few metres of it:
// WGS 84, NAD83, ETRS89, GDA94, NZGD2000, SWEREF99, and their datums.
bool NearWgs84(int code) {
    switch (code) {
    case 4326:
    case 4269:
    case 4258:
    case 4283:
    case 4167:
    case 4619:
    case 6326:
    case 6269:
    case 6258:
    case 6283:
    case 6167:
    case 6619:
        return true;
    default:
        return false;
    }
}

std::string Citation(GTIF* gtif, geokey_t key) {
    char text[256] = {};
    if (GTIFKeyGetASCII(gtif, key, text, sizeof text) > 0)
        return text;
    return {};
}

// libgeotiff's complaints about odd keys; what matters is reported by the reader.
void DropMessage(GTIF*, int, const char*, ...) {}

// The numbers of a GeoTIFF tag of doubles; empty when it is absent or holds
// a number that is not finite.
std::vector<double> Doubles(TIFF* tif, uint32_t tag) {
    uint16_t count = 0;
    const double* values = nullptr;
    if (TIFFGetField(tif, tag, &count, &values) != 1 || !values)
        return {};
    std::vector<double> out(values, values + count);
    for (double v : out)
        if (!std::isfinite(v))
            return {};
    return out;
}

// How the tags place the picture: an affine transform of its pixels, or
// tie points to fit one to. `c` is the raster position of a pixel centre
// [pixel]: 0.5 when the raster is tied at pixel corners, else 0.
bool PixelPlacement(TIFF* tif, double c, std::optional<Affine>& affine,
                    std::vector<TiePoint>& points) {
    const std::vector<double> matrix = Doubles(tif, TIFFTAG_GEOTRANSMATRIX);
    const std::vector<double> ties = Doubles(tif, TIFFTAG_GEOTIEPOINTS);
    const std::vector<double> scale = Doubles(tif, TIFFTAG_GEOPIXELSCALE);
    if (matrix.size() >= 16) {
        // Rows (e, n) of a 4 x 4 matrix over raster (x, y, z, 1).
        const double* m = matrix.data();
        affine = Affine{m[3] + (m[0] + m[1]) * c, m[0], m[1], m[7] + (m[4] + m[5]) * c, m[4], m[5]};
        return true;
    }
    if (ties.size() >= 12) {
        for (size_t i = 0; i + 6 <= ties.size(); i += 6)
            points.push_back({ties[i] - c, ties[i + 1] - c, ties[i + 3], ties[i + 4], false});
        return true;
    }
    if (ties.size() >= 6 && scale.size() >= 2) {
        // The scale's y is positive for north up: northing falls row by row.
        const double i = ties[0], j = ties[1], x = ties[3], y = ties[4];
        affine = Affine{x + (c - i) * scale[0], scale[0], 0, y - (c - j) * scale[1], 0, -scale[1]};
        return true;
    }
    return false;
}

// Whether PROJ knows the EPSG code; when not, `out` says so.
bool KnownCode(const CProjContext& proj, int code, SidecarRead& out) {
    std::string ignored;
    if (proj.Crs("EPSG:" + std::to_string(code), ignored))
        return true;
    out.result = SidecarRead::Unknown;
    out.problem = "the coordinate system EPSG:" + std::to_string(code);
    return false;
}

// `crs` as one line of WKT, the text a georeference is made from.
std::string Wkt(const CProjContext& proj, const PjHandle& crs) {
    const char* const options[] = {"MULTILINE=NO", nullptr};
    const char* wkt = crs ? proj_as_wkt(proj.Get(), crs.get(), PJ_WKT2_2019, options) : nullptr;
    return wkt ? wkt : "";
}

// The geographic system the keys give by its EPSG code, else the first one
// PROJ knows on the datum they give by code; null when they code neither.
PjHandle CodedGeographic(const CProjContext& proj, int gcs, int datum) {
    std::string ignored;
    if (gcs > 0 && gcs != KvUserDefined)
        return proj.Crs("EPSG:" + std::to_string(gcs), ignored);
    if (datum <= 0 || datum == KvUserDefined)
        return nullptr;
    PJ_OBJ_LIST* list = proj_query_geodetic_crs_from_datum(
        proj.Get(), "EPSG", "EPSG", std::to_string(datum).c_str(), "geographic 2D");
    PjHandle first{list && proj_list_get_count(list) > 0 ? proj_list_get(proj.Get(), list, 0)
                                                         : nullptr};
    proj_list_destroy(list);
    return first;
}

// The keys' own description of the system: libgeotiff's PROJ definition,
// which keeps no more of a datum than its ellipsoid, on the geographic system
// the keys code, named `name` or else after the definition. Empty when PROJ
// cannot read it.
std::string DefinitionOfKeys(GTIF* gtif, unsigned short model, const CProjContext& proj,
                             const std::string& name) {
    GTIFDefn* defn = GTIFAllocDefn();
    std::string text;
    int gcs = KvUserDefined, datum = KvUserDefined;
    if (defn && GTIFGetDefn(gtif, defn)) {
        if (char* p = GTIFGetProj4Defn(defn)) {
            text = std::string(p) + " +type=crs";
            GTIFFreeMemory(p);
        }
        gcs = defn->GCS;
        datum = defn->Datum;
    }
    GTIFFreeDefn(defn);
    std::string ignored;
    const PjHandle crs = text.empty() ? nullptr : proj.Crs(text, ignored);
    // A datum shift the file states itself is kept as it is.
    if (!crs || proj_get_type(crs.get()) == PJ_TYPE_BOUND_CRS)
        return crs ? text : "";
    const PjHandle geographic = CodedGeographic(proj, gcs, datum);
    if (!geographic)
        return text;
    if (model == ModelTypeGeographic) {
        const char* code = proj_get_id_code(geographic.get(), 0);
        return code ? std::string("EPSG:") + code : Wkt(proj, geographic);
    }
    const PjHandle onDatum{proj_crs_alter_geodetic_crs(proj.Get(), crs.get(), geographic.get())};
    const std::string own = name.empty() ? text.substr(0, text.rfind(" +type=crs")) : name;
    const PjHandle named{onDatum ? proj_alter_name(proj.Get(), onDatum.get(), own.c_str())
                                 : nullptr};
    const std::string wkt = Wkt(proj, named);
    return wkt.empty() ? text : wkt;
}

// The EPSG system `code` with its coordinates in the unit `units` (an EPSG
// code) instead of its own; empty when PROJ cannot make it.
std::string InUnits(const CProjContext& proj, int code, int units) {
    char* unitName = nullptr;
    double metres = 0;
    if (!GTIFGetUOMLengthInfoEx(proj.Get(), units, &unitName, &metres))
        return {};
    std::string ignored;
    const PjHandle crs = proj.Crs("EPSG:" + std::to_string(code), ignored);
    const PjHandle altered{crs ? proj_crs_alter_cs_linear_unit(proj.Get(), crs.get(), unitName,
                                                               metres, "EPSG",
                                                               std::to_string(units).c_str())
                               : nullptr};
    GTIFFreeMemory(unitName);
    return Wkt(proj, altered);
}

// The system of the map coordinates as PROJ reads it ("EPSG:n", a PROJ
// string or WKT), empty for longitude/latitude on WGS 84 or a datum within a
// few metres of it; false, with `out` saying why, when there is none.
bool CoordinateSystem(GTIF* gtif, unsigned short model, const CProjContext& proj, std::string& crs,
                      SidecarRead& out) {
    std::string name =
        Citation(gtif, model == ModelTypeProjected ? PCSCitationGeoKey : GeogCitationGeoKey);
    if (name.empty())
        name = Citation(gtif, GTCitationGeoKey);
    unsigned short code = 0;
    if (model == ModelTypeProjected) {
        const bool coded =
            GTIFKeyGet(gtif, ProjectedCSTypeGeoKey, &code, 0, 1) == 1 && code != KvUserDefined;
        if (coded && !KnownCode(proj, code, out))
            return false;
        // A file may give its coordinates in other units than its system's.
        unsigned short units = 0;
        short own = 0;
        if (coded && GTIFKeyGet(gtif, ProjLinearUnitsGeoKey, &units, 0, 1) == 1 &&
            !(GTIFGetPCSInfoEx(proj.Get(), code, nullptr, nullptr, &own, nullptr) &&
              own == units)) {
            crs = InUnits(proj, code, units);
        } else if (coded) {
            crs = "EPSG:" + std::to_string(code);
            return true;
        }
    } else {
        unsigned short angular = Angular_Degree;
        GTIFKeyGet(gtif, GeogAngularUnitsGeoKey, &angular, 0, 1);
        if (angular != Angular_Degree) {
            out.problem = "its longitudes and latitudes are not in degrees";
            return false;
        }
        unsigned short datum = 0;
        const bool coded =
            GTIFKeyGet(gtif, GeographicTypeGeoKey, &code, 0, 1) == 1 && code != KvUserDefined;
        const bool hasDatum = GTIFKeyGet(gtif, GeogGeodeticDatumGeoKey, &datum, 0, 1) == 1;
        if ((coded && NearWgs84(code)) || (hasDatum && NearWgs84(datum)))
            return true;
        if (coded) {
            if (!KnownCode(proj, code, out))
                return false;
            crs = "EPSG:" + std::to_string(code);
            return true;
        }
    }
    if (crs.empty())
        crs = DefinitionOfKeys(gtif, model, proj, name);
    if (!crs.empty())
        return true;
    out.result = SidecarRead::Unknown;
    out.problem = !name.empty()                 ? name
                  : model == ModelTypeProjected ? "a projected coordinate system of its own"
                                                : "a geographic coordinate system of its own";
    return false;
}

} // namespace

SidecarRead ReadGeoTiff(const std::string& path) {
    SidecarRead out;
    // libtiff learns the GeoTIFF tags before it reads a directory. Its
    // messages about the picture belong to the decoder: these are dropped.
    XTIFFInitialize();
    TiffMessages messages;
    const TiffPtr tif = OpenTiff(path, messages, kMaxSingleAlloc);
    const CProjContext proj;
    GTIF* gtif = tif ? GTIFNewEx(tif.get(), DropMessage, nullptr) : nullptr;
    auto done = [&] {
        if (gtif)
            GTIFFree(gtif);
        return out;
    };
    unsigned short model = 0;
    if (!gtif || GTIFKeyGet(gtif, GTModelTypeGeoKey, &model, 0, 1) != 1)
        return done(); // no GeoTIFF tags: Damaged with no problem
    if (model != ModelTypeProjected && model != ModelTypeGeographic) {
        out.problem =
            "its GeoTIFF model type " + std::to_string(model) + " is not one Ostrel can use";
        return done();
    }
    // libgeotiff looks codes up in PROJ's database through the quiet context.
    GTIFAttachPROJContext(gtif, proj.Get());
    std::string crs;
    if (!CoordinateSystem(gtif, model, proj, crs, out))
        return done();
    unsigned short raster = RasterPixelIsArea;
    GTIFKeyGet(gtif, GTRasterTypeGeoKey, &raster, 0, 1);
    // Map pixels are pixel centres; an area-type raster is tied at its corner.
    const double c = raster == RasterPixelIsPoint ? 0.0 : 0.5;
    std::optional<Affine> affine;
    std::vector<TiePoint> points;
    if (!PixelPlacement(tif.get(), c, affine, points)) {
        out.problem = "it has no pixel scale and tie point";
        return done();
    }
    // Longitude/latitude on WGS 84, axis aligned: the designed calibration.
    const double eps = 1e-12;
    if (crs.empty() && affine && std::fabs(affine->ey) <= eps && std::fabs(affine->nx) <= eps) {
        out.model = {affine->e0, affine->ex, affine->n0, affine->ny};
        if (!std::isfinite(affine->ex) || affine->ex == 0 || !std::isfinite(affine->ny) ||
            affine->ny == 0 || !(std::fabs(affine->e0) <= 180) || !(std::fabs(affine->n0) <= 90)) {
            out.problem = "its tie point is not a longitude and latitude";
            return done();
        }
        out.result = SidecarRead::Usable;
        return done();
    }
    uint32_t w = 0, h = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    out.def.crs = crs;
    out.def.points = affine ? CornerPoints(*affine, int32_t(std::min<uint32_t>(w, INT32_MAX)),
                                           int32_t(std::min<uint32_t>(h, INT32_MAX)))
                            : points;
    out.result = SidecarRead::Georeferenced;
    return done();
}
