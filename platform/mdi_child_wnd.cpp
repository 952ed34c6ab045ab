#include "platform/mdi_child_wnd.h"

#include "platform/mdi_frame.h"

CMDIChildWnd::CMDIChildWnd(CMDIFrameWnd* mainFrame) : m_pMainFrame(mainFrame) {}

void CMDIChildWnd::SetMessageText(const std::string& text) {
    if (m_pMainFrame)
        m_pMainFrame->SetMessageText(text);
}

void CMDIChildWnd::SetMessageText(const PathText& text) {
    if (m_pMainFrame)
        m_pMainFrame->SetMessageText(text);
}
