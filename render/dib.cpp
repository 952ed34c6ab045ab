#include "render/dib.h"

#include "platform/dib_decoder.h"

#include <new>
#include <sys/stat.h>

namespace {

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Where the palette's entries lie in the header block. They are RGBQUADs
// from byte 40, whatever the header's size, and their number is biClrUsed
// taken as a 16-bit count or, when it is 0, 2, 16 or 256 by the bit count,
// none for true colour. The 12-byte OS/2 header has neither field at those
// offsets (its bit count is at byte 10, and there is no biClrUsed), so its
// table is taken where it is: RGBTRIPLEs right after the header, as many as
// the bit count allows. OS/2 headers shorter than 36 bytes end before
// biClrUsed.
struct ColourTable {
    size_t count = 0;
    size_t offset = 40;   // [byte]
    size_t entrySize = 4; // [byte]
    size_t End() const { return offset + count * entrySize; }
};

ColourTable TableOf(const uint8_t* info) {
    const uint32_t size = U32(info);
    ColourTable table;
    if (size == 12) {
        table.offset = 12;
        table.entrySize = 3;
    }
    const uint32_t clrUsed = size >= 36 ? U32(info + 32) : 0;
    if (clrUsed != 0) {
        table.count = uint16_t(clrUsed);
        return table;
    }
    switch (U16(info + (size == 12 ? 10 : 14))) {
    case 1:
        table.count = 2;
        break;
    case 4:
        table.count = 16;
        break;
    case 8:
        table.count = 256;
        break;
    }
    return table;
}

} // namespace

CDib::~CDib() {
    Free();
}

void CDib::Free() {
    m_pBits.reset();
    m_pInfo.reset();
    m_pPalette.reset();
    m_nBitsSize = 0;
    m_nInfoSize = 0;
    m_nWidth = 0;
    m_nHeight = 0;
}

uint32_t CDib::Read(std::FILE* file) {
    Free();
    auto fail = [this] {
        Free();
        return uint32_t(0);
    };
    uint8_t fileHeader[14];
    if (!file || std::fread(fileHeader, 1, sizeof fileHeader, file) != sizeof fileHeader ||
        fileHeader[0] != 'B' || fileHeader[1] != 'M')
        return 0;
    const uint32_t offBits = U32(fileHeader + 10);
    struct stat st {};
    // The result is the file length in 32 bits, like the file's own offsets.
    if (fstat(fileno(file), &st) != 0 || st.st_size > off_t(UINT32_MAX) || offBits < 14 ||
        offBits > st.st_size)
        return 0;
    const size_t length = size_t(st.st_size);

    // The header bytes and 1024 zero bytes, room for a full 256-entry colour table.
    const size_t headerBytes = offBits - 14;
    m_nInfoSize = size_t(offBits) + 1010;
    m_pInfo.reset(new (std::nothrow) uint8_t[m_nInfoSize]());
    if (!m_pInfo || std::fread(m_pInfo.get(), 1, headerBytes, file) != headerBytes)
        return fail();
    // The info header must end before the pixel data, and the palette's
    // entries must lie inside the header block.
    if (U32(m_pInfo.get()) > headerBytes || TableOf(m_pInfo.get()).End() > m_nInfoSize)
        return fail();

    // The pixel block maps the file, so a scan of any size opens at once and
    // only the rows drawn are read; where it cannot be mapped, it is read.
    // Every byte comes from the file, so the copy is not zero-filled first.
    m_nBitsSize = length - offBits;
    if (!m_pBits.Map(fileno(file), offBits, m_nBitsSize)) {
        uint8_t* bits = m_pBits.Allocate(m_nBitsSize);
        if (!bits || std::fread(bits, 1, m_nBitsSize, file) != m_nBitsSize)
            return fail();
    }

    // Keep only what the blits can draw: the same reader decides for both.
    CDibDecoder decoder;
    if (!decoder.Open(m_pInfo.get(), m_nInfoSize, m_pBits.get(), m_nBitsSize))
        return fail();
    m_nWidth = decoder.Width();
    m_nHeight = decoder.Height();
    BuildPalette();
    return uint32_t(length);
}

bool CDib::BuildPalette() {
    if (!m_pInfo)
        return false;
    const ColourTable table = TableOf(m_pInfo.get());
    if (table.count == 0)
        return true;
    if (table.End() > m_nInfoSize)
        return false;
    try {
        auto palette = std::make_unique<std::vector<PaletteEntry>>(table.count);
        const uint8_t* entry = m_pInfo.get() + table.offset;
        for (PaletteEntry& pe : *palette) {
            pe.peRed = entry[2];
            pe.peGreen = entry[1];
            pe.peBlue = entry[0];
            entry += table.entrySize;
        }
        m_pPalette = std::move(palette);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int32_t CDib::GetWidth() const {
    return m_pInfo ? m_nWidth : 0;
}

int32_t CDib::GetHeight() const {
    return m_pInfo ? m_nHeight : 0;
}
