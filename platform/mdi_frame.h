#pragma once

#include "platform/cmd_target.h"

#include <QMainWindow>
#include <map>

class QAction;
class QMdiArea;
class QMdiSubWindow;

// The MDI main window: a client area for child frames, command routing
// (the active view first, then this frame), and numbered timers.
class CMDIFrameWnd : public QMainWindow, public CCmdTarget {
public:
    CMDIFrameWnd();
    ~CMDIFrameWnd() override;

    // Builds the window's parts through OnCreate; false when that fails.
    bool LoadFrame();

    QMdiArea* MdiArea() const { return m_pMdiArea; }
    // The child frame that commands go to, or null.
    QMdiSubWindow* MDIGetActive() const;

    // Runs command `id` in the first target that handles it.
    void RouteCommand(int id);
    // As OnCmdMsg, through the active view and then this frame.
    bool RouteCmdMsg(int id, CCmdUI* ui);
    // The action that sends command `id`; made on first request.
    QAction* CommandAction(int id);
    // Enables and checks every command action as its handler says; an
    // action without a handler is disabled.
    void UpdateCommandUI();

    bool OnCmdMsg(int, CCmdUI*) override { return false; }

    // Timer `id` fires OnTimer(id) every `periodMs` [ms]; restarting replaces it.
    void SetTimer(int id, int periodMs);
    void KillTimer(int id);

protected:
    // Destroys every child frame and its view; a derived frame calls it
    // before its own members go, since views use them to the end.
    void DestroyChildFrames();
    // 0 when the window's parts are made, -1 when the window must not be created.
    virtual int OnCreate() { return 0; }
    virtual void OnTimer(int /*id*/) {}
    void timerEvent(QTimerEvent* event) override;

private:
    QMdiArea* m_pMdiArea;
    std::map<int, int> m_timers; // our id -> Qt's id
    std::map<int, QAction*> m_actions;
};

// The application's main window: the first frame made and not yet destroyed.
CMDIFrameWnd* AfxGetMainWnd();
