#pragma once

#include "gps/gps_fix.h"
#include "platform/gdi_types.h"

class CDC;
class CFont;

// The GPS data panel of `fix` into `layout` [client pixels]: the labels,
// date and position on the left in `fontSmall`, direction, speed and time
// in red on the right in `fontLarge`. Each value is drawn over a blank, so
// that a shorter value covers a longer one before it. A missing font leaves
// the context's own.
void DrawDataPanel(CDC& dc, const CRect& layout, const CGpsFix& fix, const CFont* fontSmall,
                   const CFont* fontLarge);
