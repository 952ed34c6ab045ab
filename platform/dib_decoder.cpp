#include "platform/dib_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

// Longer sides are not pictures but hostile headers; this keeps every
// coordinate sum well inside 32 bits. [pixel]
constexpr int64_t kMaxSide = int64_t(1) << 20;
// Rows of an RLE picture between two entries of its index: decoding starts at
// most this many rows before the first row asked for.
constexpr int32_t kRleBand = 16;

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

uint32_t CDibDecoder::Channel::Scale(uint32_t pixel) const {
    const uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8)
        return v >> (bits - 8);
    if (bits == 0)
        return 0;
    // Short channels are stretched so that their largest value is full intensity.
    const uint32_t max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
}

// Walks the RLE stream from `s` until the end-of-bitmap code, the end of the
// data or stored row `yEnd`. `onRow(state)` sees the cursor each time it has
// moved to a later row; `put(y, x, index)` gets every pixel the stream sets,
// including those past the right edge, which the caller drops. Pixels the
// stream skips (delta, early end of line or of bitmap) are never put.
template <class OnRow, class Put>
void CDibDecoder::RunRle(RleState s, int32_t yEnd, OnRow onRow, Put put) const {
    const uint8_t* p = m_pBits;
    const size_t n = m_nBitsSize;
    const bool rle4 = m_nCompression == BI_RLE4;
    auto nibble = [](uint8_t byte, int i) { return uint8_t(i & 1 ? byte & 15 : byte >> 4); };
    while (s.y < yEnd && s.pos + 2 <= n) {
        const uint8_t count = p[s.pos];
        const uint8_t code = p[s.pos + 1];
        s.pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(s.y, s.x + i, rle4 ? nibble(code, i) : code);
            s.x += count;
        } else if (code == 0) {
            s.x = 0;
            ++s.y;
            onRow(s);
        } else if (code == 1) {
            return;
        } else if (code == 2) {
            if (s.pos + 2 > n)
                return;
            s.x += p[s.pos];
            const uint8_t dy = p[s.pos + 1];
            s.pos += 2;
            if (dy > 0) {
                s.y += dy;
                onRow(s);
            }
        } else {
            // Absolute mode: `code` literal pixels, padded to a 16-bit boundary.
            const size_t bytes = rle4 ? (code + 1) / 2 : code;
            if (s.pos + bytes > n)
                return;
            for (int i = 0; i < code; ++i)
                put(s.y, s.x + i, rle4 ? nibble(p[s.pos + i / 2], i) : p[s.pos + i]);
            s.x += code;
            s.pos += (bytes + 1) & ~size_t(1);
        }
    }
}

bool CDibDecoder::Open(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize) {
    *this = CDibDecoder();
    if (!info || (!bits && bitsSize) || !ReadHeader(info, infoSize)) {
        *this = CDibDecoder();
        return false;
    }
    m_pBits = bits;
    m_nBitsSize = bitsSize;
    if (m_nCompression == BI_RLE8 || m_nCompression == BI_RLE4) {
        try {
            m_rleIndex.push_back({});
            int32_t band = 0;
            auto onRow = [&](const RleState& s) {
                if (s.y < m_height && s.y / kRleBand > band) {
                    band = s.y / kRleBand;
                    m_rleIndex.push_back(s);
                }
            };
            RunRle({}, m_height, onRow, [](int32_t, int64_t, uint8_t) {});
        } catch (const std::bad_alloc&) {
            *this = CDibDecoder();
            return false;
        }
        return true;
    }
    m_nStride = size_t((uint64_t(m_width) * m_nBitCount + 31) / 32 * 4);
    if (size_t(m_height) > bitsSize / m_nStride) {
        *this = CDibDecoder();
        return false;
    }
    return true;
}

// Three header layouts reach the blits: the 12-byte OS/2 core header (16-bit
// sizes, 3-byte colour entries), the Windows headers of 40, 52, 56, 108 and
// 124 bytes, and OS/2 v2 headers of 16 to 64 bytes, whose first 40 bytes
// have the Windows layout; fields such a header is too short to hold count
// as 0. The colour table follows the header; BI_BITFIELDS masks sit at byte
// 40 (inside the larger headers, right after the 40-byte one).
bool CDibDecoder::ReadHeader(const uint8_t* info, size_t infoSize) {
    if (infoSize < 4)
        return false;
    const uint32_t size = U32(info);
    if (size > infoSize)
        return false;
    int64_t width = 0;
    int64_t height = 0;
    uint16_t planes = 0;
    uint32_t clrUsed = 0;
    size_t entrySize = 4; // [byte] per colour table entry
    if (size == 12) {
        width = U16(info + 4);
        height = U16(info + 6);
        planes = U16(info + 8);
        m_nBitCount = U16(info + 10);
        m_nCompression = BI_RGB;
        entrySize = 3;
        if (m_nBitCount == 16 || m_nBitCount == 32)
            return false;
    } else if ((size >= 16 && size <= 64) || size == 108 || size == 124) {
        uint8_t h[40] = {};
        std::memcpy(h, info, std::min<size_t>(size, sizeof h));
        width = int32_t(U32(h + 4));
        height = int32_t(U32(h + 8));
        planes = U16(h + 12);
        m_nBitCount = U16(h + 14);
        m_nCompression = U32(h + 16);
        clrUsed = U32(h + 32);
    } else {
        return false;
    }
    if (planes != 1 || width <= 0 || width > kMaxSide || height == 0 || height > kMaxSide ||
        height < -kMaxSide)
        return false;
    m_bTopDown = height < 0;
    const uint16_t bpp = m_nBitCount;
    switch (m_nCompression) {
    case BI_RGB:
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            return false;
        break;
    case BI_RLE8:
    case BI_RLE4:
        if (bpp != (m_nCompression == BI_RLE8 ? 8 : 4) || m_bTopDown)
            return false;
        break;
    case BI_BITFIELDS:
        if (bpp != 16 && bpp != 32)
            return false;
        break;
    default:
        return false;
    }
    m_width = int32_t(width);
    m_height = int32_t(m_bTopDown ? -height : height);

    if (bpp <= 8) {
        // biClrUsed 0 means the full table; indices past the table are black.
        size_t count = size_t(1) << bpp;
        if (clrUsed != 0 && clrUsed < count)
            count = clrUsed;
        if (size + count * entrySize > infoSize)
            return false;
        m_colors.fill(0xFF000000);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* e = info + size + i * entrySize;
            m_colors[i] = 0xFF000000 | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
        }
    } else if (bpp != 24) {
        uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F}; // 5-5-5 by default
        if (m_nCompression == BI_BITFIELDS) {
            const size_t at = std::min<size_t>(size, 40);
            if (at + 12 > infoSize)
                return false;
            for (int i = 0; i < 3; ++i)
                masks[i] = U32(info + at + 4 * i);
        } else if (bpp == 32) {
            masks[0] = 0xFF0000;
            masks[1] = 0x00FF00;
            masks[2] = 0x0000FF;
        }
        Channel* channels[3] = {&m_red, &m_green, &m_blue};
        for (int i = 0; i < 3; ++i) {
            Channel& c = *channels[i];
            c.mask = masks[i];
            c.shift = masks[i] ? std::countr_zero(masks[i]) : 0;
            c.bits = std::bit_width(masks[i] >> c.shift);
        }
    }
    return true;
}

