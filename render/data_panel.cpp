#include "gps/gps_receiver.h"
#include "map/map_view.h"
#include "render/data_panel_text.h"

void CGpsReceiver::DrawDataPanel(COstrelView* view, CFont* fontSmall, CFont* fontLarge) {
    if (!view)
        return;
    // Always a context of its own, also during a repaint: the panel is drawn
    // the same way from the timer and from the view's draw routine.
    CClientDC dc(view);
    const DataPanelValues v = ComposeDataPanel(m_fix);
    const CRect layout = view->GetClientRect();

    if (fontSmall)
        dc.SelectFont(*fontSmall);
    // Labels, with blanks over the start of each earlier value; then the values.
    dc.DrawText(FormatDataPanelLeft(kBlankValue, kBlankValue, kBlankValue, kBlankHeight), layout,
                DT_LEFT);
    dc.DrawText(FormatDataPanelLeft(v.date, v.latitude, v.longitude, v.height), layout, DT_LEFT);

    dc.SetTextColor(RGB(255, 0, 0));
    const CFont previous = fontLarge ? dc.SelectFont(*fontLarge) : CFont();
    dc.DrawText(FormatDataPanelRight(kBlankValue, kBlankValue, kBlankValue), layout,
                DT_RIGHT | DT_VCENTER);
    dc.DrawText(FormatDataPanelRight(m_fix.m_strCourse, m_fix.m_strSpeedKnots, v.time), layout,
                DT_RIGHT | DT_VCENTER);
    if (fontLarge)
        dc.SelectFont(previous);
}
