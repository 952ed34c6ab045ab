#pragma once

#include <QMdiSubWindow>
#include <string>

// The frame of one document window; it holds one view.
class CChildFrame : public QMdiSubWindow {
public:
    CChildFrame();

    // Puts `text` (bytes) into the message pane of the main window's status bar.
    void SetMessageText(const std::string& text);
};
