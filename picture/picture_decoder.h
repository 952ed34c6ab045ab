#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The layout a decoder gives its rows in, as the rows of a bitmap: 8 bits
// with a palette (indexed and grey pictures), 24 bits (blue, green, red) or
// 32 bits (blue, green, red, and a byte the blits ignore).
struct DecodedLayout {
    int32_t width = 0;  // [pixel]
    int32_t height = 0; // [pixel]
    uint16_t bitCount = 24;
    std::vector<uint32_t> palette; // 0xRRGGBB, 8-bit pictures only
    size_t RowBytes() const { return size_t(width) * (bitCount / 8); }
    // 8 bits a pixel, each its own grey level.
    void SetGrey() {
        bitCount = 8;
        palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i)
            palette[i] = i * 0x010101;
    }
};

// Where a decoder puts the picture, one row at a time from the top. Each
// call may refuse; the decoder then stops and passes the sink's reason on.
class CPictureSink {
public:
    virtual ~CPictureSink() = default;
    // Before the first row. False with `problem` set when the picture
    // cannot be taken (too large, no room).
    virtual bool Begin(const DecodedLayout& layout, std::string& problem) = 0;
    // Where row y may be decoded in place (RowBytes() bytes), to be put
    // next with PutRow(y, that place); null when the sink has no such place.
    virtual uint8_t* RowBuffer(int32_t /*y*/) { return nullptr; }
    // Row y (0 is the top) of RowBytes() bytes.
    virtual bool PutRow(int32_t y, const uint8_t* row, std::string& problem) = 0;
    // Row y as put before; interlaced pictures are filled in several passes.
    virtual bool GetRow(int32_t y, uint8_t* row, std::string& problem) = 0;
    // Called as the work goes on; false cancels the decode.
    virtual bool Progress(uint64_t done, uint64_t total) = 0;
};

struct DecodeOutcome {
    enum Result { Done, Failed, Cancelled } result = Failed;
    std::string problem; // why it failed, for "... is not a picture Ostrel can show: <problem>."
};

// The problem of a decode that ran out of memory.
inline constexpr const char* kNotEnoughMemory = "there is not enough memory to decode it";

// Each decodes the whole file (read from its start) into `sink`, row by row,
// never holding more than a band of rows.
DecodeOutcome DecodePng(std::FILE* file, CPictureSink& sink);
DecodeOutcome DecodeJpeg(std::FILE* file, CPictureSink& sink);
DecodeOutcome DecodeTiff(std::FILE* file, CPictureSink& sink);

// The `width` indexes of `bits` (1, 2, 4 or 8) each in `packed`, from the
// left with the high bits first as TIFF and bitmaps keep them, one a byte.
inline void UnpackIndexes(const uint8_t* packed, unsigned bits, size_t width, uint8_t* indexes) {
    const unsigned mask = (1u << bits) - 1;
    for (size_t x = 0; x < width; ++x) {
        const size_t bit = x * bits;
        indexes[x] = uint8_t(packed[bit / 8] >> (8 - bits - bit % 8) & mask);
    }
}

// `argb` (alpha in the top byte) over white, as 0xRRGGBB.
inline uint32_t OverWhite(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    auto mix = [a](uint32_t c) { return (c * a + 255u * (255u - a) + 127u) / 255u; };
    return mix(r) << 16 | mix(g) << 8 | mix(b);
}
