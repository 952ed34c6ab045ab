#include "platform/device_context.h"

#include "platform/dib_decoder.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

DibDecodeHook& DecodeHook() {
    static DibDecodeHook hook;
    return hook;
}

QRgb ToRgb(COLORREF c) {
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

QRect ToQRect(const CRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

CRect Intersect(const CRect& a, const CRect& b) {
    CRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
    return r.IsRectEmpty() ? CRect{} : r;
}

// Rectangles of blits may be far larger than any surface; sizes come in as
// unsigned or 64-bit values and are cut to the 32-bit plane here.
int32_t Clamp32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
}

QFont SansFont(int pixelSize) {
    QFont font = QGuiApplication::font();
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, pixelSize));
    return font;
}

// The line height of the application font: what a font of height 0 gets.
int32_t DefaultFontHeight() {
    static const int32_t height = std::max(1, QFontMetrics(QGuiApplication::font()).height());
    return height;
}

// Whether a header block describes a top-down picture (negative height in an
// info header; the 12-byte core header has no such form).
bool IsTopDown(const uint8_t* info, size_t infoSize) {
    if (infoSize < 12)
        return false;
    uint32_t size = 0;
    std::memcpy(&size, info, 4);
    if (size < 16)
        return false;
    int32_t height = 0;
    std::memcpy(&height, info + 8, 4);
    return height < 0;
}

void Decode(const CDibDecoder& decoder, const CRect& source, uint32_t* dst, size_t stride) {
    if (DecodeHook())
        DecodeHook()(source);
    decoder.DecodeRect(source, dst, stride);
}

} // namespace

void SetDibDecodeHook(DibDecodeHook hook) {
    DecodeHook() = std::move(hook);
}

CFont::CFont() : CFont(0) {}

CFont::CFont(int32_t height) {
    m_nHeight = height == 0 ? DefaultFontHeight() : std::abs(height);
    // The largest glyph size whose line fits the asked cell height.
    int pixelSize = m_nHeight;
    int lineHeight = QFontMetrics(SansFont(pixelSize)).height();
    if (lineHeight > m_nHeight)
        pixelSize = std::max(1, int(int64_t(pixelSize) * m_nHeight / lineHeight));
    while (pixelSize > 1 && QFontMetrics(SansFont(pixelSize)).height() > m_nHeight)
        --pixelSize;
    m_font = SansFont(pixelSize);
}

bool CBitmap::LoadBitmap(const QString& path) {
    QImage image(path);
    if (image.isNull())
        return false;
    m_image = image.convertToFormat(QImage::Format_RGB32);
    return true;
}

bool CBitmap::CreateCompatibleBitmap(int32_t cx, int32_t cy) {
    if (cx <= 0 || cy <= 0)
        return false;
    QImage image(cx, cy, QImage::Format_RGB32);
    if (image.isNull())
        return false;
    image.fill(Qt::white);
    m_image = image;
    return true;
}

bool CBitmap::GetBitmap(BITMAP* bm) const {
    if (!bm || m_image.isNull())
        return false;
    bm->bmWidth = m_image.width();
    bm->bmHeight = m_image.height();
    return true;
}

CDC::CDC(QImage* surface) {
    Attach(surface);
}

void CDC::Attach(QImage* surface) {
    m_pSurface = surface;
    if (m_pSurface && !m_pSurface->isNull() && m_pSurface->depth() != 32)
        *m_pSurface = m_pSurface->convertToFormat(QImage::Format_RGB32);
    m_rcClip = m_pSurface ? CRect{0, 0, m_pSurface->width(), m_pSurface->height()} : CRect{};
}

bool CDC::CreateCompatibleDC(const CDC*) {
    m_bMemory = true;
    m_ownImage = QImage(1, 1, QImage::Format_RGB32);
    m_ownImage.fill(Qt::white);
    m_pBitmap = nullptr;
    Attach(&m_ownImage);
    return true;
}

CBitmap* CDC::SelectBitmap(CBitmap* bitmap) {
    if (!m_bMemory)
        return nullptr;
    CBitmap* previous = m_pBitmap;
    m_pBitmap = bitmap;
    Attach(bitmap ? &bitmap->Image() : &m_ownImage);
    return previous;
}

