#pragma once

#include "map/map_view.h"

#include <QApplication>
#include <QMdiSubWindow>

// Resizes the view's frame until its client area is w x h [pixel] (scroll
// bars coming and going may take a few rounds); true once it is.
inline bool ResizeClientTo(COstrelView* view, int w, int h) {
    auto* frame = qobject_cast<QMdiSubWindow*>(view->parentWidget());
    for (int i = 0; i < 4; ++i) {
        const CRect rc = view->GetClientRect();
        if (rc.Width() == w && rc.Height() == h)
            return true;
        frame->resize(frame->width() + w - rc.Width(), frame->height() + h - rc.Height());
        QApplication::processEvents();
    }
    const CRect rc = view->GetClientRect();
    return rc.Width() == w && rc.Height() == h;
}
