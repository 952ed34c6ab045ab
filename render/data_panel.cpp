#include "render/data_panel.h"

#include "platform/device_context.h"
#include "render/data_panel_text.h"

void DrawDataPanel(CDC& dc, const CRect& layout, const CGpsFix& fix, const CFont* fontSmall,
                   const CFont* fontLarge) {
    const DataPanelValues v = ComposeDataPanel(fix);

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
    dc.DrawText(FormatDataPanelRight(fix.m_strCourse, fix.m_strSpeedKnots, v.time), layout,
                DT_RIGHT | DT_VCENTER);
    if (fontLarge)
        dc.SelectFont(previous);
}