CPoint CDC::SetViewportOrg(CPoint origin) {
    CPoint previous = m_ptOrigin;
    m_ptOrigin = origin;
    return previous;
}

void CDC::SetClipRect(const CRect& rect) {
    m_rcClip =
        m_pSurface ? Intersect(rect, {0, 0, m_pSurface->width(), m_pSurface->height()}) : CRect{};
}

CRect CDC::GetClipBox() const {
    CRect clip = DeviceClip();
    return {clip.left - m_ptOrigin.x, clip.top - m_ptOrigin.y, clip.right - m_ptOrigin.x,
            clip.bottom - m_ptOrigin.y};
}

CRect CDC::DeviceClip() const {
    if (!m_pSurface || m_pSurface->isNull() || m_pSurface->depth() != 32)
        return {};
    return Intersect(m_rcClip, {0, 0, m_pSurface->width(), m_pSurface->height()});
}

CRect CDC::ToDevice(const CRect& rect) const {
    return {rect.left + m_ptOrigin.x, rect.top + m_ptOrigin.y, rect.right + m_ptOrigin.x,
            rect.bottom + m_ptOrigin.y};
}

CPen CDC::SelectPen(const CPen& pen) {
    CPen previous = m_pen;
    m_pen = pen;
    return previous;
}

CFont CDC::SelectFont(const CFont& font) {
    CFont previous = m_font;
    m_font = font;
    return previous;
}

const std::vector<PaletteEntry>* CDC::SelectPalette(const std::vector<PaletteEntry>* palette,
                                                    bool) {
    // The surface is true colour: DIB_RGB_COLORS blits take their colours
    // from the colour table, so the palette is only remembered.
    return std::exchange(m_pPalette, palette);
}

COLORREF CDC::SetTextColor(COLORREF color) {
    return std::exchange(m_crText, color);
}

COLORREF CDC::SetBkColor(COLORREF color) {
    return std::exchange(m_crBk, color);
}

int CDC::SetBkMode(int mode) {
    return std::exchange(m_nBkMode, mode);
}

int CDC::SetStretchBltMode(int mode) {
    return std::exchange(m_nStretchMode, mode);
}

void CDC::FillDevice(const CRect& rect, COLORREF color) {
    CRect r = Intersect(rect, DeviceClip());
    if (r.IsRectEmpty())
        return;
    const QRgb rgb = ToRgb(color);
    for (int32_t y = r.top; y < r.bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_pSurface->scanLine(y));
        std::fill(row + r.left, row + r.right, rgb);
    }
}

void CDC::FillSolidRect(const CRect& rect, COLORREF color) {
    FillDevice(ToDevice(rect), color);
}

void CDC::FillSolidRect(int32_t x, int32_t y, int32_t cx, int32_t cy, COLORREF color) {
    FillSolidRect(CRect{x, y, x + cx, y + cy}, color);
}

bool CDC::SetPixelV(CPoint point, COLORREF color) {
    const int32_t x = point.x + m_ptOrigin.x;
    const int32_t y = point.y + m_ptOrigin.y;
    CRect clip = DeviceClip();
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
        return false;
    reinterpret_cast<QRgb*>(m_pSurface->scanLine(y))[x] = ToRgb(color);
    return true;
}

COLORREF CDC::GetPixel(CPoint point) const {
    const int32_t x = point.x + m_ptOrigin.x;
    const int32_t y = point.y + m_ptOrigin.y;
    CRect clip = DeviceClip();
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
        return CLR_INVALID;
    const QRgb p = reinterpret_cast<const QRgb*>(std::as_const(*m_pSurface).scanLine(y))[x];
    return RGB(uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p)));
}

CPoint CDC::MoveTo(CPoint point) {
    CPoint previous = m_ptCurrent;
    m_ptCurrent = point;
    return previous;
}

