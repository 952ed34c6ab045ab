#include "picture/picture_decoder.h"

#include <csetjmp>
#include <new>
#include <png.h>

namespace {

struct PngReader {
    std::FILE* file = nullptr;
    bool endedEarly = false;
    std::string problem;
};

void ReadData(png_structp png, png_bytep data, size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, reader->file) != length) {
        reader->endedEarly = true;
        png_error(png, "ends early");
    }
}

void OnError(png_structp png, png_const_charp message) {
    auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
    if (reader->problem.empty())
        reader->problem = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// What is known before the first row, kept out of the frame that jumps.
struct PngState {
    DecodedLayout layout;
    bool alpha = false; // rows are BGRA, composed over white before they are kept
    int passes = 1;
    std::vector<uint8_t> row;
};

void ComposeOverWhite(std::vector<uint8_t>& row) {
    for (size_t i = 0; i + 4 <= row.size(); i += 4) {
        const uint32_t c = OverWhite(row[i + 2], row[i + 1], row[i], row[i + 3]);
        row[i] = uint8_t(c);
        row[i + 1] = uint8_t(c >> 8);
        row[i + 2] = uint8_t(c >> 16);
        row[i + 3] = 255;
    }
}

// Sets the transforms so that libpng's rows are the bitmap's rows.
void Prepare(png_structp png, png_infop info, PngState& s) {
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF)
        png_error(png, "the picture is too large");
    s.layout.width = int32_t(w);
    s.layout.height = int32_t(h);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS);
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_colorp plte = nullptr;
        int n = 0;
        png_get_PLTE(png, info, &plte, &n);
        png_bytep alphas = nullptr;
        int nAlpha = 0;
        if (trns)
            png_get_tRNS(png, info, &alphas, &nAlpha, nullptr);
        for (int i = 0; i < n; ++i)
            s.layout.palette.push_back(
                OverWhite(plte[i].red, plte[i].green, plte[i].blue, i < nAlpha ? alphas[i] : 255));
        // Indexes past the table's end show black, as in a bitmap.
        s.layout.palette.resize(size_t(1) << depth, 0);
        s.layout.bitCount = 8;
        png_set_packing(png);
    } else if (colour == PNG_COLOR_TYPE_GRAY && !trns && depth < 8) {
        // Each level an index, so that the cache keeps the picture's few bits.
        const uint32_t max = (1u << depth) - 1;
        for (uint32_t i = 0; i <= max; ++i)
            s.layout.palette.push_back(i * 255 / max * 0x010101);
        s.layout.bitCount = 8;
        png_set_packing(png);
    } else if (colour == PNG_COLOR_TYPE_GRAY && !trns) {
        s.layout.SetGrey();
        png_set_strip_16(png);
    } else {
        s.alpha = (colour & PNG_COLOR_MASK_ALPHA) || trns;
        s.layout.bitCount = s.alpha ? 32 : 24;
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
    }
    if (interlace != PNG_INTERLACE_NONE)
        s.passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != s.layout.RowBytes())
        png_error(png, "unexpected row layout");
}

DecodeOutcome Decode(png_structp png, png_infop info, PngReader& reader, PngState& s,
                     CPictureSink& sink) {
    DecodeOutcome out;
    if (setjmp(png_jmpbuf(png))) {
        out.problem = reader.endedEarly ? "the PNG data ends early"
                                        : "the PNG data is damaged (" + reader.problem + ")";
        return out;
    }
    png_read_info(png, info);
    Prepare(png, info, s);
    if (!sink.Begin(s.layout, out.problem))
        return out;
    s.row.assign(s.layout.RowBytes(), 0);
    const int32_t h = s.layout.height;
    const uint64_t total = uint64_t(h) * uint64_t(s.passes + (s.passes > 1 && s.alpha));
    uint64_t done = 0;
    for (int pass = 0; pass < s.passes; ++pass) {
        for (int32_t y = 0; y < h; ++y, ++done) {
            // Later passes of an interlaced picture fill in the rows of earlier ones.
            if (pass > 0 && !sink.GetRow(y, s.row.data(), out.problem))
                return out;
            png_read_row(png, s.row.data(), nullptr);
            if (s.alpha && s.passes == 1)
                ComposeOverWhite(s.row);
            if (!sink.PutRow(y, s.row.data(), out.problem))
                return out;
            if ((y & 63) == 0 && !sink.Progress(done, total)) {
                out.result = DecodeOutcome::Cancelled;
                return out;
            }
        }
    }
    if (s.alpha && s.passes > 1) {
        for (int32_t y = 0; y < h; ++y, ++done) {
            if (!sink.GetRow(y, s.row.data(), out.problem))
                return out;
            ComposeOverWhite(s.row);
            if (!sink.PutRow(y, s.row.data(), out.problem))
                return out;
        }
    }
    png_read_end(png, nullptr);
    out.result = DecodeOutcome::Done;
    return out;
}

} // namespace

DecodeOutcome DecodePng(std::FILE* file, CPictureSink& sink) {
    PngReader reader;
    reader.file = file;
    std::rewind(file);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return {DecodeOutcome::Failed, "there is not enough memory to read it"};
    }
    png_set_read_fn(png, &reader, ReadData);
    // Not even a hostile header may make libpng ask for more than a row's worth.
    png_set_chunk_malloc_max(png, 64u << 20);
    // Text, colour profiles and the like are of no use to a map; skipped,
    // a chunk that claims hundreds of megabytes is read past, not kept
    // (libpng only warns about a chunk over the limit above).
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#ifdef OSTREL_FUZZING
    // Mutated inputs would hardly ever get past the checksums.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    PngState state;
    DecodeOutcome out;
    try {
        out = Decode(png, info, reader, state, sink);
    } catch (const std::bad_alloc&) {
        out = {DecodeOutcome::Failed, kNotEnoughMemory};
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}
