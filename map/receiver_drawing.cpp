// The receiver's drawing into a view: where the fix lies on the view, and
// the marker and panel drawn there by render/.
#include "gps/gps_receiver.h"
#include "map/map_model.h"
#include "map/map_view.h"
#include "render/data_panel.h"
#include "render/markers.h"

namespace {
// Beyond this a marker square's corners would not fit 32 bits [pixel]; such a
// position is far off any screen anyway.
constexpr int32_t kFarOff = 0x3FFFFFFF;
} // namespace

std::optional<CPoint> FixPicturePixel(const CGpsFix& fix, const CMapModel& model) {
    if (fix.m_strLongitude.empty() || fix.m_strLatitude.empty())
        return std::nullopt;
    const int32_t lon = NmeaToArcSeconds(fix.m_strLongitude, 3, fix.m_strEastWest, "W");
    const int32_t lat = NmeaToArcSeconds(fix.m_strLatitude, 2, fix.m_strNorthSouth, "S");
    if (lon == 0 && lat == 0)
        return std::nullopt;
    FixPosition position{{lon, lat}, {}};
    if (model.georef) {
        const std::optional<LonLat> exact = FixDegrees(fix);
        if (!exact)
            return std::nullopt;
        position.degrees = *exact;
    }
    return model.ToClient(position, CPoint{0, 0});
}

CPoint CGpsReceiver::DrawPosition(COstrelView* view, const CMapModel& model, int radius) {
    const CPoint none{-1, -1};
    if (!view)
        return none;
    CClientDC dc(view);
    const std::optional<CPoint> pixel = FixPicturePixel(m_fix, model);
    if (!pixel)
        return none;
    const CPoint p = view->PictureToClient({double(pixel->x), double(pixel->y)});
    if (p.x < -kFarOff || p.x > kFarOff || p.y < -kFarOff || p.y > kFarOff)
        return p;

    // The picture under the old marker's place is restored first.
    if (radius <= 0) {
        view->RedrawWindow(CRect{p.x - 8, p.y - 8, p.x + 8, p.y + 8});
        DrawPositionSquare(dc, p);
    } else {
        view->RedrawWindow(CRect{p.x - radius, p.y - radius, p.x + radius, p.y + radius});
        DrawPositionRing(dc, p, radius, m_penThin, m_penThick, m_nThinWidth, m_nThickWidth);
    }
    return p;
}

void CGpsReceiver::DrawDataPanel(COstrelView* view, CFont* fontSmall, CFont* fontLarge) {
    if (!view)
        return;
    // Always a context of its own, also during a repaint: the panel is drawn
    // the same way from the timer and from the view's draw routine.
    CClientDC dc(view);
    ::DrawDataPanel(dc, view->GetClientRect(), m_fix, fontSmall, fontLarge);
}
