#pragma once

#include "platform/gdi_types.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PaletteEntry;

// DrawText formats [flags]. Without DT_SINGLELINE the text is laid out from
// the top, so DT_VCENTER and DT_BOTTOM only act together with it.
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_TOP = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_VCENTER = 0x4;
constexpr uint32_t DT_BOTTOM = 0x8;
constexpr uint32_t DT_SINGLELINE = 0x20;

// Background modes for text.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Stretch modes. Every mode stretches by picking the nearest source pixel.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;

// Raster operation of BitBlt and StretchDIBits; the only one we draw with.
constexpr uint32_t SRCCOPY = 0x00CC0020;

// GetPixel outside the surface or the clip.
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Tests watch which source rectangles the DIB blits decode [picture pixels,
// origin top-left]; an empty hook watches nothing.
using DibDecodeHook = std::function<void(const CRect& source)>;
void SetDibDecodeHook(DibDecodeHook hook);

// A font by pixel height with the default sans face. The height is the line
// pitch of DrawText (the cell height); the glyphs are sized to fit it.
// Height 0 asks for the default size (the application font's line height);
// a negative height counts as its magnitude.
class CFont {
public:
    CFont();
    explicit CFont(int32_t height); // [pixel]

    int32_t Height() const { return m_nHeight; } // [pixel], never 0
    const QFont& Font() const { return m_font; }

private:
    int32_t m_nHeight = 0;
    QFont m_font;
};

// Size record of a bitmap, as GetBitmap fills it.
struct BITMAP {
    int32_t bmWidth = 0;  // [pixel]
    int32_t bmHeight = 0; // [pixel]
};

// A device-dependent bitmap: a QImage in the surface's format.
class CBitmap {
public:
    // Loads a picture from a file or Qt resource path (":/world_map.bmp").
    bool LoadBitmap(const QString& path);
    // A white bitmap of the given size [pixel], as CreateCompatibleBitmap.
    [[nodiscard]] bool CreateCompatibleBitmap(int32_t cx, int32_t cy);
    bool IsNull() const { return m_image.isNull(); }
    CSize GetSize() const { return {m_image.width(), m_image.height()}; } // [pixel]
    // False, record untouched, while nothing is loaded.
    bool GetBitmap(BITMAP* bm) const;

    QImage& Image() { return m_image; }
    const QImage& Image() const { return m_image; }

private:
    QImage m_image;
};

// A device context over a QImage (ARGB32 or RGB32) with the drawing rules of
// the classic Windows device context:
// - logical coordinates land at device = logical + viewport origin;
// - the clip rectangle is in device pixels, always within the surface;
// - lines exclude their end point; ellipses are outlines only (no brushes);
// - text is core bytes decoded as Latin-1, drawn opaque on white in black
//   until SetBkMode / SetBkColor / SetTextColor say otherwise.
class CDC {
public:
    // A context with no surface; every drawing call does nothing.
    CDC() = default;
    // Draws into `surface`, which must outlive the context; clip = the whole
    // surface, origin (0, 0).
    explicit CDC(QImage* surface);
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Memory context: draws into a 1 x 1 image of its own until a bitmap is
    // selected. `compatible` may be null.
    [[nodiscard]] bool CreateCompatibleDC(const CDC* compatible);
    // Selects a bitmap of a memory context (null selects the context's own
    // image again) and returns the one selected before (null for its own).
    // The bitmap must stay alive while it is selected.
    CBitmap* SelectBitmap(CBitmap* bitmap);

    QImage* Surface() const { return m_pSurface; }

    // Coordinates and clipping.
    CPoint SetViewportOrg(CPoint origin); // returns the previous origin
    CPoint GetViewportOrg() const { return m_ptOrigin; }
    // Replaces the clip by `rect` [device pixels], cut to the surface.
    void SetClipRect(const CRect& rect);
    // The clip in logical coordinates.
    CRect GetClipBox() const;

    // Drawing objects; each Select returns the one selected before.
    CPen SelectPen(const CPen& pen);
    CFont SelectFont(const CFont& font);
    const std::vector<PaletteEntry>* SelectPalette(const std::vector<PaletteEntry>* palette,
                                                   bool bForceBackground);
    COLORREF SetTextColor(COLORREF color);
    COLORREF SetBkColor(COLORREF color);
    int SetBkMode(int mode);
    int SetStretchBltMode(int mode);
    int GetStretchBltMode() const { return m_nStretchMode; }

    // Pixels, fills and figures, all in logical coordinates.
    void FillSolidRect(const CRect& rect, COLORREF color);
    void FillSolidRect(int32_t x, int32_t y, int32_t cx, int32_t cy, COLORREF color);
    bool SetPixelV(CPoint point, COLORREF color);
    bool SetPixelV(int32_t x, int32_t y, COLORREF color) { return SetPixelV({x, y}, color); }
    COLORREF GetPixel(CPoint point) const;
    COLORREF GetPixel(int32_t x, int32_t y) const { return GetPixel({x, y}); }
    CPoint MoveTo(CPoint point); // returns the previous current position
    CPoint MoveTo(int32_t x, int32_t y) { return MoveTo({x, y}); }
    // Line from the current position to `point`, `point` itself excluded;
    // `point` becomes the current position.
    bool LineTo(CPoint point);
    bool LineTo(int32_t x, int32_t y) { return LineTo({x, y}); }
    // Lines through `points` in order, as MoveTo and LineTo would draw them;
    // the last point becomes the current position.
    bool Polyline(const std::vector<CPoint>& points);
    // Outline of the ellipse inscribed in `rect` (right and bottom exclusive).
    bool Ellipse(const CRect& rect);

    // Text. Lines break at "\n" only. Returns the height of the drawn text
    // [pixel]; each line's background box is as wide as its text.
    int DrawText(const std::string& text, const CRect& rect, uint32_t format);
    // One line of UTF-8 text (names from GPX files), as DrawText draws it.
    int DrawTextUtf8(const std::string& text, const CRect& rect, uint32_t format);

    // Blits of device-independent bitmaps. `info` is the header block (info
    // header, masks, colour table) of `infoSize` bytes, `bits` the pixel data
    // of `bitsSize` bytes; colours are taken from the colour table
    // (DIB_RGB_COLORS). Only the part that lands inside the clip is decoded.
    //
    // Unscaled: (xSrc, ySrc) is the lower-left corner of the source rectangle
    // measured from the picture's bottom row, for bottom-up and top-down
    // pictures alike; the bits hold scan lines uStartScan..uStartScan+cLines-1
    // counted from the bottom (only uStartScan 0 is supported). Returns the
    // number of scan lines set, 0 on failure.
    int SetDIBitsToDevice(int32_t xDest, int32_t yDest, uint32_t w, uint32_t h, int32_t xSrc,
                          int32_t ySrc, uint32_t uStartScan, uint32_t cLines, const uint8_t* bits,
                          size_t bitsSize, const uint8_t* info, size_t infoSize);
    // Stretched, nearest pixel: (xSrc, ySrc) is the source rectangle's corner
    // at the picture's origin, the lower-left corner for bottom-up pictures
    // and the upper-left one for top-down pictures. Sizes must be positive
    // (no mirroring). Returns the number of source scan lines, 0 on failure.
    int StretchDIBits(int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                      const uint8_t* bits, size_t bitsSize, const uint8_t* info, size_t infoSize,
                      uint32_t rop);
    // Unscaled copy from another context (SRCCOPY only).
    bool BitBlt(int32_t x, int32_t y, int32_t cx, int32_t cy, const CDC* source, int32_t xSrc,
                int32_t ySrc, uint32_t rop);

protected:
    // Points the context at another surface and resets the clip to all of it.
    void Attach(QImage* surface);

private:
    // The clip cut to the surface; empty when there is nothing to draw on.
    CRect DeviceClip() const;
    int DrawLines(const std::vector<QString>& lines, const CRect& rect, uint32_t format);
    CRect ToDevice(const CRect& rect) const;
    void FillDevice(const CRect& rect, COLORREF color);

    QImage* m_pSurface = nullptr;
    QImage m_ownImage; // a memory context's image while no bitmap is selected
    CBitmap* m_pBitmap = nullptr;
    bool m_bMemory = false;
    CPoint m_ptOrigin;
    CRect m_rcClip; // [device pixels]
    CPoint m_ptCurrent;
    CPen m_pen;
    CFont m_font;
    const std::vector<PaletteEntry>* m_pPalette = nullptr;
    COLORREF m_crText = RGB(0, 0, 0);
    COLORREF m_crBk = RGB(255, 255, 255);
    int m_nBkMode = OPAQUE;
    int m_nStretchMode = BLACKONWHITE;
};
