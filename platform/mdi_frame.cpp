#include "platform/mdi_frame.h"

#include "platform/commands.h"
#include "platform/doc_template.h"
#include "platform/scroll_view.h"
#include "platform/status_bar.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStatusTipEvent>
#include <QTimerEvent>
#include <QToolBar>

namespace {
CMDIFrameWnd* g_pMainWnd = nullptr;
}

CMDIFrameWnd* AfxGetMainWnd() {
    return g_pMainWnd;
}

CMDIFrameWnd::CMDIFrameWnd() : m_pMdiArea(new QMdiArea(this)) {
    setCentralWidget(m_pMdiArea);
    if (!g_pMainWnd)
        g_pMainWnd = this;
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, [this] {
        UpdateCommandUI();
        OnUpdateFrameTitle();
    });
}

CMDIFrameWnd::~CMDIFrameWnd() {
    DestroyChildFrames();
    if (g_pMainWnd == this)
        g_pMainWnd = nullptr;
}

void CMDIFrameWnd::DestroyChildFrames() {
    // Closed windows still waiting for their deferred deletion are no longer
    // listed by the area, but their views still talk to this frame.
    const auto frames = m_pMdiArea->findChildren<QMdiSubWindow*>();
    for (const QPointer<QMdiSubWindow>& w :
         QList<QPointer<QMdiSubWindow>>(frames.begin(), frames.end()))
        delete w.data();
}

bool CMDIFrameWnd::LoadFrame() {
    m_strTitle = windowTitle();
    if (OnCreate() != 0)
        return false;
    SetMessageString(QString());
    OnUpdateFrameTitle();
    return true;
}

QMdiSubWindow* CMDIFrameWnd::MDIGetActive() const {
    // The current one, not the active one: while another program has the
    // focus Qt reports no active sub-window, but commands still go there.
    return m_pMdiArea->currentSubWindow();
}

CDocument* CMDIFrameWnd::GetActiveDocument() const {
    QMdiSubWindow* child = MDIGetActive();
    auto* view = child ? dynamic_cast<CScrollView*>(child->widget()) : nullptr;
    return view ? view->m_pDocument : nullptr;
}

bool CMDIFrameWnd::RouteCmdMsg(int id, CCmdUI* ui) {
    if (QMdiSubWindow* child = MDIGetActive()) {
        if (auto* view = dynamic_cast<CCmdTarget*>(child->widget()); view && view->OnCmdMsg(id, ui))
            return true;
    }
    return OnCmdMsg(id, ui) || OnFrameCmdMsg(id, ui) ||
           (m_pAppTarget && m_pAppTarget->OnCmdMsg(id, ui));
}

void CMDIFrameWnd::RouteCommand(int id) {
    RouteCmdMsg(id, nullptr);
    UpdateCommandUI();
}

QAction* CMDIFrameWnd::CommandAction(int id) {
    QAction*& action = m_actions[id];
    if (!action) {
        action = new QAction(this);
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    }
    return action;
}

void CMDIFrameWnd::UpdateCommandUI() {
    for (const auto& [id, action] : m_actions) {
        CCmdUI ui;
        ui.m_nID = id;
        const bool handled = RouteCmdMsg(id, &ui);
        action->setEnabled(handled && ui.m_bEnabled);
        action->setCheckable(ui.m_bCheckable);
        action->setChecked(ui.m_bCheckable && ui.m_bChecked);
    }
}

bool CMDIFrameWnd::OnFrameCmdMsg(int id, CCmdUI* ui) {
    QMdiSubWindow* active = MDIGetActive();
    CDocument* doc = GetActiveDocument();
    QWidget* bar = nullptr;
    switch (id) {
    case ID_FILE_CLOSE:
        if (!doc)
            return false;
        if (!ui)
            doc->OnCloseDocument();
        return true;
    case ID_WINDOW_NEW:
        if (!doc || !doc->GetDocTemplate())
            return false;
        if (!ui)
            doc->GetDocTemplate()->CreateNewWindow(doc);
        return true;
    case ID_WINDOW_CASCADE:
    case ID_WINDOW_TILE_HORZ:
    case ID_WINDOW_ARRANGE:
        if (!active)
            return false;
        if (ui)
            return true;
        if (id == ID_WINDOW_CASCADE)
            m_pMdiArea->cascadeSubWindows();
        else if (id == ID_WINDOW_TILE_HORZ)
            m_pMdiArea->tileSubWindows();
        else
            ArrangeIconicWindows();
        return true;
    case ID_VIEW_TOOLBAR:
        bar = findChild<QToolBar*>(QString(), Qt::FindDirectChildrenOnly);
        break;
    case ID_VIEW_STATUS_BAR:
        bar = findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
        break;
    default:
        return false;
    }
    if (!bar)
        return false;
    if (ui)
        ui->SetCheck(!bar->isHidden());
    else
        bar->setVisible(bar->isHidden());
    return true;
}

void CMDIFrameWnd::ArrangeIconicWindows() {
    int x = 0;
    const int bottom = m_pMdiArea->viewport()->height();
    for (QMdiSubWindow* w : m_pMdiArea->subWindowList()) {
        if (!w->isMinimized())
            continue;
        w->move(x, bottom - w->height());
        x += w->width();
    }
}

void CMDIFrameWnd::OnUpdateFrameTitle() {
    // A maximised child frame adds " - [its title]" to the title itself.
    const QMdiSubWindow* child = MDIGetActive();
    const CDocument* doc = GetActiveDocument();
    if (doc && !child->isMaximized())
        setWindowTitle(m_strTitle + QStringLiteral(" - ") + doc->GetTitle());
    else
        setWindowTitle(m_strTitle);
}

void CMDIFrameWnd::SetMessageString(const QString& prompt) {
    auto* bar =
        dynamic_cast<CStatusBar*>(findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly));
    if (!bar)
        return;
    bar->SetWindowText(prompt.isEmpty() ? QString::fromLatin1(FrameworkString(AFX_IDS_IDLEMESSAGE))
                                        : prompt);
}

bool CMDIFrameWnd::event(QEvent* event) {
    // Menus and toolbar buttons announce their prompt on hovering and an
    // empty one on leaving; the pane shows the prompt or the idle text.
    if (event->type() == QEvent::StatusTip) {
        SetMessageString(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void CMDIFrameWnd::SetTimer(int id, int periodMs) {
    m_timers.Set(uintptr_t(id), uint32_t(std::max(periodMs, 0)));
}

void CMDIFrameWnd::KillTimer(int id) {
    m_timers.Kill(uintptr_t(id));
}

void CMDIFrameWnd::timerEvent(QTimerEvent* event) {
    if (const auto id = m_timers.Find(event->timerId()))
        OnTimer(int(*id));
    else
        QMainWindow::timerEvent(event);
}
