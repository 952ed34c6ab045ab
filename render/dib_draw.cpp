#include "render/dib_draw.h"

#include "platform/device_context.h"
#include "render/dib.h"

#include <algorithm>
#include <cstring>

int CDib::Draw(CDC* dc, const CRect& dest, const CRect& source) {
    return dc ? DrawDib(*dc, *this, dest, source) : 0;
}

int DrawDib(CDC& dc, const CDib& dib, const CRect& dest, const CRect& source) {
    const uint8_t* info = dib.m_pInfo.get();
    if (!info)
        return 0;
    // Top-down pictures store a negative height in an info header (the
    // 12-byte core header has no such form). The blits measure rows by the
    // picture's true height, so the sign must not leak into their arguments.
    uint32_t biSize = 0;
    int32_t biHeight = 0;
    std::memcpy(&biSize, info, 4);
    std::memcpy(&biHeight, info + 8, 4);
    const bool topDown = biSize >= 16 && biHeight < 0;
    const int64_t height = dib.GetHeight();

    const std::vector<PaletteEntry>* previous = nullptr;
    const std::vector<PaletteEntry>* palette = dib.m_pPalette.get();
    if (palette)
        previous = dc.SelectPalette(palette, true);
    dc.SetStretchBltMode(COLORONCOLOR);

    const int32_t destWidth = dest.Width(), destHeight = dest.Height();
    const int32_t srcWidth = source.Width(), srcHeight = source.Height();
    int result = 0;
    if (destWidth == srcWidth && destHeight == srcHeight) {
        // The unscaled blit counts rows from the picture's bottom.
        result = dc.SetDIBitsToDevice(
            dest.left, dest.top, uint32_t(std::max(0, destWidth)),
            uint32_t(std::max(0, destHeight)), source.left, int32_t(height - source.bottom), 0,
            uint32_t(height), dib.m_pBits.get(), dib.GetBitsSize(), info, dib.GetInfoSize());
    } else {
        // The stretched blit counts rows from the picture's origin: the bottom
        // row of a bottom-up picture, the top row of a top-down one.
        const int32_t ySrc = topDown ? source.top : int32_t(height - source.bottom);
        result = dc.StretchDIBits(dest.left, dest.top, destWidth, destHeight, source.left, ySrc,
                                  srcWidth, srcHeight, dib.m_pBits.get(), dib.GetBitsSize(), info,
                                  dib.GetInfoSize(), SRCCOPY);
    }
    if (palette)
        dc.SelectPalette(previous, true);
    return result;
}
