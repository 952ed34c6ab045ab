#include "app/child_frame.h"

CChildFrame::CChildFrame(CMDIFrameWnd* mainFrame) : CMDIChildWnd(mainFrame) {}
