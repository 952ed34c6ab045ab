#include "render/markers.h"

#include "platform/device_context.h"

void DrawCross(CDC* pDC, int x, int y, int arm, COLORREF color, int width) {
    if (!pDC)
        return;
    const CPen previous = pDC->SelectPen(CPen{width, color});
    const CPoint ends[] = {{x + arm, y}, {x - arm, y}, {x, y + arm}, {x, y - arm}};
    for (const CPoint& end : ends) {
        pDC->MoveTo(x, y);
        pDC->LineTo(end);
    }
    pDC->SelectPen(previous);
}

void DrawCalibrationMark(CDC& dc, CPoint c) {
    DrawCross(&dc, c.x, c.y, 20, RGB(255, 255, 255), 1);
    DrawCross(&dc, c.x, c.y, 10, RGB(0, 0, 0), 1);
    DrawCross(&dc, c.x, c.y, 5, RGB(255, 255, 255), 1);
    dc.SetPixelV(c.x, c.y, RGB(0, 0, 0));
}

void DrawPositionSquare(CDC& dc, CPoint p) {
    dc.FillSolidRect(p.x - 4, p.y - 4, 8, 8, RGB(255, 0, 0));
    dc.FillSolidRect(p.x - 2, p.y - 2, 4, 4, RGB(255, 255, 255));
}

void DrawPositionRing(CDC& dc, CPoint p, int radius, const CPen& thin, const CPen& thick,
                      int thinWidth, int thickWidth) {
    CRect r{p.x - radius, p.y - radius, p.x + radius, p.y + radius};
    const CPen previous = dc.SelectPen(thin);
    dc.Ellipse(r);
    r.DeflateRect(thickWidth);
    dc.SelectPen(thick);
    dc.Ellipse(r);
    r.DeflateRect(thinWidth);
    dc.SelectPen(thin);
    dc.Ellipse(r);
    dc.SelectPen(previous);
    DrawCross(&dc, p.x, p.y, radius, RGB(0, 0, 0), 1);
    DrawCross(&dc, p.x, p.y, radius / 3, RGB(255, 255, 255), 1);
    dc.SetPixelV(p, RGB(0, 0, 0));
}
