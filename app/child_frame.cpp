#include "app/child_frame.h"

#include "gps/main_frame.h"

CChildFrame::CChildFrame() = default;

void CChildFrame::SetMessageText(const std::string& text) {
    if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
        main->SetMessageText(text);
}
