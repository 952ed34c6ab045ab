#pragma once

#include "platform/gdi_types.h"
#include "render/dib_bits.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

class CDC;

// One palette entry as the palette is built from the colour table.
struct PaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
};

// One bitmap file: the header block in memory (bytes 14..bfOffBits of the
// file and 1024 zero bytes) and the pixel block (the rest of the file,
// mapped where possible), with the palette built from the colour table.
class CDib {
public:
    CDib() = default;
    ~CDib();
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    void Free();
    // Reads the whole file from its current position. The file length on
    // success; 0, object empty, on any failure.
    [[nodiscard]] uint32_t Read(std::FILE* file);
    bool BuildPalette();
    // DrawDib onto `dc`; 0 without a context.
    int Draw(CDC* dc, const CRect& dest, const CRect& source);
    // The picture's size as the blits read the header [pixel]: the height is
    // positive for top-down rows too; both 0 when nothing is loaded.
    int32_t GetWidth() const;
    int32_t GetHeight() const;
    // The sizes of the two blocks [byte]; 0 when nothing is loaded.
    size_t GetBitsSize() const { return m_nBitsSize; }
    size_t GetInfoSize() const { return m_nInfoSize; }

    // Owned blocks (the header block zero-filled); null while nothing is loaded.
    CDibBits m_pBits;
    std::unique_ptr<uint8_t[]> m_pInfo;
    std::unique_ptr<std::vector<PaletteEntry>> m_pPalette;

private:
    size_t m_nBitsSize = 0; // [byte]
    size_t m_nInfoSize = 0; // [byte]
    int32_t m_nWidth = 0;   // [pixel]
    int32_t m_nHeight = 0;  // [pixel]
};
