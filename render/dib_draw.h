#pragma once

#include "platform/gdi_types.h"

class CDC;
class CDib;

// Unscaled or stretched blit of `source` (picture coordinates) of `dib` onto
// `dest`, through the picture's palette; the blit's scan-line count, 0 when
// nothing is loaded.
int DrawDib(CDC& dc, const CDib& dib, const CRect& dest, const CRect& source);
