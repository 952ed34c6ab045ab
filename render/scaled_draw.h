#pragma once

#include <QImage>
#include <QRectF>

class CDC;

// Draws all of `image` onto `dest` (logical coordinates of `dc`, fractions
// allowed), clipped to the context's clip: averaged over the pixels each
// screen pixel covers when `smooth`, else the nearest pixel, so that a
// picture shown larger keeps its pixels square and sharp.
void DrawImageScaled(CDC& dc, const QImage& image, const QRectF& dest, bool smooth);
