#pragma once

#include <cstdint>

// Small drawing value types shared by the core and the drawing layer. They
// carry no platform objects, so the core can hold pens and rectangles
// without linking any toolkit.

using COLORREF = uint32_t; // 0x00BBGGRR

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) {
    return uint8_t(c & 0xFF);
}
constexpr uint8_t GetGValue(COLORREF c) {
    return uint8_t((c >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(COLORREF c) {
    return uint8_t((c >> 16) & 0xFF);
}

struct CPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const CPoint&, const CPoint&) = default;
};

struct CSize {
    int32_t cx = 0;
    int32_t cy = 0;
    friend bool operator==(const CSize&, const CSize&) = default;
};

// Right and bottom are exclusive, as everywhere in the drawing layer.
struct CRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    void DeflateRect(int32_t d) {
        left += d;
        top += d;
        right -= d;
        bottom -= d;
    }
    friend bool operator==(const CRect&, const CRect&) = default;
};

// A solid pen: a width in pixels and a colour.
struct CPen {
    int32_t width = 1;
    COLORREF color = 0;
    friend bool operator==(const CPen&, const CPen&) = default;
};
