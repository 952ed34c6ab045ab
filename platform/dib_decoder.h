#pragma once

#include "platform/gdi_types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Reads the pixels of a device-independent bitmap the way the platform's
// DIB blits read the same header: the info header (its biSize says where the
// colour table starts), BI_RGB at 1, 4, 8, 16, 24 and 32 bits, BI_BITFIELDS,
// BI_RLE8 and BI_RLE4, bottom-up and top-down rows. Only the rows and columns
// asked for are converted.
class CDibDecoder {
public:
    // `info` is the header block (info header, masks, colour table) of
    // `infoSize` bytes; `bits` the pixel data of `bitsSize` bytes. Both must
    // outlive the decoder. False when a blit would refuse the header or the
    // data is too short for the rows it describes.
    [[nodiscard]] bool Open(const uint8_t* info, size_t infoSize, const uint8_t* bits,
                            size_t bitsSize);

    int32_t Width() const { return m_width; }   // [pixel]
    int32_t Height() const { return m_height; } // [pixel], always positive

    // Decodes `rect` (picture coordinates: origin top-left, y down; clipped
    // to the picture) into 0xFFRRGGBB pixels. Row r of the rectangle lands
    // at dst + r * dstStride (stride in pixels). Pixels outside the picture
    // are left untouched.
    void DecodeRect(const CRect& rect, uint32_t* dst, size_t dstStride) const;
    // Decodes the pixels of row y (0 is the top) at `columns`, each a column
    // of the picture, into out[0 .. count): only those pixels are read, so a
    // picture drawn smaller costs what is shown. False, with nothing done,
    // for run-length pictures, whose rows DecodeRect decodes whole.
    bool DecodeColumns(int32_t y, const int32_t* columns, size_t count, uint32_t* out) const;

private:
    // One colour channel of a 16 or 32-bit pixel.
    struct Channel {
        uint32_t mask = 0;
        int shift = 0; // [bit] of the mask's lowest set bit
        int bits = 0;  // [bit] from the lowest to the highest set bit
        uint32_t Scale(uint32_t pixel) const;
    };
    // Where the RLE cursor stands before the code at `pos`: stored row y
    // (0 is the bottom row), column x.
    struct RleState {
        int32_t y = 0;
        int64_t x = 0;
        size_t pos = 0; // [byte]
    };

    bool ReadHeader(const uint8_t* info, size_t infoSize);
    // The `count` pixels of the stored row `row` at the columns column(0),
    // column(1), ... into `out`.
    template <class Column>
    void DecodePixels(const uint8_t* row, Column column, size_t count, uint32_t* out) const;
    template <class OnRow, class Put>
    void RunRle(RleState s, int32_t yEnd, OnRow onRow, Put put) const;

    int32_t m_width = 0;
    int32_t m_height = 0;
    bool m_bTopDown = false;
    uint16_t m_nBitCount = 0;
    uint32_t m_nCompression = 0;
    size_t m_nStride = 0; // [byte] of one stored row, uncompressed pictures only
    const uint8_t* m_pBits = nullptr;
    size_t m_nBitsSize = 0;               // [byte]
    std::array<uint32_t, 256> m_colors{}; // 0xFFRRGGBB; black past the table's end
    Channel m_red, m_green, m_blue;
    std::vector<RleState> m_rleIndex; // where the stream first enters each band of rows
};
