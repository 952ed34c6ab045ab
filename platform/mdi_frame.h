#pragma once

#include "platform/cmd_target.h"

#include <QMainWindow>
#include <QString>
#include <map>

class CDocument;
class QAction;
class QMdiArea;
class QMdiSubWindow;

// The MDI main window: a client area for child frames, command routing
// (the active view, this frame, then the application), the title, the
// prompts of menus and toolbar buttons in the status bar's message pane,
// and numbered timers.
class CMDIFrameWnd : public QMainWindow, public CCmdTarget {
public:
    CMDIFrameWnd();
    ~CMDIFrameWnd() override;

    // Builds the window's parts through OnCreate; false when that fails.
    // The title the window has by then is the application's title.
    bool LoadFrame();

    QMdiArea* MdiArea() const { return m_pMdiArea; }
    // The child frame that commands go to, or null.
    QMdiSubWindow* MDIGetActive() const;
    // The document of the active child frame's view, or null.
    CDocument* GetActiveDocument() const;

    // The last target of every command, after this frame: the application.
    void SetAppTarget(CCmdTarget* app) { m_pAppTarget = app; }
    // Runs command `id` in the first target that handles it.
    void RouteCommand(int id);
    // As OnCmdMsg, through the active view, this frame and the application.
    bool RouteCmdMsg(int id, CCmdUI* ui);
    // The action that sends command `id`; made on first request.
    QAction* CommandAction(int id);
    // Enables and checks every command action as its handler says; an
    // action without a handler is disabled.
    void UpdateCommandUI();

    bool OnCmdMsg(int, CCmdUI*) override { return false; }

    // The title: the application's, followed by " - " and the active
    // document's title while there is one and its frame is not maximised.
    void OnUpdateFrameTitle();

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
    bool event(QEvent* event) override;

private:
    // The commands every MDI frame handles after the derived frame: File
    // Close, the bars of the View menu and the Window menu.
    bool OnFrameCmdMsg(int id, CCmdUI* ui);
    // Puts `prompt` into the status bar's message pane, the idle text when empty.
    void SetMessageString(const QString& prompt);
    // Lines the minimised child frames up along the bottom of the client area.
    void ArrangeIconicWindows();

    QMdiArea* m_pMdiArea;
    QString m_strTitle;
    CCmdTarget* m_pAppTarget = nullptr;
    std::map<int, int> m_timers; // our id -> Qt's id
    std::map<int, QAction*> m_actions;
};

// The application's main window: the first frame made and not yet destroyed.
CMDIFrameWnd* AfxGetMainWnd();
