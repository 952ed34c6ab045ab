#pragma once

#include "platform/gdi_types.h"

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
    bool Open(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize);

    int32_t Width() const { return m_width; }   // [pixel]
    int32_t Height() const { return m_height; } // [pixel], always positive

    // Decodes `rect` (picture coordinates: origin top-left, y down; clipped
    // to the picture) into 0xFFRRGGBB pixels. Row r of the rectangle lands
    // at dst + r * dstStride (stride in pixels). Pixels outside the picture
    // are left untouched.
    void DecodeRect(const CRect& rect, uint32_t* dst, size_t dstStride) const;

private:
    int32_t m_width = 0;
    int32_t m_height = 0;
    // further state is the implementation's
};
