#pragma once

#include "platform/cmd_target.h"
#include "platform/device_context.h"
#include "platform/gdi_types.h"
#include "platform/timer_table.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <cstdint>
#include <map>

class CDocument;
class CScrollView;

// Size types passed to OnSize.
constexpr uint32_t SIZE_RESTORED = 0;

// A context on a view's client area, in client pixels (no scroll origin),
// drawing straight into the view's client surface; usable at any time. What
// it draws shows on screen at the next paint event. While the view repaints
// a rectangle (RedrawWindow), a client context made meanwhile is clipped to
// that rectangle like the paint context. While the view draws into another
// context (DrawInto), a client context made meanwhile draws there instead,
// where the client area lies on it, so that a page gets what the screen gets.
class CClientDC : public CDC {
public:
    explicit CClientDC(CScrollView* view);
    ~CClientDC() override;

private:
    CScrollView* m_pView;
};

// A scrolling view with a client surface: a backing image the size of the
// viewport that holds everything drawn into the client area. Repaints run
// OnDraw into the surface at once; the widget's paint event only copies the
// surface to the screen, so what is drawn outside a repaint stays visible
// until that area is repainted.
class CScrollView : public QAbstractScrollArea, public CCmdTarget {
    Q_OBJECT

public:
    explicit CScrollView(QWidget* parent = nullptr);
    ~CScrollView() override;

    // The view is the first target of every command; this one handles none.
    bool OnCmdMsg(int, CCmdUI*) override { return false; }

    // Called once by the document glue after the view is set up. The base
    // schedules a repaint of the whole client.
    virtual void OnInitialUpdate();

    // The client rectangle: (0, 0) to the viewport's size [pixel].
    CRect GetClientRect() const;
    // The client surface, for tests and for copying the screen.
    const QImage& Surface() const { return m_surface; }
    QImage& Surface() { return m_surface; }

    // Scroll range = the total size [pixel]; the page step is a tenth of it
    // and the line step a tenth of the page unless given. Unchanged sizes
    // change nothing.
    void SetScrollSizes(CSize total);
    void SetScrollSizes(CSize total, CSize page, CSize line);
    CSize GetTotalSize() const { return m_sizeTotal; }
    // The map pixel at the client's top-left corner.
    CPoint GetScrollPosition() const;
    // Scrolls (clamped to the range) and repaints the whole client if the
    // position changed.
    void ScrollToPosition(CPoint position);
    // Scrolls (clamped to the range) to put map pixel `center` in the middle
    // of the client area that the scroll bars of the total size leave.
    void CenterOnPoint(CPoint center);

    // Repaint at once: erase the client (or `rect` of it, client pixels) to
    // white and run OnDraw with a paint context clipped to it. The surface is
    // up to date on return; the screen copies it at the next paint event. A
    // request made while a repaint runs is done right after it.
    void RedrawWindow();
    void RedrawWindow(const CRect& rect);
    // Repaints the whole client when control returns to the event loop.
    void Invalidate();

    // Runs OnDraw into another context (a printer page); the caller prepares
    // its origin and clip. Client contexts made meanwhile draw into it too.
    void DrawInto(CDC* pDC);

    // The document this view shows; set by the document template.
    CDocument* m_pDocument = nullptr;

    // Timers by identifier; SetTimer with a running identifier restarts it.
    // Periods below 10 ms run at 10 ms.
    void SetTimer(uintptr_t id, uint32_t elapse); // [ms]
    bool KillTimer(uintptr_t id);

protected:
    // Draws the view's content into the paint context, whose origin is moved
    // by the scroll position (map pixel = logical coordinate).
    virtual void OnDraw(CDC* pDC) = 0;
    // After the client size changed; the surface is already resized and a
    // repaint of the whole client follows.
    virtual void OnSize(uint32_t nType, int32_t cx, int32_t cy);
    virtual void OnTimer(uintptr_t id);
    // Mouse hooks in client pixels.
    virtual void OnMouseMove(CPoint point);
    virtual void OnRButtonDown(CPoint point);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    friend class CClientDC;

    // The clip for client contexts: the running repaint's rectangle, or the
    // whole client outside a repaint.
    CRect ClientClip() const;
    // Where client contexts draw: the print target during DrawInto, else the surface.
    QImage* ClientSurface();
    void Repaint(const CRect& rect);
    void UpdateScrollBars();
    void ResizeSurface();

    QImage m_surface;
    CSize m_sizeTotal;
    CSize m_sizePage;
    CSize m_sizeLine;
    bool m_bPainting = false;
    CDC* m_pDrawIntoDC = nullptr; // the context DrawInto is running into
    CRect m_rcPainting;           // the running repaint's rectangle [client pixels]
    CRect m_rcPending;            // asked for while a repaint ran [client pixels]
    bool m_bInvalidated = false;
    bool m_bSettingPosition = false;
    bool m_bScrolled = false;
    CTimerTable m_timers{this};
};
