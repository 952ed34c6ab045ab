#include "platform/mdi_frame.h"

#include <QPointer>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimerEvent>

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
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, [this] { UpdateCommandUI(); });
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
    return OnCreate() == 0;
}

QMdiSubWindow* CMDIFrameWnd::MDIGetActive() const {
    // The current one, not the active one: while another program has the
    // focus Qt reports no active sub-window, but commands still go there.
    return m_pMdiArea->currentSubWindow();
}

bool CMDIFrameWnd::RouteCmdMsg(int id, CCmdUI* ui) {
    if (QMdiSubWindow* child = MDIGetActive()) {
        if (auto* view = dynamic_cast<CCmdTarget*>(child->widget()); view && view->OnCmdMsg(id, ui))
            return true;
    }
    return OnCmdMsg(id, ui);
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

void CMDIFrameWnd::SetTimer(int id, int periodMs) {
    KillTimer(id);
    m_timers[id] = startTimer(periodMs);
}

void CMDIFrameWnd::KillTimer(int id) {
    if (auto it = m_timers.find(id); it != m_timers.end()) {
        killTimer(it->second);
        m_timers.erase(it);
    }
}

void CMDIFrameWnd::timerEvent(QTimerEvent* event) {
    for (const auto& [id, qtId] : m_timers) {
        if (qtId == event->timerId()) {
            OnTimer(id);
            return;
        }
    }
    QMainWindow::timerEvent(event);
}