bool CDC::Polyline(const std::vector<CPoint>& points) {
    if (points.size() < 2)
        return true;
    if (m_pen.width <= 1) {
        MoveTo(points.front());
        for (size_t i = 1; i < points.size(); ++i)
            LineTo(points[i]);
        return true;
    }
    // One painter for the whole line: a wide line of many points costs what
    // a few of its segments would one by one.
    const CRect clip = DeviceClip();
    if (clip.IsRectEmpty())
        return true;
    QPolygon polygon;
    polygon.reserve(qsizetype(points.size()));
    for (const CPoint& p : points)
        polygon << QPoint(
            int(std::clamp<int64_t>(int64_t(p.x) + m_ptOrigin.x, -(1 << 29), 1 << 29)),
            int(std::clamp<int64_t>(int64_t(p.y) + m_ptOrigin.y, -(1 << 29), 1 << 29)));
    const QRect box = polygon.boundingRect();
    m_ptCurrent = points.back();
    if (box.right() < clip.left || box.left() >= clip.right || box.bottom() < clip.top ||
        box.top() >= clip.bottom)
        return true;
    QPainter painter(m_pSurface);
    painter.setClipRect(ToQRect(clip));
    // Bevelled joins and square ends: round ones cost trigonometry at
    // every point, and at a few pixels wide they look the same.
    painter.setPen(
        QPen(QColor(ToRgb(m_pen.color)), m_pen.width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawPolyline(polygon);
    return true;
}

bool CDC::LineTo(CPoint point) {
    const CPoint from = m_ptCurrent;
    m_ptCurrent = point;
    const CRect clip = DeviceClip();
    if (clip.IsRectEmpty())
        return true;
    int64_t x0 = int64_t(from.x) + m_ptOrigin.x, y0 = int64_t(from.y) + m_ptOrigin.y;
    const int64_t x1 = int64_t(point.x) + m_ptOrigin.x, y1 = int64_t(point.y) + m_ptOrigin.y;
    // A line entirely beside the clip touches nothing.
    if (std::max(x0, x1) < clip.left || std::min(x0, x1) >= clip.right ||
        std::max(y0, y1) < clip.top || std::min(y0, y1) >= clip.bottom)
        return true;

    if (m_pen.width > 1) {
        QPainter painter(m_pSurface);
        painter.setClipRect(ToQRect(clip));
        painter.setPen(QPen(QColor(ToRgb(m_pen.color)), m_pen.width, Qt::SolidLine, Qt::RoundCap,
                            Qt::RoundJoin));
        painter.drawLine(QPoint(int(x0), int(y0)), QPoint(int(x1), int(y1)));
        return true;
    }

    // Bresenham, stopping one pixel before the end point.
    const QRgb rgb = ToRgb(m_pen.color);
    const int64_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int64_t err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        if (x0 >= clip.left && x0 < clip.right && y0 >= clip.top && y0 < clip.bottom)
            reinterpret_cast<QRgb*>(m_pSurface->scanLine(int(y0)))[x0] = rgb;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    return true;
}

bool CDC::Ellipse(const CRect& rect) {
    const CRect clip = DeviceClip();
    const CRect r = ToDevice(rect);
    if (clip.IsRectEmpty() || r.Width() < 1 || r.Height() < 1)
        return true;
    QPainter painter(m_pSurface);
    painter.setClipRect(ToQRect(clip));
    painter.setPen(QPen(QColor(ToRgb(m_pen.color)), std::max(1, m_pen.width)));
    painter.setBrush(Qt::NoBrush);
    // An aliased outline of a QRect covers one pixel more to the right and
    // below, so the outline spans exactly left..right-1 and top..bottom-1.
    painter.drawEllipse(QRect(r.left, r.top, r.Width() - 1, r.Height() - 1));
    return true;
}

int CDC::DrawText(const std::string& text, const CRect& rect, uint32_t format) {
    std::vector<QString> lines;
    if (format & DT_SINGLELINE) {
        lines.push_back(QString::fromLatin1(text.data(), qsizetype(text.size())));
    } else {
        size_t start = 0;
        while (true) {
            const size_t end = text.find('\n', start);
            std::string line = text.substr(start, end == std::string::npos ? end : end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(QString::fromLatin1(line.data(), qsizetype(line.size())));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    if (text.empty())
        return 0;
    return DrawLines(lines, rect, format);
}

int CDC::DrawTextUtf8(const std::string& text, const CRect& rect, uint32_t format) {
    if (text.empty())
        return 0;
    return DrawLines({QString::fromUtf8(text.data(), qsizetype(text.size()))}, rect,
                     format | DT_SINGLELINE);
}

int CDC::DrawLines(const std::vector<QString>& lines, const CRect& rect, uint32_t format) {
    const int32_t lineHeight = m_font.Height();
    const CRect box = ToDevice(rect);
    int32_t top = box.top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = box.top + (box.Height() - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = box.bottom - lineHeight;
    }
    const int32_t textHeight = top - box.top + lineHeight * int32_t(lines.size());

    // Text is clipped to its layout rectangle as well as to the context.
    const CRect clip = Intersect(box, DeviceClip());
    if (clip.IsRectEmpty())
        return textHeight;
    const QFontMetrics metrics(m_font.Font());
    QPainter painter(m_pSurface);
    painter.setClipRect(ToQRect(clip));
    painter.setFont(m_font.Font());
    painter.setPen(QColor(ToRgb(m_crText)));
    int32_t y = top;
    for (const QString& line : lines) {
        const int32_t width = metrics.horizontalAdvance(line);
        int32_t x = box.left;
        if (format & DT_RIGHT)
            x = box.right - width;
        else if (format & DT_CENTER)
            x = box.left + (box.Width() - width) / 2;
        if (m_nBkMode == OPAQUE && width > 0)
            painter.fillRect(QRect(x, y, width, lineHeight), QColor(ToRgb(m_crBk)));
        painter.drawText(QPoint(x, y + metrics.ascent()), line);
        y += lineHeight;
    }
    return textHeight;
}

int CDC::SetDIBitsToDevice(int32_t xDest, int32_t yDest, uint32_t w, uint32_t h, int32_t xSrc,
                           int32_t ySrc, uint32_t uStartScan, uint32_t cLines, const uint8_t* bits,
                           size_t bitsSize, const uint8_t* info, size_t infoSize) {
    CDibDecoder decoder;
    if (!bits || !info || uStartScan != 0 || cLines == 0 ||
        !decoder.Open(info, infoSize, bits, bitsSize))
        return 0;
    const int64_t width = decoder.Width(), height = decoder.Height();
    const int64_t lines = std::min<int64_t>(cLines, height);

    // The source rectangle in picture coordinates (origin top-left); the
    // scan lines given are the bottom `lines` rows of the picture.
    const int64_t srcTop = height - int64_t(ySrc) - int64_t(h);
    const CRect picture{0, Clamp32(height - lines), Clamp32(width), Clamp32(height)};
    const int64_t dx = int64_t(xDest) + m_ptOrigin.x, dy = int64_t(yDest) + m_ptOrigin.y;
    const CRect dest{Clamp32(dx), Clamp32(dy), Clamp32(dx + w), Clamp32(dy + h)};

    // Destination pixels that are inside the clip and show a picture pixel.
    CRect d = Intersect(dest, DeviceClip());
    const int64_t shiftX = int64_t(xSrc) - dx, shiftY = srcTop - dy; // source = dest + shift
    d = Intersect(d, CRect{Clamp32(picture.left - shiftX), Clamp32(picture.top - shiftY),
                           Clamp32(picture.right - shiftX), Clamp32(picture.bottom - shiftY)});
    if (!d.IsRectEmpty()) {
        const CRect source{int32_t(d.left + shiftX), int32_t(d.top + shiftY),
                           int32_t(d.right + shiftX), int32_t(d.bottom + shiftY)};
        auto* dst = reinterpret_cast<uint32_t*>(m_pSurface->scanLine(d.top)) + d.left;
        Decode(decoder, source, dst, size_t(m_pSurface->bytesPerLine() / 4));
    }
    return int(lines);
}

int CDC::StretchDIBits(int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                       int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                       const uint8_t* bits, size_t bitsSize, const uint8_t* info, size_t infoSize,
                       uint32_t rop) {
    CDibDecoder decoder;
    if (!bits || !info || rop != SRCCOPY || destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 ||
        srcHeight <= 0 || !decoder.Open(info, infoSize, bits, bitsSize))
        return 0;
    const int64_t width = decoder.Width(), height = decoder.Height();
    const int64_t srcLeft = xSrc;
    const int64_t srcTop =
        IsTopDown(info, infoSize) ? int64_t(ySrc) : height - int64_t(ySrc) - srcHeight;
    const int64_t dx = int64_t(xDest) + m_ptOrigin.x, dy = int64_t(yDest) + m_ptOrigin.y;
    const CRect dest{Clamp32(dx), Clamp32(dy), Clamp32(dx + destWidth), Clamp32(dy + destHeight)};
    const CRect d = Intersect(dest, DeviceClip());
    if (d.IsRectEmpty())
        return srcHeight;

    // The source pixel shown at a destination offset: the one under the
    // destination pixel's centre.
    auto sourceX = [&](int64_t x) {
        return srcLeft + ((x - dx) * 2 + 1) * srcWidth / (2 * destWidth);
    };
    auto sourceY = [&](int64_t y) {
        return srcTop + ((y - dy) * 2 + 1) * srcHeight / (2 * destHeight);
    };

    // The destination columns whose source column lies on the picture: one
    // run, as the source column grows with the destination column.
    int32_t left = d.left, right = d.right;
    while (left < right && sourceX(left) < 0)
        ++left;
    while (right > left && sourceX(right - 1) >= width)
        --right;
    if (left >= right)
        return srcHeight;
    // Each one's source column, worked out once rather than divided out
    // again on every row.
    std::vector<int32_t> column(size_t(right - left));
    for (int32_t x = left; x < right; ++x)
        column[size_t(x - left)] = int32_t(sourceX(x));
    const CRect span{column.front(), 0, column.back() + 1, 0};
    // Only the source pixels shown are decoded, so the cost follows the
    // visible area; a run-length picture decodes the span of a row first.
    std::vector<uint32_t> row;
    int64_t decodedRow = -1;
    const uint32_t* above = nullptr; // the last row drawn
    for (int32_t y = d.top; y < d.bottom; ++y) {
        const int64_t sy = sourceY(y);
        if (sy < 0 || sy >= height)
            continue;
        auto* out = reinterpret_cast<uint32_t*>(m_pSurface->scanLine(y)) + left;
        if (sy == decodedRow) {
            // Drawn larger: the row above again.
            std::copy_n(above, column.size(), out);
            continue;
        }
        const CRect source{span.left, int32_t(sy), span.right, int32_t(sy + 1)};
        if (DecodeHook())
            DecodeHook()(source);
        if (!decoder.DecodeColumns(int32_t(sy), column.data(), column.size(), out)) {
            row.resize(size_t(span.Width()));
            decoder.DecodeRect(source, row.data(), row.size());
            for (size_t i = 0; i < column.size(); ++i)
                out[i] = row[size_t(column[i] - span.left)];
        }
        decodedRow = sy;
        above = out;
    }
    return srcHeight;
}

bool CDC::BitBlt(int32_t x, int32_t y, int32_t cx, int32_t cy, const CDC* source, int32_t xSrc,
                 int32_t ySrc, uint32_t rop) {
    if (!source || rop != SRCCOPY || cx <= 0 || cy <= 0)
        return false;
    // The source is read wherever its surface has pixels; only the
    // destination is clipped.
    const QImage* from = source->m_pSurface;
    if (!from || from->isNull() || from->depth() != 32)
        return false;
    const CRect sourceSurface{0, 0, from->width(), from->height()};
    const CRect dest = ToDevice(CRect{x, y, x + cx, y + cy});
    // source device = dest device + shift
    const int64_t shiftX = int64_t(xSrc) + source->m_ptOrigin.x - dest.left;
    const int64_t shiftY = int64_t(ySrc) + source->m_ptOrigin.y - dest.top;
    CRect d = Intersect(dest, DeviceClip());
    d = Intersect(
        d, CRect{Clamp32(sourceSurface.left - shiftX), Clamp32(sourceSurface.top - shiftY),
                 Clamp32(sourceSurface.right - shiftX), Clamp32(sourceSurface.bottom - shiftY)});
    if (d.IsRectEmpty())
        return true;
    // Within one surface, rows are copied in the order that reads each
    // source row before it is overwritten.
    const bool upwards = shiftY < 0;
    for (int32_t i = 0; i < d.Height(); ++i) {
        const int32_t row = upwards ? d.bottom - 1 - i : d.top + i;
        auto* out = reinterpret_cast<QRgb*>(m_pSurface->scanLine(row));
        const auto* in =
            reinterpret_cast<const QRgb*>(std::as_const(*from).scanLine(int(row + shiftY)));
        std::memmove(out + d.left, in + d.left + shiftX, size_t(d.Width()) * sizeof(QRgb));
    }
    return true;
}
