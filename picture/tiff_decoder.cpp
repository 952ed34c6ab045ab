#include "picture/picture_decoder.h"
#include "picture/tiff_handle.h"

#include <algorithm>
#include <new>

namespace {

// The band of rows converted at once through libtiff's RGBA reader is kept
// below this. [byte]
constexpr uint64_t kMaxBandBytes = 64u << 20;
// The most libtiff may ask for at once: a strip or tile of any real scan. [byte]
constexpr uint64_t kMaxSingleAlloc = 256u << 20;

struct Tiff {
    TiffMessages messages; // first: the handle reports to it until it closes
    TiffPtr tif;
    std::string Damaged() const {
        return "the TIFF data is damaged" +
               (messages.firstError.empty() ? "" : " (" + messages.firstError + ")");
    }
};

bool Progress(CPictureSink& sink, int32_t y, int32_t h) {
    return sink.Progress(uint64_t(y), uint64_t(h));
}

// Indexed and grey pictures of 1 to 8 bits keep their indexes, one byte each.
DecodeOutcome DecodeIndexed(const Tiff& t, DecodedLayout& layout, uint16_t bits,
                            CPictureSink& sink) {
    TIFF* tif = t.tif.get();
    DecodeOutcome out;
    const int32_t w = layout.width, h = layout.height;
    const size_t packed = (size_t(w) * bits + 7) / 8;
    // The sink refuses a picture too large before anything its size is allocated.
    if (!sink.Begin(layout, out.problem))
        return out;
    std::vector<uint8_t> row(layout.RowBytes());
    auto unpack = [&](const uint8_t* src) { UnpackIndexes(src, bits, size_t(w), row.data()); };
    if (TIFFIsTiled(tif)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        const tmsize_t tileSize = TIFFTileSize(tif);
        const size_t tileRow = (size_t(tw) * bits + 7) / 8;
        if (tw == 0 || th == 0 || tw % 8 != 0 || tileSize <= 0 ||
            uint64_t(th) * packed > kMaxBandBytes) {
            out.problem = t.Damaged();
            return out;
        }
        std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
        std::vector<uint8_t> band(size_t(th) * packed);
        for (int32_t y0 = 0; y0 < h; y0 += int32_t(th)) {
            for (uint32_t x0 = 0; x0 < uint32_t(w); x0 += tw) {
                if (TIFFReadTile(tif, tile.data(), x0, uint32_t(y0), 0, 0) < 0) {
                    out.problem = t.Damaged();
                    return out;
                }
                // Tiles start on a byte: their width is a multiple of 8.
                const size_t at = size_t(x0) * bits / 8;
                const size_t n = std::min(tileRow, packed - at);
                for (uint32_t r = 0; r < th; ++r)
                    std::copy_n(tile.data() + r * tileRow, n, band.data() + r * packed + at);
            }
            for (int32_t r = 0; r < int32_t(th) && y0 + r < h; ++r) {
                unpack(band.data() + size_t(r) * packed);
                if (!sink.PutRow(y0 + r, row.data(), out.problem))
                    return out;
            }
            if (!Progress(sink, y0, h)) {
                out.result = DecodeOutcome::Cancelled;
                return out;
            }
        }
    } else {
        std::vector<uint8_t> line(std::max<size_t>(packed, size_t(TIFFScanlineSize(tif))));
        for (int32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif, line.data(), uint32_t(y), 0) < 0) {
                out.problem = t.Damaged();
                return out;
            }
            unpack(line.data());
            if (!sink.PutRow(y, row.data(), out.problem))
                return out;
            if ((y & 63) == 0 && !Progress(sink, y, h)) {
                out.result = DecodeOutcome::Cancelled;
                return out;
            }
        }
    }
    out.result = DecodeOutcome::Done;
    return out;
}

