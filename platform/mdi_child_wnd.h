#pragma once

#include "platform/path_text.h"

#include <QMdiSubWindow>
#include <string>

class CMDIFrameWnd;

// The frame of one document window in the main window's client area.
class CMDIChildWnd : public QMdiSubWindow {
    Q_OBJECT

public:
    explicit CMDIChildWnd(CMDIFrameWnd* mainFrame);

    // Puts `text` (bytes) into the message pane of the main window's status bar.
    void SetMessageText(const std::string& text);
    void SetMessageText(const PathText& text);

private:
    CMDIFrameWnd* m_pMainFrame; // not owned
};
