#include "platform/mdi_frame.h"

#include "platform/commands.h"
#include "platform/document.h"
#include "platform/scroll_view.h"
#include "platform/status_bar.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStatusTipEvent>
#include <QTimerEvent>
#include <QToolBar>

const CommandEntry<CMDIFrameWnd> CMDIFrameWnd::kCommands[] = {
    {ID_FILE_CLOSE, &CMDIFrameWnd::OnFileClose, &CMDIFrameWnd::OnUpdateFileClose},
    {ID_WINDOW_CASCADE, &CMDIFrameWnd::OnWindowCascade, &CMDIFrameWnd::OnUpdateMDIWindowCmd},
    {ID_WINDOW_TILE_HORZ, &CMDIFrameWnd::OnWindowTile, &CMDIFrameWnd::OnUpdateMDIWindowCmd},
    {ID_WINDOW_ARRANGE, &CMDIFrameWnd::OnWindowArrange, &CMDIFrameWnd::OnUpdateMDIWindowCmd},
    {ID_VIEW_TOOLBAR, &CMDIFrameWnd::OnViewToolbar, &CMDIFrameWnd::OnUpdateViewToolbar},
    {ID_VIEW_STATUS_BAR, &CMDIFrameWnd::OnViewStatusBar, &CMDIFrameWnd::OnUpdateViewStatusBar},
};

CMDIFrameWnd::CMDIFrameWnd() : m_pMdiArea(new QMdiArea(this)) {
    setCentralWidget(m_pMdiArea);
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, [this] {
        UpdateCommandUI();
        OnUpdateFrameTitle();
    });
}

CMDIFrameWnd::~CMDIFrameWnd() {
    DestroyChildFrames();
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
    auto* view = child ? qobject_cast<CScrollView*>(child->widget()) : nullptr;
    return view ? view->m_pDocument : nullptr;
}

bool CMDIFrameWnd::RouteCmdMsg(int id, CCmdUI* ui) {
    if (QMdiSubWindow* child = MDIGetActive()) {
        if (auto* view = qobject_cast<CScrollView*>(child->widget());
            view && view->OnCmdMsg(id, ui))
            return true;
    }
    if (OnCmdMsg(id, ui))
        return true;
    for (CCmdTarget* target : m_targets)
        if (target->OnCmdMsg(id, ui))
            return true;
    return false;
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
        if (ui.m_pszText)
            action->setText(QString::fromLatin1(ui.m_pszText));
    }
}

bool CMDIFrameWnd::OnCmdMsg(int id, CCmdUI* ui) {
    return DispatchCommand<CMDIFrameWnd>(*this, kCommands, id, ui);
}

void CMDIFrameWnd::OnFileClose() {
    if (CDocument* doc = GetActiveDocument())
        doc->OnCloseDocument();
}

void CMDIFrameWnd::OnUpdateFileClose(CCmdUI* ui) {
    ui->Enable(GetActiveDocument() != nullptr);
}

void CMDIFrameWnd::OnWindowCascade() {
    m_pMdiArea->cascadeSubWindows();
}

void CMDIFrameWnd::OnWindowTile() {
    m_pMdiArea->tileSubWindows();
}

void CMDIFrameWnd::OnWindowArrange() {
    int x = 0;
    const int bottom = m_pMdiArea->viewport()->height();
    for (QMdiSubWindow* w : m_pMdiArea->subWindowList()) {
        if (!w->isMinimized())
            continue;
        w->move(x, bottom - w->height());
        x += w->width();
    }
}

void CMDIFrameWnd::OnUpdateMDIWindowCmd(CCmdUI* ui) {
    ui->Enable(MDIGetActive() != nullptr);
}

QWidget* CMDIFrameWnd::ToolBar() const {
    return findChild<QToolBar*>(QString(), Qt::FindDirectChildrenOnly);
}

CStatusBar* CMDIFrameWnd::MessageBar() const {
    return findChild<CStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
}

// A bar's command shows whether the bar is visible, and is greyed while
// the frame has no such bar.
static void UpdateBarCommand(CCmdUI* ui, const QWidget* bar) {
    ui->Enable(bar != nullptr);
    ui->SetCheck(bar && !bar->isHidden());
}

static void ToggleBar(QWidget* bar) {
    if (bar)
        bar->setVisible(bar->isHidden());
}

void CMDIFrameWnd::OnViewToolbar() {
    ToggleBar(ToolBar());
}

void CMDIFrameWnd::OnUpdateViewToolbar(CCmdUI* ui) {
    UpdateBarCommand(ui, ToolBar());
}

void CMDIFrameWnd::OnViewStatusBar() {
    ToggleBar(MessageBar());
}

void CMDIFrameWnd::OnUpdateViewStatusBar(CCmdUI* ui) {
    UpdateBarCommand(ui, MessageBar());
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

void CMDIFrameWnd::SetMessageText(const std::string& text) {
    if (CStatusBar* bar = MessageBar())
        bar->SetWindowText(StatusTextFromBytes(text));
}

void CMDIFrameWnd::SetMessageText(const PathText& text) {
    if (CStatusBar* bar = MessageBar())
        bar->SetWindowText(StatusText(DisplayText(text)));
}

void CMDIFrameWnd::SetMessageString(const QString& prompt) {
    if (CStatusBar* bar = MessageBar())
        bar->SetWindowText(
            prompt.isEmpty() ? QString::fromLatin1(FrameworkString(AFX_IDS_IDLEMESSAGE)) : prompt);
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