// Everything else through libtiff's RGBA reader, in bands of rows, composed
// over white into 24 bits.
DecodeOutcome DecodeRgba(const Tiff& t, DecodedLayout& layout, CPictureSink& sink) {
    TIFF* tif = t.tif.get();
    DecodeOutcome out;
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) {
        out.problem = std::string("its TIFF layout is not one Ostrel can show (") + message + ")";
        return out;
    }
    layout.bitCount = 24;
    // The sink refuses a picture too large before anything its size is allocated.
    if (!sink.Begin(layout, out.problem))
        return out;
    struct RgbaImage {
        TIFFRGBAImage img{};
        bool begun = false;
        ~RgbaImage() {
            if (begun)
                TIFFRGBAImageEnd(&img);
        }
    } rgba;
    TIFFRGBAImage& img = rgba.img;
    rgba.begun = TIFFRGBAImageBegin(&img, tif, 0, message) != 0;
    if (!rgba.begun) {
        out.problem = t.Damaged();
        return out;
    }
    img.req_orientation = ORIENTATION_TOPLEFT;
    const int32_t w = layout.width, h = layout.height;
    uint32_t band = 0;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    band = uint32_t(std::clamp<uint64_t>(band, 1, kMaxBandBytes / (uint64_t(w) * 4 + 1) + 1));
    band = std::min(band, uint32_t(h));
    std::vector<uint32_t> raster(size_t(band) * size_t(w));
    std::vector<uint8_t> row(layout.RowBytes());
    out.result = DecodeOutcome::Done;
    for (int32_t y0 = 0; y0 < h && out.result == DecodeOutcome::Done; y0 += int32_t(band)) {
        const uint32_t n = std::min<uint32_t>(band, uint32_t(h - y0));
        img.row_offset = y0;
        img.col_offset = 0;
        if (!TIFFRGBAImageGet(&img, raster.data(), uint32_t(w), n)) {
            out = {DecodeOutcome::Failed, t.Damaged()};
            break;
        }
        for (uint32_t r = 0; r < n && out.result == DecodeOutcome::Done; ++r) {
            const uint32_t* p = raster.data() + size_t(r) * size_t(w);
            // The reader gives colours premultiplied by alpha: white fills the rest.
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t rest = 255 - TIFFGetA(p[x]);
                row[size_t(x) * 3] = uint8_t(std::min<uint32_t>(255, TIFFGetB(p[x]) + rest));
                row[size_t(x) * 3 + 1] = uint8_t(std::min<uint32_t>(255, TIFFGetG(p[x]) + rest));
                row[size_t(x) * 3 + 2] = uint8_t(std::min<uint32_t>(255, TIFFGetR(p[x]) + rest));
            }
            if (!sink.PutRow(y0 + int32_t(r), row.data(), out.problem))
                out.result = DecodeOutcome::Failed;
        }
        if (out.result == DecodeOutcome::Done && !Progress(sink, y0, h))
            out.result = DecodeOutcome::Cancelled;
    }
    return out;
}

DecodeOutcome Decode(std::FILE* file, CPictureSink& sink) {
    Tiff t;
    t.tif = OpenTiffFd(fileno(file), t.messages, kMaxSingleAlloc);
    if (!t.tif)
        return {DecodeOutcome::Failed, t.Damaged()};
    TIFF* tif = t.tif.get();
    uint32_t w = 0, h = 0;
    uint16_t bits = 1, samples = 1, photometric = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = PHOTOMETRIC_MINISWHITE;
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF)
        return {DecodeOutcome::Failed, "the TIFF picture has no valid size"};
    DecodedLayout layout;
    layout.width = int32_t(w);
    layout.height = int32_t(h);

    const bool small = samples == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
    if (small && photometric == PHOTOMETRIC_PALETTE) {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b))
            return {DecodeOutcome::Failed, t.Damaged()};
        const size_t n = size_t(1) << bits;
        // Some writers store 8-bit colour maps; a real 16-bit map has values past 255.
        const bool eight = std::all_of(r, r + n, [](uint16_t v) { return v < 256; }) &&
                           std::all_of(g, g + n, [](uint16_t v) { return v < 256; }) &&
                           std::all_of(b, b + n, [](uint16_t v) { return v < 256; });
        const int shift = eight ? 0 : 8;
        for (size_t i = 0; i < n; ++i)
            layout.palette.push_back(uint32_t(r[i] >> shift) << 16 | uint32_t(g[i] >> shift) << 8 |
                                     uint32_t(b[i] >> shift));
        layout.bitCount = 8;
        return DecodeIndexed(t, layout, bits, sink);
    }
    if (small && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE)) {
        const uint32_t max = (1u << bits) - 1;
        for (uint32_t i = 0; i <= max; ++i) {
            const uint32_t level =
                (photometric == PHOTOMETRIC_MINISWHITE ? max - i : i) * 255 / max;
            layout.palette.push_back(level * 0x010101);
        }
        layout.bitCount = 8;
        return DecodeIndexed(t, layout, bits, sink);
    }
    return DecodeRgba(t, layout, sink);
}

} // namespace

DecodeOutcome DecodeTiff(std::FILE* file, CPictureSink& sink) {
    try {
        return Decode(file, sink);
    } catch (const std::bad_alloc&) {
        return {DecodeOutcome::Failed, kNotEnoughMemory};
    }
}
