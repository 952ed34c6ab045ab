#include "gps/gps_receiver.h"
#include "map/map_view.h"

namespace {
// Beyond this a marker square's corners would not fit 32 bits [pixel]; such a
// position is far off any screen anyway.
constexpr int32_t kFarOff = 0x3FFFFFFF;
} // namespace

CPoint CGpsReceiver::DrawPosition(COstrelView* view, const CMapCalibration& cal, int radius) {
    const CPoint none{-1, -1};
    if (!view)
        return none;
    CClientDC dc(view);
    const CPoint scroll = view->GetScrollPosition();
    if (m_fix.m_strLongitude.empty() || m_fix.m_strLatitude.empty())
        return none;
    const int32_t lon = NmeaToArcSeconds(m_fix.m_strLongitude, 3, m_fix.m_strEastWest, "W");
    const int32_t lat = NmeaToArcSeconds(m_fix.m_strLatitude, 2, m_fix.m_strNorthSouth, "S");
    if (lon == 0 && lat == 0)
        return none;
    const std::optional<CPoint> client = GeoToClient(CGeoPoint{lon, lat}, scroll, cal);
    if (!client)
        return none;
    const CPoint p = *client;
    if (p.x < -kFarOff || p.x > kFarOff || p.y < -kFarOff || p.y > kFarOff)
        return p;

    if (radius <= 0) {
        view->RedrawWindow(CRect{p.x - 8, p.y - 8, p.x + 8, p.y + 8});
        dc.FillSolidRect(p.x - 4, p.y - 4, 8, 8, RGB(255, 0, 0));
        dc.FillSolidRect(p.x - 2, p.y - 2, 4, 4, RGB(255, 255, 255));
        return p;
    }

    CRect r{p.x - radius, p.y - radius, p.x + radius, p.y + radius};
    view->RedrawWindow(r);
    const CPen previous = dc.SelectPen(m_penThin);
    dc.Ellipse(r);
    r.DeflateRect(m_nThickWidth);
    dc.SelectPen(m_penThick);
    dc.Ellipse(r);
    r.DeflateRect(m_nThinWidth);
    dc.SelectPen(m_penThin);
    dc.Ellipse(r);
    dc.SelectPen(previous);
    COstrelView::DrawCross(&dc, p.x, p.y, radius, RGB(0, 0, 0), 1);
    COstrelView::DrawCross(&dc, p.x, p.y, radius / 3, RGB(255, 255, 255), 1);
    dc.SetPixelV(p, RGB(0, 0, 0));
    return p;
}
