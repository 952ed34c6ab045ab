#include "map/sidecar_readers.h"
#include "picture/tiff_handle.h"

#include <cmath>
#include <geotiff/geo_normalize.h>
#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <geotiff/xtiffio.h>

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

} // namespace

SidecarRead ReadGeoTiff(const std::string& path) {
    SidecarRead out;
    // libtiff learns the GeoTIFF tags before it reads a directory. Its
    // messages about the picture belong to the decoder: these are dropped.
    XTIFFInitialize();
    TiffMessages messages;
    const TiffPtr tif = OpenTiff(path, messages, kMaxSingleAlloc);
    GTIF* gtif = tif ? GTIFNew(tif.get()) : nullptr;
    auto done = [&] {
        if (gtif)
            GTIFFree(gtif);
        return out;
    };
    unsigned short model = 0;
    if (!gtif || GTIFKeyGet(gtif, GTModelTypeGeoKey, &model, 0, 1) != 1)
        return done(); // no GeoTIFF tags: Damaged with no problem
    if (model == ModelTypeProjected) {
        out.result = SidecarRead::Unknown;
        out.problem = Citation(gtif, PCSCitationGeoKey);
        if (out.problem.empty())
            out.problem = Citation(gtif, GTCitationGeoKey);
        unsigned short pcs = 0;
        if (out.problem.empty() && GTIFKeyGet(gtif, ProjectedCSTypeGeoKey, &pcs, 0, 1) == 1)
            out.problem = GTIFValueName(ProjectedCSTypeGeoKey, pcs);
        if (out.problem.empty())
            out.problem = "a projected coordinate system";
        return done();
    }
    if (model != ModelTypeGeographic) {
        out.problem =
            "its GeoTIFF model type " + std::to_string(model) + " is not one Ostrel can use";
        return done();
    }
    unsigned short gcs = 0, datum = 0;
    const bool hasGcs = GTIFKeyGet(gtif, GeographicTypeGeoKey, &gcs, 0, 1) == 1;
    const bool hasDatum = GTIFKeyGet(gtif, GeogGeodeticDatumGeoKey, &datum, 0, 1) == 1;
    if (!(hasGcs && NearWgs84(gcs)) && !(hasDatum && NearWgs84(datum))) {
        out.problem =
            "its geographic system (" + std::to_string(hasGcs ? gcs : datum) + ") is not on WGS 84";
        return done();
    }
    unsigned short raster = RasterPixelIsArea;
    GTIFKeyGet(gtif, GTRasterTypeGeoKey, &raster, 0, 1);
    // Map pixels are pixel centres; an area-type raster is tied at its corner.
    const double c = raster == RasterPixelIsPoint ? 0.0 : 0.5;
    double x0 = c, y0 = c, x1 = 1 + c, y1 = c, x2 = c, y2 = 1 + c;
    if (!GTIFImageToPCS(gtif, &x0, &y0) || !GTIFImageToPCS(gtif, &x1, &y1) ||
        !GTIFImageToPCS(gtif, &x2, &y2)) {
        out.problem = "it has no pixel scale and tie point";
        return done();
    }
    // x1, y1 is one pixel to the right, x2, y2 one pixel down.
    const double eps = 1e-12;
    if (std::fabs(y1 - y0) > eps || std::fabs(x2 - x0) > eps) {
        out.problem = "it turns the map";
        return done();
    }
    out.model = {x0, x1 - x0, y0, y2 - y0};
    if (!std::isfinite(x0) || !std::isfinite(y0) || out.model.lonPerPixel == 0 ||
        out.model.latPerPixel == 0 || std::fabs(x0) > 180 || std::fabs(y0) > 90) {
        out.problem = "its tie point is not a longitude and latitude";
        return done();
    }
    out.result = SidecarRead::Usable;
    return done();
}
