#pragma once

#include "platform/cmd_target.h"
#include "platform/path_text.h"
#include "platform/timer_table.h"

#include <QMainWindow>
#include <QString>
#include <map>
#include <string>
#include <vector>

class CDocument;
class CStatusBar;
class QAction;
class QMdiArea;
class QMdiSubWindow;

// The MDI main window: a client area for child frames, command routing
// (the active view, this frame, then the targets added to it), the title,
// the prompts of menus and toolbar buttons in the status bar's message pane,
// and numbered timers.
class CMDIFrameWnd : public QMainWindow, public CCmdTarget {
    Q_OBJECT

public:
    CMDIFrameWnd();
    ~CMDIFrameWnd() override;

    // Builds the window's parts through OnCreate; false when that fails.
    // The title the window has by then is the application's title.
    [[nodiscard]] bool LoadFrame();

    QMdiArea* MdiArea() const { return m_pMdiArea; }
    // The child frame that commands go to, or null.
    QMdiSubWindow* MDIGetActive() const;
    // The document of the active child frame's view, or null.
    CDocument* GetActiveDocument() const;

    // A target that commands reach after this frame (the document template,
    // the application), in the order added; not owned.
    void AddCommandTarget(CCmdTarget* target) { m_targets.push_back(target); }
    // Runs command `id` in the first target that handles it.
    void RouteCommand(int id);
    // As OnCmdMsg, through the active view, this frame and the added targets.
    bool RouteCmdMsg(int id, CCmdUI* ui);
    // The action that sends command `id`; made on first request.
    QAction* CommandAction(int id);
    // Enables and checks every command action as its handler says; an
    // action without a handler is disabled.
    void UpdateCommandUI();

    // The commands every MDI frame handles: File Close, the bars of the View
    // menu and the Window menu. A derived frame's own come first.
    bool OnCmdMsg(int id, CCmdUI* ui) override;

    // The title: the application's, followed by " - " and the active
    // document's title while there is one and its frame is not maximised.
    void OnUpdateFrameTitle();

    // Puts `text` (core bytes) into the status bar's message pane.
    void SetMessageText(const std::string& text);
    void SetMessageText(const PathText& text);

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
    void OnFileClose();
    void OnUpdateFileClose(CCmdUI* ui);
    void OnWindowCascade();
    void OnWindowTile();
    // Lines the minimised child frames up along the bottom of the client area.
    void OnWindowArrange();
    void OnUpdateMDIWindowCmd(CCmdUI* ui);
    void OnViewToolbar();
    void OnUpdateViewToolbar(CCmdUI* ui);
    void OnViewStatusBar();
    void OnUpdateViewStatusBar(CCmdUI* ui);
    static const CommandEntry<CMDIFrameWnd> kCommands[];

    // The frame's own bars, null while it has none.
    QWidget* ToolBar() const;
    CStatusBar* MessageBar() const;
    // Puts `prompt` into the status bar's message pane, the idle text when empty.
    void SetMessageString(const QString& prompt);

    QMdiArea* m_pMdiArea;
    QString m_strTitle;
    std::vector<CCmdTarget*> m_targets;
    CTimerTable m_timers{this};
    std::map<int, QAction*> m_actions;
};
