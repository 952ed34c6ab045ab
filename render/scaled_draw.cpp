#include "render/scaled_draw.h"

#include "platform/device_context.h"

#include <QPainter>

void DrawImageScaled(CDC& dc, const QImage& image, const QRectF& dest, bool smooth) {
    QImage* surface = dc.Surface();
    const CRect clip = dc.GetClipBox();
    if (!surface || surface->isNull() || image.isNull() || clip.IsRectEmpty() || dest.isEmpty())
        return;
    const CPoint origin = dc.GetViewportOrg();
    QPainter painter(surface);
    painter.translate(origin.x, origin.y);
    painter.setClipRect(QRect(clip.left, clip.top, clip.Width(), clip.Height()));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    painter.drawImage(dest, image, QRectF(image.rect()));
}
