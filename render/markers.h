#pragma once

#include "platform/gdi_types.h"

class CDC;

// A plus of four strokes from (x, y), each `arm` [pixel] long without its
// end point, in a pen of `width` [pixel]; nothing without a context.
void DrawCross(CDC* pDC, int x, int y, int arm, COLORREF color, int width);

// A calibration point at client pixel `c`: white, black and white crosses of
// arm 20, 10 and 5 [pixel] with a black centre pixel.
void DrawCalibrationMark(CDC& dc, CPoint c);

// The world map's position marker at `p`: a red 8 x 8 square with a white
// 4 x 4 centre.
void DrawPositionSquare(CDC& dc, CPoint p);

// A scanned map's position marker: a ring of `radius` [pixel] around `p`
// (black thin, white thick, black thin, from the outside in) with a black
// cross of the radius, a white one of a third of it and a black centre.
// `thin` and `thick` are the ring's pens and `thinWidth`, `thickWidth`
// their widths [pixel].
void DrawPositionRing(CDC& dc, CPoint p, int radius, const CPen& thin, const CPen& thick,
                      int thinWidth, int thickWidth);
