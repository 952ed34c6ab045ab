#include "platform/device_context.h"
#include "render/dib.h"

#include <algorithm>
#include <cstring>

int CDib::Draw(CDC* dc, const CRect& dest, const CRect& source) {
    if (!m_pInfo || !dc)
        return 0;
    // Top-down pictures store a negative height in an info header (the
    // 12-byte core header has no such form). The blits measure rows by the
    // picture's true height, so the sign must not leak into their arguments.
    uint32_t biSize = 0;
    int32_t biHeight = 0;
    std::memcpy(&biSize, m_pInfo.get(), 4);
    std::memcpy(&biHeight, m_pInfo.get() + 8, 4);
    const bool topDown = biSize >= 16 && biHeight < 0;
    const int64_t height = GetHeight();

    const std::vector<PaletteEntry>* previous = nullptr;
    if (m_pPalette)
        previous = dc->SelectPalette(m_pPalette.get(), true);
    dc->SetStretchBltMode(COLORONCOLOR);

    const int32_t destWidth = dest.Width(), destHeight = dest.Height();
    const int32_t srcWidth = source.Width(), srcHeight = source.Height();
    int result = 0;
    if (destWidth == srcWidth && destHeight == srcHeight) {
        // The unscaled blit counts rows from the picture's bottom.
        result = dc->SetDIBitsToDevice(dest.left, dest.top, uint32_t(std::max(0, destWidth)),
                                       uint32_t(std::max(0, destHeight)), source.left,
                                       int32_t(height - source.bottom), 0, uint32_t(height),
                                       m_pBits.get(), m_nBitsSize, m_pInfo.get(), m_nInfoSize);
    } else {
        // The stretched blit counts rows from the picture's origin: the bottom
        // row of a bottom-up picture, the top row of a top-down one.
        const int32_t ySrc = topDown ? source.top : int32_t(height - source.bottom);
        result = dc->StretchDIBits(dest.left, dest.top, destWidth, destHeight, source.left, ySrc,
                                   srcWidth, srcHeight, m_pBits.get(), m_nBitsSize, m_pInfo.get(),
                                   m_nInfoSize, SRCCOPY);
    }
    if (m_pPalette)
        dc->SelectPalette(previous, true);
    return result;
}