void CDibDecoder::DecodeRect(const CRect& rect, uint32_t* dst, size_t dstStride) const {
    const int32_t x0 = std::max(rect.left, 0);
    const int32_t x1 = std::min(rect.right, m_width);
    const int32_t y0 = std::max(rect.top, 0);
    const int32_t y1 = std::min(rect.bottom, m_height);
    if (x0 >= x1 || y0 >= y1)
        return;
    auto at = [&](int64_t x, int64_t y) {
        return dst + size_t(y - rect.top) * dstStride + size_t(x - rect.left);
    };
    if (m_nCompression == BI_RLE8 || m_nCompression == BI_RLE4) {
        // The stream runs bottom-up: stored row s is picture row height - 1 - s.
        const int32_t s0 = m_height - y1;
        const int32_t s1 = m_height - y0;
        auto next = std::upper_bound(m_rleIndex.begin(), m_rleIndex.end(), s0,
                                     [](int32_t y, const RleState& s) { return y < s.y; });
        auto put = [&](int32_t s, int64_t x, uint8_t index) {
            if (s >= s0 && x >= x0 && x < x1)
                *at(x, int64_t(m_height) - 1 - s) = m_colors[index];
        };
        RunRle(
            *(next - 1), s1, [](const RleState&) {}, put);
        return;
    }
    for (int32_t y = y0; y < y1; ++y) {
        const size_t stored = size_t(m_bTopDown ? y : m_height - 1 - y);
        DecodePixels(
            m_pBits + stored * m_nStride, [x0](size_t i) { return size_t(x0) + i; },
            size_t(x1 - x0), at(x0, y));
    }
}

bool CDibDecoder::DecodeColumns(int32_t y, const int32_t* columns, size_t count,
                                uint32_t* out) const {
    if (m_nCompression == BI_RLE8 || m_nCompression == BI_RLE4)
        return false;
    const size_t stored = size_t(m_bTopDown ? y : m_height - 1 - y);
    DecodePixels(
        m_pBits + stored * m_nStride, [columns](size_t i) { return size_t(columns[i]); }, count,
        out);
    return true;
}

template <class Column>
void CDibDecoder::DecodePixels(const uint8_t* row, Column column, size_t count,
                               uint32_t* out) const {
    auto pack = [this](uint32_t v) {
        return 0xFF000000 | m_red.Scale(v) << 16 | m_green.Scale(v) << 8 | m_blue.Scale(v);
    };
    switch (m_nBitCount) {
    case 1:
        for (size_t i = 0; i < count; ++i) {
            const size_t x = column(i);
            *out++ = m_colors[(row[x >> 3] >> (7 - (x & 7))) & 1];
        }
        break;
    case 4:
        for (size_t i = 0; i < count; ++i) {
            const size_t x = column(i);
            *out++ = m_colors[(row[x >> 1] >> (x & 1 ? 0 : 4)) & 15];
        }
        break;
    case 8:
        for (size_t i = 0; i < count; ++i)
            *out++ = m_colors[row[column(i)]];
        break;
    case 16:
        for (size_t i = 0; i < count; ++i)
            *out++ = pack(U16(row + 2 * column(i)));
        break;
    case 24:
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = row + 3 * column(i);
            *out++ = 0xFF000000 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
        break;
    case 32:
        // The common layout, 8 bits a channel where BI_RGB puts them, needs no scaling.
        if (m_red.mask == 0xFF0000 && m_green.mask == 0xFF00 && m_blue.mask == 0xFF) {
            for (size_t i = 0; i < count; ++i)
                *out++ = 0xFF000000 | U32(row + 4 * column(i));
            break;
        }
        for (size_t i = 0; i < count; ++i)
            *out++ = pack(U32(row + 4 * column(i)));
        break;
    }
}
