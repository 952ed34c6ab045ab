#include "picture/picture_decoder.h"

#include <csetjmp>
#include <jpeglib.h>
#include <new>

#include <jerror.h>

namespace {

// More than this the decoder may not take; only progressive pictures need
// that much (their whole coefficients), and a hostile header may ask for
// any amount. [byte]
constexpr long kMaxDecoderMemory = 1l << 30;

struct JpegErrors {
    jpeg_error_mgr mgr{};
    std::jmp_buf jump{};
    bool endedEarly = false;
    std::string problem;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    char text[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, text);
    errors->problem = text;
    std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    // libjpeg pads a cut-off file with grey and goes on; a cut-off header of
    // 30000 x 30000 would then be "decoded" for minutes.
    const int code = cinfo->err->msg_code;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) {
        errors->endedEarly = true;
        std::longjmp(errors->jump, 1);
    }
}

struct JpegState {
    DecodedLayout layout;
    bool cmyk = false;
    std::vector<uint8_t> row;
};

DecodeOutcome Decode(jpeg_decompress_struct& cinfo, JpegErrors& errors, JpegState& s,
                     CPictureSink& sink) {
    DecodeOutcome out;
    if (setjmp(errors.jump)) {
        out.problem = errors.endedEarly ? "the JPEG data ends early"
                                        : "the JPEG data is damaged (" + errors.problem + ")";
        return out;
    }
    jpeg_read_header(&cinfo, TRUE);
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    s.layout.width = int32_t(cinfo.image_width);
    s.layout.height = int32_t(cinfo.image_height);
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        cinfo.out_color_space = JCS_GRAYSCALE;
        s.layout.SetGrey();
    } else if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        cinfo.out_color_space = JCS_CMYK;
        s.cmyk = true;
    } else {
        cinfo.out_color_space = JCS_EXT_BGR;
    }
    if (!sink.Begin(s.layout, out.problem))
        return out;
    jpeg_start_decompress(&cinfo);
    s.row.assign(size_t(cinfo.output_width) * size_t(cinfo.output_components), 0);
    for (int32_t y = 0; y < s.layout.height; ++y) {
        // CMYK rows are wider than the bitmap's: they are converted in s.row.
        uint8_t* place = s.cmyk ? nullptr : sink.RowBuffer(y);
        JSAMPROW rows[1] = {place ? place : s.row.data()};
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) {
            out.problem = "the JPEG data ends early";
            return out;
        }
        if (s.cmyk) {
            // Stored inverted, as Adobe writes CMYK JPEG.
            uint8_t* p = s.row.data();
            for (size_t i = 0, o = 0; i + 4 <= s.row.size(); i += 4, o += 3) {
                const uint32_t k = p[i + 3];
                const uint8_t c = p[i], m = p[i + 1], yl = p[i + 2];
                p[o] = uint8_t(yl * k / 255);
                p[o + 1] = uint8_t(m * k / 255);
                p[o + 2] = uint8_t(c * k / 255);
            }
        }
        if (!sink.PutRow(y, rows[0], out.problem))
            return out;
        if ((y & 63) == 0 && !sink.Progress(uint64_t(y), uint64_t(s.layout.height))) {
            out.result = DecodeOutcome::Cancelled;
            return out;
        }
    }
    jpeg_finish_decompress(&cinfo);
    out.result = DecodeOutcome::Done;
    return out;
}

} // namespace

DecodeOutcome DecodeJpeg(std::FILE* file, CPictureSink& sink) {
    std::rewind(file);
    jpeg_decompress_struct cinfo{};
    JpegErrors errors;
    cinfo.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = OnError;
    errors.mgr.emit_message = OnMessage;
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    JpegState state;
    DecodeOutcome out;
    try {
        out = Decode(cinfo, errors, state, sink);
    } catch (const std::bad_alloc&) {
        out = {DecodeOutcome::Failed, kNotEnoughMemory};
    }
    jpeg_destroy_decompress(&cinfo);
    return out;
}
