#pragma once

#include <filesystem>
#include <geotiff/geotiff.h>
#include <geotiff/geovalues.h>
#include <geotiff/xtiffio.h>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// The GeoTIFF tags of a test picture: short, double and text keys, and how
// the raster is placed.
struct GeoTags {
    unsigned short model = ModelTypeProjected, raster = RasterPixelIsArea;
    std::vector<std::pair<geokey_t, unsigned short>> shorts = {};
    std::vector<std::pair<geokey_t, double>> doubles = {};
    std::vector<std::pair<geokey_t, std::string>> texts = {};
    std::vector<double> scale = {}, ties = {}, matrix = {};
};

// A w x h picture of 8-bit grey pixels with the tags `g`.
inline void WriteGeoTiff(const std::filesystem::path& path, int w, int h, const GeoTags& g) {
    TIFF* tif = XTIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    if (!g.scale.empty())
        TIFFSetField(tif, TIFFTAG_GEOPIXELSCALE, uint16_t(g.scale.size()), g.scale.data());
    if (!g.ties.empty())
        TIFFSetField(tif, TIFFTAG_GEOTIEPOINTS, uint16_t(g.ties.size()), g.ties.data());
    if (!g.matrix.empty())
        TIFFSetField(tif, TIFFTAG_GEOTRANSMATRIX, uint16_t(g.matrix.size()), g.matrix.data());
    GTIF* gtif = GTIFNew(tif);
    GTIFKeySet(gtif, GTModelTypeGeoKey, TYPE_SHORT, 1, g.model);
    GTIFKeySet(gtif, GTRasterTypeGeoKey, TYPE_SHORT, 1, g.raster);
    for (const auto& [key, value] : g.shorts)
        GTIFKeySet(gtif, key, TYPE_SHORT, 1, value);
    for (const auto& [key, value] : g.doubles)
        GTIFKeySet(gtif, key, TYPE_DOUBLE, 1, value);
    for (const auto& [key, value] : g.texts)
        GTIFKeySet(gtif, key, TYPE_ASCII, 0, value.c_str());
    GTIFWriteKeys(gtif);
    GTIFFree(gtif);
    std::vector<uint8_t> row(size_t(w), 128);
    for (uint32_t y = 0; y < uint32_t(h); ++y)
        TIFFWriteScanline(tif, row.data(), y, 0);
    XTIFFClose(tif);
}
