#include "platform/scroll_view.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <utility>

namespace {

constexpr COLORREF kWindowBackground = RGB(255, 255, 255);

CRect Intersect(const CRect& a, const CRect& b) {
    CRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
    return r.IsRectEmpty() ? CRect{} : r;
}

CRect Union(const CRect& a, const CRect& b) {
    if (a.IsRectEmpty())
        return b;
    if (b.IsRectEmpty())
        return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

} // namespace

CClientDC::CClientDC(CScrollView* view)
    : CDC(view ? view->ClientSurface() : nullptr), m_pView(view) {
    if (!m_pView)
        return;
    const CDC* target = m_pView->m_pDrawIntoDC;
    if (!target) {
        SetClipRect(m_pView->ClientClip());
        return;
    }
    // The target maps map pixels to its device; client pixels are map pixels
    // minus the scroll position, so they sit at that origin plus the scroll.
    const CPoint origin = target->GetViewportOrg();
    const CPoint scroll = m_pView->GetScrollPosition();
    const CRect clip = target->GetClipBox();
    SetViewportOrg({origin.x + scroll.x, origin.y + scroll.y});
    SetClipRect(
        {clip.left + origin.x, clip.top + origin.y, clip.right + origin.x, clip.bottom + origin.y});
}

CClientDC::~CClientDC() {
    if (m_pView && !m_pView->m_pDrawIntoDC)
        m_pView->viewport()->update();
}

CScrollView::CScrollView(QWidget* parent) : QAbstractScrollArea(parent) {
    viewport()->setMouseTracking(true);
    // The surface covers the whole viewport; Qt need not erase it first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    ResizeSurface();
}

CScrollView::~CScrollView() = default;

void CScrollView::OnInitialUpdate() {
    Invalidate();
}

CRect CScrollView::GetClientRect() const {
    return {0, 0, viewport()->width(), viewport()->height()};
}

void CScrollView::SetScrollSizes(CSize total) {
    const CSize page{total.cx / 10, total.cy / 10};
    SetScrollSizes(total, page, CSize{page.cx / 10, page.cy / 10});
}

void CScrollView::SetScrollSizes(CSize total, CSize page, CSize line) {
    m_sizeTotal = {std::max(0, total.cx), std::max(0, total.cy)};
    m_sizePage = page;
    m_sizeLine = line;
    UpdateScrollBars();
}

void CScrollView::UpdateScrollBars() {
    const QSize client = viewport()->size();
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setPageStep(std::max(1, m_sizePage.cx));
    v->setPageStep(std::max(1, m_sizePage.cy));
    h->setSingleStep(std::max(1, m_sizeLine.cx));
    v->setSingleStep(std::max(1, m_sizeLine.cy));
    // A shrinking range moves the position, which repaints through
    // scrollContentsBy.
    h->setRange(0, std::max(0, m_sizeTotal.cx - client.width()));
    v->setRange(0, std::max(0, m_sizeTotal.cy - client.height()));
}

CPoint CScrollView::GetScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void CScrollView::ScrollToPosition(CPoint position) {
    // Both bars move before the one repaint.
    m_bSettingPosition = true;
    m_bScrolled = false;
    horizontalScrollBar()->setValue(position.x);
    verticalScrollBar()->setValue(position.y);
    m_bSettingPosition = false;
    if (m_bScrolled)
        RedrawWindow();
}

void CScrollView::CenterOnPoint(CPoint center) {
    // Qt shows or hides the scroll bars for a new range one turn of the event
    // loop later; until then the client area still has its old size.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const CRect client = GetClientRect();
    ScrollToPosition({center.x - client.Width() / 2, center.y - client.Height() / 2});
}

void CScrollView::scrollContentsBy(int, int) {
    if (m_bSettingPosition)
        m_bScrolled = true;
    else
        RedrawWindow();
}

QImage* CScrollView::ClientSurface() {
    return m_pDrawIntoDC ? m_pDrawIntoDC->Surface() : &m_surface;
}

CRect CScrollView::ClientClip() const {
    return m_bPainting ? m_rcPainting : GetClientRect();
}

void CScrollView::RedrawWindow() {
    RedrawWindow(GetClientRect());
}

void CScrollView::RedrawWindow(const CRect& rect) {
    const CRect r = Intersect(rect, GetClientRect());
    if (r.IsRectEmpty())
        return;
    if (m_bPainting) {
        // OnDraw itself asked (scroll sizes changed the position, say): the
        // request runs once the current repaint is done.
        m_rcPending = Union(m_rcPending, r);
        return;
    }
    Repaint(r);
    // A draw routine that keeps asking for repaints must not hang the view.
    for (int i = 0; i < 4 && !m_rcPending.IsRectEmpty(); ++i) {
        const CRect pending = Intersect(m_rcPending, GetClientRect());
        m_rcPending = {};
        Repaint(pending);
    }
    m_rcPending = {};
}

void CScrollView::Repaint(const CRect& rect) {
    if (rect.IsRectEmpty() || m_surface.isNull())
        return;
    // A repaint of the screen that a draw for a page set off stays on the screen.
    CDC* const drawInto = std::exchange(m_pDrawIntoDC, nullptr);
    m_bPainting = true;
    m_rcPainting = rect;
    {
        CDC dc(&m_surface);
        dc.SetClipRect(rect);
        dc.FillSolidRect(rect, kWindowBackground);
        const CPoint scroll = GetScrollPosition();
        dc.SetViewportOrg({-scroll.x, -scroll.y});
        OnDraw(&dc);
    }
    m_bPainting = false;
    m_rcPainting = {};
    m_pDrawIntoDC = drawInto;
    viewport()->update(QRect(rect.left, rect.top, rect.Width(), rect.Height()));
}

void CScrollView::Invalidate() {
    if (m_bInvalidated)
        return;
    m_bInvalidated = true;
    QTimer::singleShot(0, this, [this] {
        m_bInvalidated = false;
        RedrawWindow();
    });
}

void CScrollView::DrawInto(CDC* pDC) {
    if (!pDC || m_pDrawIntoDC)
        return;
    m_pDrawIntoDC = pDC;
    OnDraw(pDC);
    m_pDrawIntoDC = nullptr;
}

void CScrollView::SetTimer(uintptr_t id, uint32_t elapse) {
    m_timers.Set(id, elapse);
}

bool CScrollView::KillTimer(uintptr_t id) {
    return m_timers.Kill(id);
}

void CScrollView::timerEvent(QTimerEvent* event) {
    if (const auto id = m_timers.Find(event->timerId()))
        OnTimer(*id);
    else
        QAbstractScrollArea::timerEvent(event);
}

void CScrollView::OnSize(uint32_t, int32_t, int32_t) {}
void CScrollView::OnTimer(uintptr_t) {}
void CScrollView::OnMouseMove(CPoint) {}
void CScrollView::OnRButtonDown(CPoint) {}

void CScrollView::ResizeSurface() {
    const QSize size = viewport()->size();
    m_surface = QImage(size, QImage::Format_RGB32);
    m_surface.fill(Qt::white);
}

void CScrollView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    // Events of the frame and of the viewport both arrive here.
    if (viewport()->size() == m_surface.size())
        return;
    ResizeSurface();
    UpdateScrollBars();
    OnSize(SIZE_RESTORED, viewport()->width(), viewport()->height());
    RedrawWindow();
}

void CScrollView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect rect = event->rect();
    if (!m_surface.rect().contains(rect))
        painter.fillRect(rect, Qt::white);
    painter.drawImage(rect.topLeft(), m_surface, rect);
}

void CScrollView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    OnMouseMove({p.x(), p.y()});
}

void CScrollView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        const QPoint p = event->position().toPoint();
        OnRButtonDown({p.x(), p.y()});
    }
}
